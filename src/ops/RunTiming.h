#pragma once
// How long the frame lets statements wait, and how often it lets the window answer meanwhile.
#include <chrono>

// A statement waits this long for a lock held elsewhere, unless told otherwise.
inline constexpr int kDefaultLockWait = 60;
// After this long a waiting statement is reported (and again every kWaitReportEvery).
inline constexpr std::chrono::seconds kWaitReportAfter{3}, kWaitReportEvery{10};
// While statements run the window runs its events at least this often.
inline constexpr std::chrono::milliseconds kKeepAliveEvery{100};
// On a cluster node, the lease of a run's guard row lasts this long and is renewed every beat.
struct GuardTimes {
    std::chrono::seconds lease{90}, beat{20};
};
