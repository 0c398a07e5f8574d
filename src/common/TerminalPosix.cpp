// The console on POSIX systems: termios for the password, the locale's encoding for text.
#include "common/Terminal.h"

#include "common/TextCodec.h"

#include <cstdlib>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace terminal
{

std::vector<std::string> arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

bool write(std::FILE* stream, std::string_view utf8)
{
    const std::string bytes = locale::fromUtf8(std::string(utf8));
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

std::optional<std::string> readHiddenLine()
{
    termios old{};
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &old) != 0)
        return std::nullopt;
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    std::getline(std::cin, line);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    return locale::toUtf8(line);
}

bool canShowWindow()
{
    const auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

void leaveOwnConsole() {}

} // namespace terminal
