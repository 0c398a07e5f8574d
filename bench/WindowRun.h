#pragma once
// One operation through the tool's real window: the fields are filled in, the operation's button is
// clicked, and the closing message box is answered as a user would. A timer that fires on every pass
// of the event loop measures the longest stretch in which the window ran no events.
#include "ops/SiteWindow.h"

#include <chrono>
#include <string>

struct WindowRunResult {
    bool completed = false; // the closing message carried the information icon
    std::string message;
    std::chrono::duration<double> wall{};         // click to closing message
    std::chrono::duration<double> longestPause{}; // between two passes of the event loop
    unsigned long long loopPasses = 0;
};

// operation: "recount" or "cleanup"; appFolder ends in '/'.
WindowRunResult runInWindow(const std::string& operation, const ConnectionFields& fields, const std::string& appFolder);
