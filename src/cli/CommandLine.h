#pragma once
// tk_corvane run without a window, for scheduled maintenance:
//   tk_corvane test|block|unblock|recount|cleanup|maintain [--server TEXT] [--user TEXT]
//              [--database TEXT] [--password-file FILE] [--dry-run] [--quiet]
//   tk_corvane --help | --version
#include <string>

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

// Runs one command; appFolder is where the report files go (the executable's folder, ending in '/').
int runCommandLine(int argc, char** argv, const std::string& appFolder);
