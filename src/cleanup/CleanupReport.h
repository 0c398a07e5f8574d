#pragma once
// The report the cleanup leaves in the tool's folder, and the closing message built from the same
// summary text.
#include <ctime>
#include <string>
#include <string_view>

namespace cleanup
{

inline constexpr std::string_view kReportName = "report.txt";

// The date and the time in the user's regional format (the environment's LC_TIME, as the C library
// reads it: its short date "%x" and its time with seconds "%X"), joined by one space. A locale that
// cannot be loaded or that writes anything but UTF-8 falls back to the C library's default format.
std::string regionalDateTime(std::time_t when);

// Four CRLF lines: the date and time, the heading, the separator and the summary text as it is, its
// lines parted by bare carriage returns; so the file ends in CR CR LF.
std::string reportText(std::string_view dateTime, std::string_view summary);

// "Чистка окончена" and the summary lines beneath it, one per line, for the message box.
std::string closingMessage(std::string_view summary);

} // namespace cleanup
