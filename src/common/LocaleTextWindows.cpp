// The user's locale on Windows: the console's output code page (866 on a Russian console) for text
// bound for it, the ANSI code page for the system's narrow texts.
#include "common/TextCodec.h"

#include <windows.h>

namespace locale
{
namespace
{
std::string encode(unsigned codePage, const std::string& utf8)
{
    const std::u16string text = utf16::fromUtf8(utf8);
    if (codePage == CP_UTF8 || text.empty())
        return utf8;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int n = ::WideCharToMultiByte(codePage, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(codePage, 0, wide, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}
} // namespace

std::string fromUtf8(const std::string& utf8)
{
    const unsigned cp = ::GetConsoleOutputCP();
    return encode(cp ? cp : ::GetACP(), utf8);
}

std::string toUtf8(const std::string& text)
{
    if (text.empty())
        return text;
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return text;
    std::u16string wide(static_cast<std::size_t>(n), u'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                          reinterpret_cast<wchar_t*>(wide.data()), n);
    return utf16::toUtf8(wide);
}

std::string dateTime(const std::tm& when)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(when.tm_year + 1900);
    t.wMonth = static_cast<WORD>(when.tm_mon + 1);
    t.wDay = static_cast<WORD>(when.tm_mday);
    t.wDayOfWeek = static_cast<WORD>(when.tm_wday);
    t.wHour = static_cast<WORD>(when.tm_hour);
    t.wMinute = static_cast<WORD>(when.tm_min);
    t.wSecond = static_cast<WORD>(when.tm_sec);
    wchar_t date[128] = {}, time[128] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, 128, nullptr);
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &t, nullptr, time, 128);
    const std::wstring text = std::wstring(date) + L" " + time;
    return utf16::toUtf8(std::u16string(text.begin(), text.end()));
}
} // namespace locale
