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
    std::string slash() const { return path.string() + "/"; }
    std::string file(const char* name) const { return slash() + name; }

    std::filesystem::path path;
};
