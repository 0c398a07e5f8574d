#include "cli/CommandLine.h"

#include "cleanup/ArchiveList.h"
#include "cleanup/ArchiveRestore.h"
#include "cleanup/CleanupRun.h"
#include "cli/CommandTable.h"
#include "cli/ConsoleWindow.h"
#include "cli/PasswordSource.h"
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

using namespace cli;

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
    bool abandon = false; // restore
    bool quiet = false;
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
    o.abandon = given("abandon");
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
    if (o.abandon && (o.command != Cmd::Restore || o.dryRun))
        throw UsageError{"--abandon goes with restore only, without --dry-run"};
    if (o.command == Cmd::Restore && o.files.empty())
        throw UsageError{"restore needs the archive files"};
    return o;
}

ConnectionFields fields(const Options& o, const SettingsStore& store)
{
    // What the command line gives, else what the window stored, else the window's defaults.
    auto pick = [&](const std::optional<std::string>& given, Stored which) {
        return given ? *given : store.load(which);
    };
    ConnectionFields f{pick(o.server, Stored::Server), pick(o.user, Stored::User), commandLinePassword(o.passwordFile),
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
            const int status = statusOf(o.abandon ? cleanup::abandonRestore(runner, o.files, result)
                                                  : cleanup::restoreArchives(runner, o.files, o.dryRun, result));
            return result.refused ? kExitRefused : result.failed ? kExitFailed : status;
        }
        // What a cleanup would do now, with nothing changed and no file written; the site need not be
        // blocked for a look.
        if (o.dryRun) {
            if (o.command == Cmd::Maintain)
                window.showMessage(MessageIcon::Information,
                                   "Шаги maintain: " + maintainStepNames() + "; чистка сейчас:");
            return statusOf(previewCleanup(runner, db::kPageRows, triggerPolicy(o)));
        }
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
