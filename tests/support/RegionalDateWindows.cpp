#include "support/RegionalDate.h"

#include <windows.h>

std::string expectedRegionalDateTime(std::time_t when)
{
    // From the file time, through the system's own conversion to local time.
    ULARGE_INTEGER ticks{};
    ticks.QuadPart = (static_cast<unsigned long long>(when) + 11644473600ULL) * 10000000ULL;
    FILETIME utc{ticks.LowPart, ticks.HighPart}, local{};
    SYSTEMTIME t{};
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &t);
    char date[128] = {}, time[128] = {};
    ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, sizeof date);
    ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, sizeof time);
    return std::string(date) + " " + time;
}
