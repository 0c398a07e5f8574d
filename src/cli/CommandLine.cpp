#include "cli/CommandLine.h"

#include "cleanup/ArchiveList.h"
#include "cleanup/ArchiveRestore.h"
#include "cleanup/CleanupRun.h"
#include "cli/ConsoleWindow.h"
#include "common/ProductInfo.h"
#include "common/SystemFiles.h"
#include "common/Terminal.h"
#include "maintenance/SiteBlock.h"
#include "ops/ConnectionTestButton.h"
#include "ratings/RatingRecalc.h"

#include "ops/StoredSettings.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <vector>

namespace
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
constexpr Command kCommands[] = {
    {Cmd::Test,     "test",     "open and close a connection to the site database; says how the connection is secured"},
    {Cmd::Block,    "block",    "switch the site off (ISWORK=0) and keep a copy of its offline message"},
    {Cmd::Unblock,  "unblock",  "switch the site on again (ISWORK=1)"},
    {Cmd::Recount,  "recount",  "recount the site's counters, user statistics and ratings (site must be blocked)"},
    {Cmd::Cleanup,  "cleanup",  "delete rows that point to missing releases, links, users or persons and hand the "
                                "authorship of missing users to the first user (site must be blocked)", true, true},
    {Cmd::Maintain, "maintain", "block, recount, cleanup and unblock; a failed step leaves the site blocked",
                                true, true},
    {Cmd::Restore,  "restore",  "put back what cleanup runs deleted and replaced, from their undo archives FILE... "
                                "(newest run first, in one transaction; --dry-run applies and rolls back)", true},
    {Cmd::Archives, "archives", "list the database's undo archives in the files folder, newest run first: when, "
                                "what each puts back, whether it was put back, the file (no connection needed)"},
};
// clang-format on
constexpr Cmd kMaintainSteps[] = {Cmd::Block, Cmd::Recount, Cmd::Cleanup, Cmd::Unblock};

const Command& command(Cmd c)
{
    return *std::find_if(std::begin(kCommands), std::end(kCommands), [c](const Command& row) { return row.cmd == c; });
}

// "cleanup, maintain and restore": the commands that take an option.
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

// The options: one row each. value: the name of its value in the usage, empty for a switch.
struct OptionRow {
    const char* name;
    const char* value;
    const char* help;
};
constexpr OptionRow kOptions[] = {
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
    {"quiet", "", "no progress on standard error"},
};
// clang-format on
constexpr const char* kTlsRequiring[] = {"ssl", "ssl-ca", "ssl-capath", "ssl-cert", "ssl-key"};

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

struct Options {
    Cmd command = Cmd::Test;
    std::vector<std::string> files; // restore
    std::optional<std::string> server, user, database, passwordFile;
    std::optional<int> port;
    std::optional<db::TlsSettings> tls; // as the command line sets it, if it does
    std::optional<int> lockWait;
    std::vector<std::string> replicas;
    std::optional<int> maxLag, lagWait;
    bool dryRun = false;
    bool allowTriggers = false;
    bool quiet = false;
};

struct UsageError {
    std::string text;
};

int number(const std::string& option, const std::string& v, int least, int most, const char* what)
{
    if (const auto n = wholeNumber(v, least, most))
        return *n;
    throw UsageError{"--" + option + " takes " + what + " from " + std::to_string(least) +
                     (most < 999999 ? " to " + std::to_string(most) : "")};
}

