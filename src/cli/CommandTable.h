#pragma once
// The command line's commands and options: one row each, and the usage text written from them.
#include <string>

namespace cli
{

enum class Cmd { Test, Block, Unblock, Recount, Cleanup, Maintain, Restore, Archives };

struct Command {
    Cmd cmd;
    const char* name;
    const char* help;
    bool dryRun = false;   // takes --dry-run
    bool triggers = false; // takes --allow-triggers
};
// clang-format off
inline constexpr Command kCommands[] = {
    {Cmd::Test,     "test",     "open and close a connection to the site database; says how the connection is secured"},
    {Cmd::Block,    "block",    "switch the site off (ISWORK=0) and keep a copy of its offline message"},
    {Cmd::Unblock,  "unblock",  "switch the site on again (ISWORK=1)"},
    {Cmd::Recount,  "recount",  "recount the site's counters, user statistics and ratings (site must be blocked)"},
    {Cmd::Cleanup,  "cleanup",  "delete rows that point to missing releases, links, users or persons and hand the "
                                "authorship of missing users to the first user (site must be blocked)", true, true},
    {Cmd::Maintain, "maintain", "block, cleanup, recount and unblock (the counters count what the cleanup left); "
                                "a failed step leaves the site blocked", true, true},
    {Cmd::Restore,  "restore",  "put back what cleanup runs deleted and replaced, from their undo archives FILE... "
                                "(newest run first, in one transaction; --dry-run applies and rolls back)", true},
    {Cmd::Archives, "archives", "list the database's undo archives in the files folder, newest run first: when, "
                                "what each puts back, whether it was put back, the file (no connection needed)"},
};
// clang-format on
// The cleanup before the recount: counters and ratings then count only the rows that stay.
inline constexpr Cmd kMaintainSteps[] = {Cmd::Block, Cmd::Cleanup, Cmd::Recount, Cmd::Unblock};

const Command& command(Cmd c);
// "block, cleanup, recount, unblock": maintain's steps as its dry run names them.
std::string maintainStepNames();

// The options: one row each. value: the name of its value in the usage, empty for a switch.
struct OptionRow {
    const char* name;
    const char* value;
    const char* help;
};
// clang-format off
inline constexpr OptionRow kOptions[] = {
    {"server", "TEXT", "the server: host, host:port, [IPv6]:port or host;port=N"},
    {"port", "N", "the server's port, where --server names none"},
    {"user", "TEXT", "the account"},
    {"database", "TEXT", "the site's database"},
    {"password-file", "FILE", "read the password from the first line of FILE"},
    {"ssl", "", "insist on TLS, verifying the server's certificate and host name"},
    {"ssl-ca", "FILE", "TLS, verified against this authority's certificate"},
    {"ssl-capath", "DIR", "TLS, verified against the authorities' certificates in DIR"},
    {"ssl-cert", "FILE", "TLS, with this client certificate"},
    {"ssl-key", "FILE", "TLS, with this client key"},
    {"skip-ssl-verify-server-cert", "", "TLS without checking the server's certificate (said in every run)"},
    {"skip-ssl", "", "plain text even where the server offers TLS"},
    {"lock-wait", "SECONDS", "how long a statement waits for a lock held elsewhere"},
    {"replica", "ADDRESS", "a replica to watch before each batch of changes (repeatable)"},
    {"max-lag", "SECONDS", "how far behind a named replica may be"},
    {"lag-wait", "SECONDS", "how long a run waits for the replicas"},
    {"dry-run", "", "cleanup, maintain: say what would go, change nothing; restore: roll back"},
    {"allow-triggers", "", "cleanup, maintain: run where triggers fire on the tables it changes"},
    {"abandon", "", "restore: give up the unfinished restore of FILE... keeping what it put back; each archive "
                    "notes how much of it is back, and a later restore puts back the rest"},
    {"quiet", "", "no progress on standard error"},
};
// clang-format on
inline constexpr const char* kTlsRequiring[] = {"ssl", "ssl-ca", "ssl-capath", "ssl-cert", "ssl-key"};

// "cleanup, maintain and restore": the commands that take an option.
std::string takers(bool Command::*option);
std::string usage();

struct UsageError {
    std::string text;
};

} // namespace cli
