#pragma once
#include <string>

// The folder of the running executable, ending in exactly one '/'.
std::string executableFolder();