// Arguments cross as bytes: each byte one Latin-1 character, so that nothing is lost on the way.
QString bytes(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string bytes(const QString& s)
{
    return s.toLatin1().toStdString();
}

Options parse(const std::vector<std::string>& arguments)
{
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "-p" || a == "--pwd" || a.starts_with("--pwd=") || a == "--password" || a.starts_with("--password="))
            throw UsageError{"the password is never taken from the command line: use TK_CORVANE_PASSWORD, "
                             "--password-file or the prompt"};
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionRow& row : kOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(row.name), QString(), QString::fromLatin1(row.value)));
    QStringList args;
    for (const std::string& a : arguments)
        args << bytes(a);
    if (!parser.parse(args))
        throw UsageError{parser.errorText().toStdString()};
    const auto given = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    const auto value = [&](const char* name) -> std::optional<std::string> {
        if (!given(name))
            return std::nullopt;
        return bytes(parser.value(QString::fromLatin1(name)));
    };

    Options o;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        throw UsageError{"no command given"};
    const std::string name = bytes(positional.front());
    const auto known =
        std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) { return name == c.name; });
    if (known == std::end(kCommands))
        throw UsageError{"unknown command " + name};
    o.command = known->cmd;
    for (qsizetype i = 1; i < positional.size(); ++i) {
        if (o.command != Cmd::Restore)
            throw UsageError{"unexpected argument " + bytes(positional[i])};
        o.files.push_back(bytes(positional[i]));
    }
    o.server = value("server");
    o.user = value("user");
    o.database = value("database");
    o.passwordFile = value("password-file");
    if (const auto v = value("port"))
        o.port = number("port", *v, 1, 65535, "a port number");
    if (const auto v = value("lock-wait"))
        o.lockWait = number("lock-wait", *v, 1, 999999, "a whole number of seconds");
    if (const auto v = value("max-lag"))
        o.maxLag = number("max-lag", *v, 0, 999999, "a whole number of seconds");
    if (const auto v = value("lag-wait"))
        o.lagWait = number("lag-wait", *v, 1, 999999, "a whole number of seconds");
    for (const QString& r : parser.values(QStringLiteral("replica")))
        o.replicas.push_back(bytes(r));
    o.dryRun = given("dry-run");
    o.allowTriggers = given("allow-triggers");
    o.quiet = given("quiet");

    const bool requiring = std::any_of(std::begin(kTlsRequiring), std::end(kTlsRequiring), given);
    const bool unverified = given("skip-ssl-verify-server-cert");
    if (given("skip-ssl")) {
        if (requiring || unverified)
            throw UsageError{"--skip-ssl goes with no other TLS option"};
        o.tls = db::TlsSettings{db::TlsMode::Off, {}, {}, {}, {}, true};
    } else if (requiring || unverified) {
        o.tls = db::TlsSettings{
            db::TlsMode::Required,          value("ssl-ca").value_or(""),  value("ssl-capath").value_or(""),
            value("ssl-cert").value_or(""), value("ssl-key").value_or(""), !unverified};
    }
    if (o.port && o.server && db::serverNamesPort(*o.server))
        throw UsageError{"--server names a port already: give --port or host:port, not both"};

    if (o.dryRun && !known->dryRun)
        throw UsageError{"--dry-run goes with " + takers(&Command::dryRun) + " only"};
    if (o.allowTriggers && !known->triggers)
        throw UsageError{"--allow-triggers goes with " + takers(&Command::triggers) + " only"};
    if (o.command == Cmd::Restore && o.files.empty())
        throw UsageError{"restore needs the archive files"};
    return o;
}

std::string promptPassword()
{
    terminal::write(stderr, "Пароль: ");
    std::fflush(stderr);
    const std::optional<std::string> line = terminal::readHiddenLine();
    terminal::write(stderr, "\n");
    return line.value_or("");
}

