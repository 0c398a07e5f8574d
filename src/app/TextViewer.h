#pragma once
#include <string>

// Starts the desktop's text viewer on a file without waiting for it; false when none could start.
bool startTextViewer(const std::string& path);
