// tk_bench: runs one long operation of the tool once against a site database, with a window that
// has no screen, and prints what it cost: wall time, statements the server counted, peak memory.
// It also makes the copies a fair comparison starts from and checks that two copies ended alike.
//
//   tk_bench recount|cleanup|maintain --database NAME [--host 127.0.0.1] [--port 3308] [--user U] [--password P]
//            [--monitor-user root] [--monitor-password ""] [--app-folder DIR] [--window]
//
// --window runs the operation through the tool's real window (it needs a display: xvfb-run) by
// clicking its button, and measures the longest pause of the window's event loop; without it a window
// without a screen stands in and the longest pause between two of its event runs is measured.
//   tk_bench copy --from SOURCE --database NAME [connection options]
//   tk_bench compare --database NAME --with OTHER [connection options]
//
// The statements are counted by the server per account (user statistics), so the tool should run
// under an account of its own that nothing else uses meanwhile; the monitor reads the counters with
// another account that may SET GLOBAL. Without a monitor the server count is left out.
// compare prints IDENTICAL or DIFFERENT with the tables that differ, and exits 0 only for IDENTICAL.
#include "HeadlessWindow.h"
#include "SiteCopy.h"
#include "StatementCounter.h"
#include "WindowRun.h"

#include "cleanup/CleanupRun.h"
#include "db/DbError.h"
#include "db/SiteConnection.h"
#include "maintenance/SiteBlock.h"
#include "ops/OperationRunner.h"
#include "ratings/RatingRecalc.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace
{
struct Options {
    std::string operation;
    std::string host = "127.0.0.1";
    std::string port = "3308";
    std::string user = "tk_bench";
    std::string password = "bench-pass";
    std::string database;
    std::string monitorUser = "root";
    std::string monitorPassword;
    std::string appFolder;
    std::string from; // copy: the database copied
    std::string with; // compare: the other database
    bool window = false;
};

[[noreturn]] void usage(const std::string& why)
{
    std::cerr
        << "tk_bench: " << why << "\n"
        << "usage: tk_bench recount|cleanup|maintain --database NAME [--host H] [--port P] [--user U] [--password PW]\n"
           "                [--monitor-user U] [--monitor-password PW] [--app-folder DIR]\n"
           "       tk_bench copy --from SOURCE --database NAME [--host H] [--port P] [--user U] [--password PW]\n"
           "       tk_bench compare --database NAME --with OTHER [--host H] [--port P] [--user U] [--password PW]\n"
           "  --monitor-user '' leaves the server's statement count out.\n";
    std::exit(64);
}

Options parse(int argc, char** argv)
{
    Options o;
    const std::map<std::string, std::string Options::*> valued{
        {"--host", &Options::host},
        {"--port", &Options::port},
        {"--user", &Options::user},
        {"--password", &Options::password},
        {"--database", &Options::database},
        {"--monitor-user", &Options::monitorUser},
        {"--monitor-password", &Options::monitorPassword},
        {"--app-folder", &Options::appFolder},
        {"--from", &Options::from},
        {"--with", &Options::with},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--window") {
            o.window = true;
        } else if (const auto it = valued.find(arg); it != valued.end()) {
            if (i + 1 >= argc)
                usage(arg + " wants a value");
            o.*(it->second) = argv[++i];
        } else if (o.operation.empty() && arg.rfind("--", 0) != 0) {
            o.operation = arg;
        } else {
            usage("unknown argument " + arg);
        }
    }
    if (o.operation != "recount" && o.operation != "cleanup" && o.operation != "maintain" && o.operation != "copy" &&
        o.operation != "compare")
        usage("say recount, cleanup, maintain, copy or compare");
    if (o.operation == "maintain" && o.window)
        usage("maintain runs headless: the window has no button for it");
    if (o.database.empty())
        usage("--database is required");
    if (o.operation == "copy" && o.from.empty())
        usage("copy wants --from");
    if (o.operation == "compare" && o.with.empty())
        usage("compare wants --with");
    return o;
}

ConnectionFields fieldsFor(const Options& o, const std::string& user, const std::string& password,
                           const std::string& database)
{
    // The driver takes the port as a keyword of its own; the server field carries it along.
    return {o.host + ";port=" + o.port, user, password, database};
}

// A fresh folder for the report files, ending in a slash so that file names are appended directly.
std::string makeAppFolder(std::string folder)
{
    if (folder.empty()) {
        char templ[] = "/tmp/tk_bench.XXXXXX";
        if (!::mkdtemp(templ))
            throw std::runtime_error("cannot create a folder for the report files");
        folder = templ;
    }
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::optional<StatementCounter> openCounter(const Options& o)
{
    if (o.monitorUser.empty())
        return std::nullopt;
    if (o.monitorUser == o.user) {
        std::cerr << "tk_bench: the monitor shares the tool's account; no server statement count\n";
        return std::nullopt;
    }
    try {
        auto monitor =
            db::Connection::open(db::siteConnectionString(fieldsFor(o, o.monitorUser, o.monitorPassword, "")));
        return StatementCounter(std::move(monitor), o.user);
    } catch (const std::exception& e) {
        std::cerr << "tk_bench: no server statement count: " << e.what() << "\n";
        return std::nullopt;
    }
}

double peakMemoryMiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB on Linux
}

