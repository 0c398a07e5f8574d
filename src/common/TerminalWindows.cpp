// The console on Windows: the Unicode command line, WriteConsoleW to a console window (readable
// whatever its code page), UTF-8 to files and pipes, and a password read with echo off.
#include "common/Terminal.h"

#include "common/TextCodec.h"
#include "common/WideText.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

namespace terminal
{
namespace
{
HANDLE consoleOf(std::FILE* stream)
{
    const int fd = ::_fileno(stream);
    if (fd < 0)
        return nullptr;
    HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) ? h : nullptr;
}
} // namespace

std::vector<std::string> arguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        args.push_back(utf8Of(wide[i]));
    }
    ::LocalFree(wide);
    return args;
}

bool isTerminal(std::FILE* stream)
{
    return consoleOf(stream) != nullptr;
}

bool write(std::FILE* stream, std::string_view utf8)
{
    if (HANDLE console = consoleOf(stream)) {
        std::fflush(stream);
        // Progress lines go back over themselves with the terminal's control sequences.
        DWORD mode = 0;
        if (::GetConsoleMode(console, &mode) && !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING))
            ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        const std::u16string text = utf16::fromUtf8(utf8);
        DWORD written = 0;
        return text.empty() ||
               ::WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    // Files and pipes get the text as it is: UTF-8 with the tool's own line ends, as on any system.
    ::_setmode(::_fileno(stream), _O_BINARY);
    return std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
}

std::optional<std::string> readHiddenLine()
{
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in == INVALID_HANDLE_VALUE || !::GetConsoleMode(in, &mode))
        return std::nullopt;
    ::SetConsoleMode(in, (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::u16string line;
    for (;;) {
        wchar_t c = 0;
        DWORD read = 0;
        if (!::ReadConsoleW(in, &c, 1, &read, nullptr) || read == 0 || c == L'\n')
            break;
        if (c != L'\r')
            line += static_cast<char16_t>(c);
    }
    ::SetConsoleMode(in, mode);
    return utf16::toUtf8(line);
}

bool canShowWindow()
{
    return true;
}

void leaveOwnConsole()
{
    DWORD processes[2] = {};
    if (::GetConsoleProcessList(processes, 2) == 1)
        ::FreeConsole();
}

} // namespace terminal
