#include "cleanup/CleanupReport.h"

#include "common/TextCodec.h"

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

std::string lineText(const SummaryLine& line)
{
    return std::string(line.label) + std::to_string(line.count);
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

std::vector<std::string> keyCountLines(const std::vector<KeyCount>& counts)
{
    std::vector<std::string> lines;
    for (const KeyCount& c : counts) {
        if (c.deleted > 0)
            lines.push_back("Удалено сервером по внешним ключам из " + c.table + ": " + std::to_string(c.deleted) +
                            (c.changed > 0 ? ", изменено: " + std::to_string(c.changed) : ""));
        else if (c.changed > 0)
            lines.push_back("Изменено сервером по внешним ключам в " + c.table + ": " + std::to_string(c.changed));
    }
    return lines;
}

std::string reportText(std::string_view dateTime, const Summary& summary, const std::vector<std::string>& after)
{
    std::string text(dateTime);
    text += "\r\nРезультат работы\r\n=========================================\r\n";
    for (const SummaryLine& line : summary)
        text += lineText(line) + "\r";
    for (const std::string& line : after)
        text += line + "\r";
    text += "\r\n";
    return text;
}

std::string summaryLines(const Summary& summary, const std::vector<std::string>& after)
{
    std::string text;
    for (const SummaryLine& line : summary)
        text += lineText(line) + "\n";
    for (const std::string& line : after)
        text += line + "\n";
    return text;
}

std::string closingMessage(const Summary& summary, const std::vector<std::string>& after)
{
    return "Чистка окончена\n" + summaryLines(summary, after);
}

} // namespace cleanup
