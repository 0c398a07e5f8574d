#include "cli/CommandTable.h"

#include "db/Connection.h"
#include "ops/ReplicaWatch.h"
#include "ops/RunTiming.h"
#include "ops/StoredSettings.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace cli
{

const Command& command(Cmd c)
{
    return *std::find_if(std::begin(kCommands), std::end(kCommands), [c](const Command& row) { return row.cmd == c; });
}

std::string maintainStepNames()
{
    std::string names;
    for (std::size_t i = 0; i < std::size(kMaintainSteps); ++i)
        names += (i == 0 ? "" : ", ") + std::string(command(kMaintainSteps[i]).name);
    return names;
}

std::string takers(bool Command::*option)
{
    std::vector<std::string> names;
    for (const Command& c : kCommands)
        if (c.*option)
            names.push_back(c.name);
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return list;
}

std::string usage()
{
    std::string u = "usage: tk_corvane COMMAND [OPTION]...\n"
                    "       tk_corvane restore FILE... [OPTION]...\n"
                    "       tk_corvane archives [--database TEXT]\n"
                    "       tk_corvane --help | --version\n\n"
                    "Without arguments tk_corvane opens its window. With a command it runs without one:\n";
    // Each row: the name in a column of its own, the help wrapped beside it.
    const auto row = [&u](std::string left, const std::string& help) {
        constexpr std::size_t kIndent = 32, kWidth = 100;
        std::string line = "  " + left;
        line += std::string(line.size() < kIndent ? kIndent - line.size() : 1, ' ');
        std::size_t start = line.size();
        for (std::size_t at = 0; at < help.size();) {
            std::size_t end = help.find(' ', at);
            const std::string word = help.substr(at, end == std::string::npos ? std::string::npos : end - at);
            if (line.size() > start && line.size() + 1 + word.size() > kWidth) {
                u += line + "\n";
                line = std::string(kIndent, ' ');
                start = line.size();
            }
            line += (line.size() > start ? " " : "") + word;
            at = end == std::string::npos ? help.size() : end + 1;
        }
        u += line + "\n";
    };
    for (const Command& c : kCommands)
        row(c.name, c.help);
    u += "\nOptions:\n";
    for (const OptionRow& o : kOptions)
        row(std::string("--") + o.name + (*o.value ? std::string(" ") + o.value : ""), o.help);
    const auto fallback = [](Stored s) { return std::string(stored(s).fallback); };
    u += "\nServer, user, database, port, TLS, replicas and the lock wait default to the values the window last "
         "stored,\n"
         "then to " +
         fallback(Stored::Server) + ", " + fallback(Stored::User) + " and " + fallback(Stored::Database) +
         ".\nThe password comes from TK_CORVANE_PASSWORD, else from --password-file, else from a prompt when\n"
         "standard input is a terminal, else it is empty; it is never taken from the command line and\n"
         "never stored.\n"
         "The connection uses TLS whenever the server offers it, unverified; --ssl or any --ssl-* file\n"
         "makes it a condition and verifies the server (against --ssl-ca/--ssl-capath, else the system's\n"
         "trusted certificates). A server that does not answer within " +
         std::to_string(db::kConnectTimeout.count()) +
         " s is given up; one that stops\n"
         "answering during a run ends it (status 2) within " +
         std::to_string(db::kStallBound.count()) +
         " s later, while a statement that is merely\n"
         "long runs on. Examples:\n"
         "  tk_corvane test --server db.example.org:3307\n"
         "  tk_corvane test --server db.example.org --port 3307 --ssl-ca /etc/ssl/site-ca.pem\n"
         "  tk_corvane test --server 10.0.0.5 --ssl --skip-ssl-verify-server-cert\n"
         "A statement waits at most --lock-wait seconds (default " +
         std::to_string(kDefaultLockWait) +
         ") for a lock held elsewhere; a wait of\n"
         "more than a few seconds is reported on standard error.\n"
         "Before each batch of changes the run waits while a replica named by --replica (the same user,\n"
         "password and TLS; the forms --server takes) is more than --max-lag seconds behind (default " +
         std::to_string(kDefaultMaxLag) +
         ")\n"
         "or its replication is stopped; a wait of more than --lag-wait seconds (default " +
         std::to_string(kDefaultLagWait) +
         ") ends it\n"
         "(status 2).\n"
         "Where the site's foreign keys delete or change rows with the cleanup's, the undo archive keeps those\n"
         "rows too; a key that would refuse a deletion, or a trigger on a table the cleanup changes, stops it\n"
         "before any change (status 3). --allow-triggers runs it anyway: the archive then holds the cleanup's\n"
         "own changes only.\n"
         "Exit status: 0 done, 1 no connection, 2 failed part-way (what ran stays done), 3 refused because\n"
         "the site is not blocked, an archive is not one of this database, or of the site's keys or\n"
         "triggers, 4 another run is changing the same database, 5 done but the report or the screenshot\n"
         "list could not be written, 64 usage error.\n";
    return u;
}

} // namespace cli
