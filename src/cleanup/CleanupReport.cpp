#include "cleanup/CleanupReport.h"

#include "common/SystemFiles.h"
#include "common/TextCodec.h"

namespace cleanup
{
namespace
{
std::string lineText(const SummaryLine& line)
{
    return std::string(line.label) + std::to_string(line.count);
}
} // namespace

std::string regionalDateTime(std::time_t when)
{
    return locale::dateTime(sysfiles::localTime(when));
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
