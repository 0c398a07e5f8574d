#pragma once
// The cleanup's summary, and the two places it is shown: report.txt in the tool's folder and the
// closing message.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup
{

inline constexpr std::string_view kReportName = "report.txt";

// One line of the summary: the pass's label and how many rows it deleted (or values it replaced).
struct SummaryLine {
    std::string_view label;
    std::uint64_t count = 0;
};
using Summary = std::vector<SummaryLine>;

// Rows the server's own foreign keys removed or rewrote in one table on the run's behalf.
struct KeyCount {
    std::string table;
    std::uint64_t deleted = 0, changed = 0;
};
// One line per table, after the summary's own lines (whose meaning they never change).
std::vector<std::string> keyCountLines(const std::vector<KeyCount>& counts);

// The date and the time in the user's regional format (the environment's LC_TIME, as the C library
// reads it: its short date "%x" and its time with seconds "%X"), joined by one space. A locale that
// cannot be loaded or that writes anything but UTF-8 falls back to the C library's default format.
std::string regionalDateTime(std::time_t when);

// Four CRLF lines: the date and time, the heading, the separator and the summary, whose lines the
// site's own tools expect parted by bare carriage returns; so the file ends in CR CR LF.
// Lines in after follow the summary's lines in the same form.
std::string reportText(std::string_view dateTime, const Summary& summary, const std::vector<std::string>& after = {});

// The summary as lines ended by '\n', for the message box and the console, then the lines in after.
std::string summaryLines(const Summary& summary, const std::vector<std::string>& after = {});

// "Чистка окончена" and the summary lines beneath it.
std::string closingMessage(const Summary& summary, const std::vector<std::string>& after = {});

} // namespace cleanup
