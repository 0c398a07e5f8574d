#include "cli/PasswordSource.h"

#include "cli/CommandTable.h"
#include "common/SystemFiles.h"
#include "common/Terminal.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace cli
{

namespace
{

std::string promptPassword()
{
    terminal::write(stderr, "Пароль: ");
    std::fflush(stderr);
    const std::optional<std::string> line = terminal::readHiddenLine();
    terminal::write(stderr, "\n");
    return line.value_or("");
}

} // namespace

std::string commandLinePassword(const std::optional<std::string>& passwordFile)
{
    if (const char* env = std::getenv("TK_CORVANE_PASSWORD"))
        return env;
    if (passwordFile) {
        std::ifstream in(sysfiles::pathOf(*passwordFile), std::ios::binary);
        if (!in)
            throw UsageError{"cannot read the password file " + *passwordFile};
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
    if (terminal::isTerminal(stdin))
        return promptPassword();
    return "";
}

} // namespace cli