std::string password(const Options& o)
{
    if (const char* env = std::getenv("TK_CORVANE_PASSWORD"))
        return env;
    if (o.passwordFile) {
        std::ifstream in(sysfiles::pathOf(*o.passwordFile), std::ios::binary);
        if (!in)
            throw UsageError{"cannot read the password file " + *o.passwordFile};
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

ConnectionFields fields(const Options& o, const SettingsStore& store)
{
    // What the command line gives, else what the window stored, else the window's defaults.
    auto pick = [&](const std::optional<std::string>& given, Stored which) {
        return given ? *given : store.load(which);
    };
    ConnectionFields f{pick(o.server, Stored::Server), pick(o.user, Stored::User), password(o),
                       pick(o.database, Stored::Database)};
    const ConnectionSettings stored = loadConnectionSettings(store);
    f.tls = o.tls ? *o.tls : stored.tls;
    f.port = o.port ? o.port : stored.port; // a port the server field names goes first
    return f;
}

// The replicas named here, else the stored ones; each bound given here, else stored.
ReplicaSettings replicas(const Options& o, const SettingsStore& store)
{
    ReplicaSettings r = loadConnectionSettings(store).replicas;
    if (!o.replicas.empty())
        r.servers = o.replicas;
    r.maxLag = o.maxLag.value_or(r.maxLag);
    r.lagWait = o.lagWait.value_or(r.lagWait);
    return r;
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
    runner.window().showMessage(
        MessageIcon::Critical,
        "Сайт не заблокирован (ISWORK=" + (isWork ? std::to_string(*isWork) : std::string("нет")) +
            "): сначала выполните tk_corvane " + command(Cmd::Block).name + ".");
    return kExitRefused;
}

TriggerPolicy triggerPolicy(const Options& o)
{
    return o.allowTriggers ? TriggerPolicy::Allow : TriggerPolicy::Refuse;
}

int runOne(Cmd command, OperationRunner& runner, const SettingsStore& store, const std::string& folder,
           TriggerPolicy triggers)
{
    switch (command) {
    case Cmd::Test:
        return statusOf(Command1_Click(runner));
    case Cmd::Block:
        return statusOf(Command2_Click(runner, store));
    case Cmd::Unblock:
        return statusOf(Command3_Click(runner));
    default:
        break;
    }
    if (const int s = requireBlocked(runner); s != kExitDone)
        return s;
    if (command == Cmd::Recount)
        return statusOf(Command4_Click(runner));
    return statusOf(Command5_Click(runner, folder, db::kPageRows, triggers));
}

} // namespace

int runCommandLine(const std::vector<std::string>& arguments, const std::string& appFolder)
{
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help" || a == "-h") {
            terminal::write(stdout, usage());
            return kExitDone;
        }
        if (a == "--version") {
            terminal::write(stdout, std::string(kProductVersionLine) + "\n");
            return kExitDone;
        }
    }
    try {
        const Options o = parse(arguments);
        const SettingsStore store = SettingsStore::forCurrentUser();
        if (o.command == Cmd::Archives) {
            for (const auto& entry :
                 cleanup::listArchives(appFolder, o.database.value_or(store.load(Stored::Database))))
                terminal::write(stdout, cleanup::describeArchive(entry) + "\n");
            return kExitDone;
        }
        ConsoleWindow window(fields(o, store), o.quiet);
        OperationRunner runner(window);
        runner.setLockWait(o.lockWait.value_or(loadConnectionSettings(store).lockWait));
        runner.setReplicas(replicas(o, store));
        if (o.command == Cmd::Restore) {
            cleanup::RestoreResult result;
            const int status = statusOf(cleanup::restoreArchives(runner, o.files, o.dryRun, result));
            return result.refused ? kExitRefused : result.failed ? kExitFailed : status;
        }
        // What a cleanup would do now, with nothing changed and no file written; the site need not be
        // blocked for a look.
        if (o.dryRun)
            return statusOf(previewCleanup(runner, db::kPageRows, triggerPolicy(o)));
        if (o.command != Cmd::Maintain)
            return runOne(o.command, runner, store, appFolder, triggerPolicy(o));

        for (const Cmd step : kMaintainSteps) {
            const int s = runOne(step, runner, store, appFolder, triggerPolicy(o));
            if (s != kExitDone) {
                if (step != Cmd::Block)
                    window.showMessage(MessageIcon::Critical, std::string("Шаг ") + command(step).name +
                                                                  " не выполнен: сайт остаётся заблокированным.");
                return s;
            }
        }
        return kExitDone;
    } catch (const UsageError& e) {
        terminal::write(stderr, "tk_corvane: " + e.text + "\n\n" + usage());
        return kExitUsage;
    }
}
