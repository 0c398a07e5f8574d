#pragma once
// A fresh folder of the test's own, removed with everything in it when the test is done.
#include "common/SystemFiles.h"
#include <filesystem>
#include <string>

struct TempDir {
    explicit TempDir(const std::string& label)
        : path(std::filesystem::temp_directory_path() / ("tk_" + label + "_" + std::to_string(sysfiles::processId())))
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder's name ending in the system's separator, as the tool's own folders end.
    std::string slash() const { return path.string() + static_cast<char>(std::filesystem::path::preferred_separator); }
    std::string file(const char* name) const { return slash() + name; }

    std::filesystem::path path;
};
