#pragma once
// The report's first line as the system shows a date and time in the tests' locale: the C locale's
// "MM/DD/YY HH:MM:SS" on POSIX systems (the tests run in C.UTF-8), the user's short date and time on
// Windows.
#include <ctime>
#include <string>

std::string expectedRegionalDateTime(std::time_t when);
