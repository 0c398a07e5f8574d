#include "cli/CommandLine.h"

#include "cleanup/ArchiveRestore.h"
#include "cleanup/CleanupRun.h"
#include "cli/ConsoleWindow.h"
#include "common/ProductInfo.h"
#include "maintenance/SiteBlock.h"
#include "ops/ConnectionTest.h"
#include "ratings/RatingRecalc.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr const char* kUsage =
    "usage: tk_corvane test|block|unblock|recount|cleanup|maintain [--server TEXT] [--user TEXT]\n"
    "                  [--database TEXT] [--password-file FILE] [--lock-wait SECONDS] [--dry-run]\n"
    "                  [--allow-triggers] [--replica ADDRESS]... [--max-lag SECONDS] [--lag-wait SECONDS]\n"
    "                  [--quiet]\n"
    "       tk_corvane restore FILE... [options as above]\n"
    "       tk_corvane --help | --version\n"
    "\n"
    "Without arguments tk_corvane opens its window. With a command it runs without one:\n"
    "  test      open and close a connection to the site database\n"
    "  block     switch the site off (ISWORK=0) and keep a copy of its offline message\n"
    "  unblock   switch the site on again (ISWORK=1)\n"
    "  recount   recount the site's counters, user statistics and ratings (site must be blocked)\n"
    "  cleanup   delete rows that point to missing releases, links, users or persons and hand the\n"
    "            authorship of missing users to the first user (site must be blocked)\n"
    "  maintain  block, recount, cleanup and unblock; a failed step leaves the site blocked\n"
    "  restore   put back what cleanup runs deleted and replaced, from their undo archives (newest\n"
    "            run first, in one transaction; --dry-run applies and rolls back)\n"
    "\n"
    "Server, user and database default to the values the window last stored, then to localhost,\n"
    "root and corvane. The password comes from TK_CORVANE_PASSWORD, else from --password-file,\n"
    "else from a prompt when standard input is a terminal, else it is empty; it is never taken\n"
    "from the command line and never stored.\n"
    "A statement waits at most --lock-wait seconds (default 60) for a lock held elsewhere; a wait of\n"
    "more than a few seconds is reported on standard error.\n"
    "Before each batch of changes the run waits while a replica named by --replica (the same user and\n"
    "password; the forms --server takes) is more than --max-lag seconds behind (default 10) or its\n"
    "replication is stopped; a wait of more than --lag-wait seconds (default 600) ends it (status 2).\n"
    "Where the site's foreign keys delete or change rows with the cleanup's, the undo archive keeps those\n"
    "rows too; a key that would refuse a deletion, or a trigger on a table the cleanup changes, stops it\n"
    "before any change (status 3). --allow-triggers runs it anyway: the archive then holds the cleanup's\n"
    "own changes only.\n"
    "Exit status: 0 done, 1 no connection, 2 failed part-way (what ran stays done), 3 refused because\n"
    "the site is not blocked, an archive is not one of this database, or of the site's keys or\n"
    "triggers, 4 another run is changing the\n"
    "same database, 5 done but the report or the screenshot list could not be written, 64 usage error.\n";

struct Options {
    std::string command;
    std::vector<std::string> files; // restore
    std::optional<std::string> server, user, database, passwordFile;
    int lockWait = kDefaultLockWait;
    ReplicaSettings replicas;
    bool dryRun = false;
    bool allowTriggers = false;
    bool quiet = false;
};

struct UsageError {
    std::string text;
};

int seconds(const std::string& option, const std::string& v, int least)
{
    if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos || std::stoi(v) < least)
        throw UsageError{option + " takes a whole number of seconds from " + std::to_string(least)};
    return std::stoi(v);
}

Options parse(int argc, char** argv)
{
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.erase(eq);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        if (arg == "--server")
            o.server = value();
        else if (arg == "--user")
            o.user = value();
        else if (arg == "--database")
            o.database = value();
        else if (arg == "--password-file")
            o.passwordFile = value();
        else if (arg == "--lock-wait")
            o.lockWait = seconds(arg, value(), 1);
        else if (arg == "--max-lag")
            o.replicas.maxLag = seconds(arg, value(), 0);
        else if (arg == "--lag-wait")
            o.replicas.lagWait = seconds(arg, value(), 1);
        else if (arg == "--replica")
            o.replicas.servers.push_back(value());
        else if (arg == "--password" || arg == "--pwd" || arg == "-p")
            throw UsageError{"the password is never taken from the command line: use TK_CORVANE_PASSWORD, "
                             "--password-file or the prompt"};
        else if (arg == "--dry-run" && !inlineValue)
            o.dryRun = true;
        else if (arg == "--quiet" && !inlineValue)
            o.quiet = true;
        else if (arg == "--allow-triggers" && !inlineValue)
            o.allowTriggers = true;
        else if (arg.rfind("-", 0) == 0)
            throw UsageError{"unknown option " + arg};
        else if (o.command.empty())
            o.command = arg;
        else if (o.command == "restore")
            o.files.push_back(arg);
        else
            throw UsageError{"unexpected argument " + arg};
    }
    static const char* const kCommands[] = {"test", "block", "unblock", "recount", "cleanup", "maintain", "restore"};
    bool known = false;
    for (const char* c : kCommands)
        known = known || o.command == c;
    if (!known)
        throw UsageError{o.command.empty() ? "no command given" : "unknown command " + o.command};
    if (o.dryRun && o.command != "cleanup" && o.command != "maintain" && o.command != "restore")
        throw UsageError{"--dry-run goes with cleanup, maintain and restore only"};
    if (o.allowTriggers && o.command != "cleanup" && o.command != "maintain")
        throw UsageError{"--allow-triggers goes with cleanup and maintain only"};
    if (o.command == "restore" && o.files.empty())
        throw UsageError{"restore needs the archive files"};
    return o;
}

