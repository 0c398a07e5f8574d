#include "cleanup/CleanupReport.h"

#include "common/Cp1251.h"

#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace cleanup
{
namespace
{
std::string formatIn(const std::locale& loc, const std::tm& tm)
{
    std::ostringstream out;
    out.imbue(loc);
    out << std::put_time(&tm, "%x %X");
    return out.str();
}
} // namespace

std::string regionalDateTime(std::time_t when)
{
    std::tm tm{};
    localtime_r(&when, &tm);
    // The stream's own locale: the process-wide C locale is left as the window set it.
    try {
        std::string text = formatIn(std::locale(""), tm);
        if (cp1251::isValidUtf8(text))
            return text;
    } catch (const std::runtime_error&) {
        // An unknown locale name in the environment: fall through to the default.
    }
    return formatIn(std::locale::classic(), tm);
}

std::string reportText(std::string_view dateTime, std::string_view summary)
{
    std::string text(dateTime);
    text += "\r\nРезультат работы\r\n=========================================\r\n";
    text += summary;
    text += "\r\n";
    return text;
}

std::string closingMessage(std::string_view summary)
{
    // Each carriage return of the summary starts a new line of the message.
    std::string text = "Чистка окончена\n";
    for (char ch : summary)
        text += ch == '\r' ? '\n' : ch;
    return text;
}

} // namespace cleanup
