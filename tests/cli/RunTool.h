#pragma once
// Runs the real executable headless, as a scheduled job would.
#include "common/TextFile.h"
#include "support/ChildProcess.h"
#include "support/TestDatabase.h"

#include <string>
#include <vector>

// Runs tk_corvane with the arguments and extra environment ("NAME=value", or "NAME" to leave it
// unset), standard input empty and TK_CORVANE_PASSWORD unset unless given. The executable is run
// from a copy in exe's folder, which is where its report files go.
inline Result run(const std::vector<std::string>& args, std::vector<std::string> env, const std::string& exe = TK_EXE)
{
    env.insert(env.begin(), "TK_CORVANE_PASSWORD");
    return runProgram(exe, args, env);
}
