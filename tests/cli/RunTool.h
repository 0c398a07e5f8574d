#pragma once
// Runs the real executable headless, as a scheduled job would.
#include "common/TextFile.h"
#include "support/TestDatabase.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct Result {
    int status = -1;
    std::string out, err;
};

inline std::string quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs tk_corvane with the arguments and extra environment ("NAME=value", or "NAME" to leave it
// unset), standard input from /dev/null. The executable is run from a copy in exe's folder, which
// is where its report files go.
inline Result run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& exe = TK_EXE)
{
    static std::atomic<int> runs{0};
    const std::filesystem::path out = std::filesystem::temp_directory_path() /
                                      ("tk_cli_out_" + std::to_string(::getpid()) + "_" + std::to_string(runs++));
    std::string command = "env -u TK_CORVANE_PASSWORD";
    for (const auto& e : env)
        command += e.find('=') == std::string::npos ? " -u " + e : " " + quoted(e);
    command += " " + quoted(exe);
    for (const auto& a : args)
        command += " " + quoted(a);
    command += " </dev/null >" + quoted(out.string() + ".1") + " 2>" + quoted(out.string() + ".2");
    const int status = std::system(command.c_str());
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFileBytes(out.string() + ".1"),
             readFileBytes(out.string() + ".2")};
    std::filesystem::remove(out.string() + ".1");
    std::filesystem::remove(out.string() + ".2");
    return r;
}
