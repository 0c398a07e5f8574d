#pragma once
// tk_corvane run without a window, for scheduled maintenance:
//   tk_corvane test|block|unblock|recount|cleanup|maintain [--server TEXT] [--user TEXT]
//              [--database TEXT] [--password-file FILE] [--dry-run] [--quiet]
//   tk_corvane --help | --version
#include <string>
#include <vector>

// Exit statuses of a headless run.
enum ExitStatus : int {
    kExitDone = 0,
    kExitNotConnected = 1,
    kExitFailed = 2,
    kExitRefused = 3,
    kExitLocked = 4,       // another run holds the database's run lock
    kExitFilesMissing = 5, // done, but the report or the screenshot list could not be written
    kExitUsage = 64,
};

// Runs one command given as the program's arguments in UTF-8 (the first is the program);
// appFolder is where the report files go, ending in a separator.
int runCommandLine(const std::vector<std::string>& arguments, const std::string& appFolder);
