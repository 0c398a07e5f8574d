#include "support/RegionalDate.h"

std::string expectedRegionalDateTime(std::time_t when)
{
    char text[32];
    std::tm tm{};
    localtime_r(&when, &tm);
    std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S", &tm);
    return text;
}