// maintain runs the command line's steps: block, cleanup, recount, unblock, stopping at the first
// that does not complete (the site then stays blocked, as there).
RunOutcome runOperation(const Options& o, OperationRunner& runner, const std::string& appFolder)
{
    if (o.operation == "recount")
        return Command4_Click(runner);
    if (o.operation == "cleanup")
        return Command5_Click(runner, appFolder);
    const SettingsStore settings(appFolder + "bench-settings.reg");
    RunOutcome outcome = Command2_Click(runner, settings);
    if (outcome.done())
        outcome = Command5_Click(runner, appFolder);
    if (outcome.done())
        outcome = Command4_Click(runner);
    if (outcome.done())
        outcome = Command3_Click(runner);
    return outcome;
}
db::Connection openServer(const Options& o)
{
    return db::Connection::open(db::siteConnectionString(fieldsFor(o, o.user, o.password, "")));
}

int copy(const Options& o)
{
    auto c = openServer(o);
    const auto start = std::chrono::steady_clock::now();
    bench::copySite(c, o.from, o.database);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::printf("copied %s to %s in %.1f s\n", o.from.c_str(), o.database.c_str(), wall.count());
    return 0;
}

int compare(const Options& o)
{
    auto c = openServer(o);
    const auto tables = bench::compareSites(c, o.database, o.with);
    std::vector<std::string> differing;
    std::int64_t rows = 0;
    for (const auto& t : tables) {
        rows += t.first.rows;
        if (t.same())
            continue;
        differing.push_back(t.table);
        const auto side = [](const bench::TableState& s) {
            return s.present ? std::to_string(s.rows) + " rows, checksum " + s.checksum : std::string("missing");
        };
        std::printf("  %s: %s in %s, %s in %s\n", t.table.c_str(), side(t.first).c_str(), o.database.c_str(),
                    side(t.second).c_str(), o.with.c_str());
    }
    if (tables.empty()) {
        std::printf("%s and %s: DIFFERENT (neither has a table)\n", o.database.c_str(), o.with.c_str());
        return 1;
    }
    if (differing.empty()) {
        std::printf("%s and %s: IDENTICAL (%zu tables, %lld rows each)\n", o.database.c_str(), o.with.c_str(),
                    tables.size(), static_cast<long long>(rows));
        return 0;
    }
    std::string list;
    for (const auto& t : differing)
        list += (list.empty() ? "" : " ") + t;
    std::printf("%s and %s: DIFFERENT (%zu of %zu tables: %s)\n", o.database.c_str(), o.with.c_str(), differing.size(),
                tables.size(), list.c_str());
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    try {
        if (o.operation == "copy")
            return copy(o);
        if (o.operation == "compare")
            return compare(o);
        const std::string appFolder = o.operation != "recount" ? makeAppFolder(o.appFolder) : std::string();
        auto counter = openCounter(o);
        const double memoryBefore = peakMemoryMiB();

        const auto before = counter ? counter->read() : ServerStatementCounts{};
        bool completed = false;
        std::chrono::duration<double> wall{}, pause{};
        std::unique_ptr<HeadlessWindow> window;
        std::vector<HeadlessWindow::Message> messages;
        if (o.window) {
            const WindowRunResult r = runInWindow(o.operation, fieldsFor(o, o.user, o.password, o.database),
                                                  appFolder.empty() ? makeAppFolder("") : appFolder);
            completed = r.completed, wall = r.wall, pause = r.longestPause;
            messages.push_back({r.completed ? MessageIcon::Information : MessageIcon::Critical, r.message});
        } else {
            window = std::make_unique<HeadlessWindow>(fieldsFor(o, o.user, o.password, o.database));
            OperationRunner runner(*window);
            const auto start = std::chrono::steady_clock::now();
            completed = runOperation(o, runner, appFolder).done();
            wall = std::chrono::steady_clock::now() - start;
            pause = window->longestPause();
            messages = window->messages();
        }
        const double peak = peakMemoryMiB();
        const auto after = counter ? counter->read() : ServerStatementCounts{};

        std::printf("operation: %s%s\n", o.operation.c_str(), o.window ? " (real window)" : "");
        std::printf("database: %s\n", o.database.c_str());
        std::printf("result: %s\n", completed ? "completed" : "FAILED");
        std::printf("wall time: %.2f s\n", wall.count());
        std::printf("longest pause: %.3f s%s\n", pause.count(),
                    window ? (" (after the caption \"" + window->longestPauseAfter() + "\")").c_str() : "");
        if (counter) {
            const auto d = after - before;
            std::printf("statements (server, account %s): %lld (select %lld, update/delete %lld, other %lld)\n",
                        o.user.c_str(), static_cast<long long>(d.total()), static_cast<long long>(d.selects),
                        static_cast<long long>(d.updates), static_cast<long long>(d.others));
            std::printf("statements (server, all clients): %lld\n", static_cast<long long>(d.questions));
        }
        if (window)
            std::printf("captions set: %llu, event runs: %llu, window shown: %d\n",
                        static_cast<unsigned long long>(window->captionsSet()),
                        static_cast<unsigned long long>(window->eventRuns()), window->shows());
        std::printf("peak memory: %.1f MiB (%.1f MiB before the operation)\n", peak, memoryBefore);
        if (!appFolder.empty())
            std::printf("report folder: %s\n", appFolder.c_str());
        if (window)
            for (const auto& f : window->viewerFiles())
                std::printf("viewer asked to open: %s\n", f.c_str());
        for (const auto& m : messages)
            std::printf("message [%s]:\n%s\n", iconName(m.icon), m.text.c_str());
        return completed ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "tk_bench: " << e.what() << "\n";
        return 1;
    }
}