std::string promptPassword()
{
    std::fputs(toTerminalEncoding("Пароль: ").c_str(), stderr);
    std::fflush(stderr);
    termios old{};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputs("\n", stderr);
    return line;
}

std::string password(const Options& o)
{
    if (const char* env = std::getenv("TK_CORVANE_PASSWORD"))
        return env;
    if (o.passwordFile) {
        std::ifstream in(*o.passwordFile, std::ios::binary);
        if (!in)
            throw UsageError{"cannot read the password file " + *o.passwordFile};
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
    if (::isatty(STDIN_FILENO))
        return promptPassword();
    return "";
}

ConnectionFields fields(const Options& o, const SettingsStore& store)
{
    // What the command line gives, else what the window stored, else the window's defaults.
    auto pick = [&](const std::optional<std::string>& given, Stored which) {
        return given ? *given : store.load(which);
    };
    return ConnectionFields{pick(o.server, Stored::Server), pick(o.user, Stored::User), password(o),
                            pick(o.database, Stored::Database)};
}

int statusOf(const RunOutcome& outcome)
{
    switch (outcome.status) {
    case RunStatus::Done:
        return outcome.report.filesFailed ? kExitFilesMissing : kExitDone;
    case RunStatus::Locked:
        return kExitLocked;
    case RunStatus::NotConnected:
        return kExitNotConnected;
    case RunStatus::Refused:
        return kExitRefused;
    default:
        return kExitFailed;
    }
}

// The recount and the cleanup change the site's data: unlike the window, nothing else here
// guarantees that the site is offline, so they run only while 'ISWORK' says it is blocked.
int requireBlocked(OperationRunner& runner)
{
    std::optional<std::int64_t> isWork;
    const RunOutcome read = runner.run(
        [&](db::Connection& c) {
            const db::Rows rows = c.query("select VALUEINT from tbl_conf where PARAM='ISWORK'");
            if (!rows.empty())
                isWork = rows.front().optInt("VALUEINT");
            return Report{};
        },
        Changes::Nothing);
    if (!read.done())
        return statusOf(read);
    if (isWork == 0)
        return kExitDone;
    runner.window().showMessage(MessageIcon::Critical, "Сайт не заблокирован (ISWORK=" +
                                                           (isWork ? std::to_string(*isWork) : std::string("нет")) +
                                                           "): сначала выполните tk_corvane block.");
    return kExitRefused;
}

TriggerPolicy triggerPolicy(const Options& o)
{
    return o.allowTriggers ? TriggerPolicy::Allow : TriggerPolicy::Refuse;
}

int runOne(const std::string& command, OperationRunner& runner, const SettingsStore& store, const std::string& folder,
           TriggerPolicy triggers)
{
    if (command == "test")
        return statusOf(Command1_Click(runner));
    if (command == "block")
        return statusOf(Command2_Click(runner, store));
    if (command == "unblock")
        return statusOf(Command3_Click(runner));
    if (const int s = requireBlocked(runner); s != kExitDone)
        return s;
    if (command == "recount")
        return statusOf(Command4_Click(runner));
    return statusOf(Command5_Click(runner, folder, db::kPageRows, triggers));
}

} // namespace

int runCommandLine(int argc, char** argv, const std::string& appFolder)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return kExitDone;
        }
        if (a == "--version") {
            std::printf("%s\n", std::string(kProductVersionLine).c_str());
            return kExitDone;
        }
    }
    try {
        const Options o = parse(argc, argv);
        const SettingsStore store = SettingsStore::forCurrentUser();
        ConsoleWindow window(fields(o, store), o.quiet);
        OperationRunner runner(window);
        runner.setLockWait(o.lockWait);
        runner.setReplicas(o.replicas);
        // What a cleanup would do now, with nothing changed and no file written; the site need not be
        // blocked for a look.
        if (o.command == "restore") {
            cleanup::RestoreResult result;
            const int status = statusOf(cleanup::restoreArchives(runner, o.files, o.dryRun, result));
            return result.refused ? kExitRefused : result.failed ? kExitFailed : status;
        }
        if (o.dryRun)
            return statusOf(previewCleanup(runner, db::kPageRows, triggerPolicy(o)));
        if (o.command != "maintain")
            return runOne(o.command, runner, store, appFolder, triggerPolicy(o));

        for (const char* step : {"block", "recount", "cleanup", "unblock"}) {
            const int s = runOne(step, runner, store, appFolder, triggerPolicy(o));
            if (s != kExitDone) {
                if (std::string(step) != "block")
                    window.showMessage(MessageIcon::Critical,
                                       std::string("Шаг ") + step + " не выполнен: сайт остаётся заблокированным.");
                return s;
            }
        }
        return kExitDone;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tk_corvane: %s\n\n%s", e.text.c_str(), kUsage);
        return kExitUsage;
    }
}
