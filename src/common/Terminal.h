#pragma once
// The console: the program's arguments, text written to it and a line read from it without echo.
// Text is UTF-8 inside the tool and converted here, at this one boundary: to the locale's encoding on
// POSIX terminals; on Windows as Unicode to a console window and as UTF-8 to a file or a pipe.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace terminal
{

// The program's arguments as UTF-8 (on Windows from the system's Unicode command line).
std::vector<std::string> arguments(int argc, char** argv);

// Whether the stream is an interactive terminal or console.
bool isTerminal(std::FILE* stream);

// Writes text to the stream in the encoding its reader expects; false when the write failed.
bool write(std::FILE* stream, std::string_view utf8);

// Reads one line from the terminal with echo off (a password); nothing when standard input is not
// a terminal.
std::optional<std::string> readHiddenLine();

// Whether this process can show a window (a display on X11/Wayland, always on Windows).
bool canShowWindow();

// Before the window opens: a console that was made for this process alone (started from the Start
// menu or Explorer on Windows) is closed; one shared with a shell is left as it is.
void leaveOwnConsole();

} // namespace terminal
