#pragma once
// Runs a program to its end, as a shell or a scheduled job would: its exit status and what it wrote.
#include <string>
#include <vector>

struct Result {
    int status = -1; // the exit status; -1 when it did not start or did not exit normally
    std::string out, err;
};

// Runs the program with the arguments, standard input empty, in this process's environment
// changed by `env`: "NAME=value" sets a variable, "NAME" leaves it unset. Waits without a limit.
Result runProgram(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& env = {});

// Runs a shell command on the machine the test servers and their clients run on: here, or the
// host of wine where the tests run on Windows. Returns its exit status.
int runOnHost(const std::string& shellCommand);
// A file's path as the host names it (a Windows path under wine becomes the prefix's own).
std::string hostPath(const std::string& path);
