#include "cleanup/CleanupRun.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/AuthorshipPass.h"
#include "cleanup/OrphanPasses.h"
#include "cleanup/PassEngine.h"
#include "cleanup/SentChanges.h"
#include "cleanup/SiteKeys.h"
#include "cleanup/UndoArchive.h"
#include "common/SystemFiles.h"
#include "common/TextFile.h"
#include "ops/SecondSession.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <system_error>

namespace cleanup
{

std::vector<CodeColumn> cleanupCodeColumns()
{
    std::vector<CodeColumn> columns;
    for (const OrphanPass& pass : kOrphanPasses) {
        columns.push_back({pass.table, "CODE"});
        columns.push_back({pass.parentTable, "CODE"});
        for (std::string_view ref : pass.references)
            if (!ref.empty())
                columns.push_back({pass.table, ref});
    }
    for (const CodeColumn& c : authorshipColumns())
        columns.push_back(c);
    return columns;
}

CleanupResult runCleanupPasses(db::Connection& c, CleanupChanges& changes, ScreenshotNames& names, SiteWindow& window,
                               std::size_t pageRows, KeyActions* keys, OperationRunner* runner, ParentReads parents)
{
    requireWholeNumberColumns(c, cleanupCodeColumns());
    PassContext run{c, changes, names, window, pageRows, keys};
    run.holdParents = parents == ParentReads::OncePerRun;
    std::optional<SecondSession> side;
    if (runner) {
        run.batchChanges = runner->rowsPerStatement(kBatchChanges);
        run.beforeBatch = [runner] { runner->beforeBatch(); };
        if (!keys) {
            side.emplace(*runner);
            run.pageAhead = [&side](const std::string& sql) -> std::function<db::IntRows()> {
                auto page = std::make_shared<db::IntRows>();
                const std::optional<std::size_t> job =
                    side->queue([page, sql](db::Connection& s) { *page = s.queryInts(sql); });
                if (!job)
                    return {};
                return [&side, page, n = *job] {
                    side->wait(n);
                    return std::move(*page);
                };
            };
        }
    }
    CleanupResult result;
    std::string_view title;
    // A pass judged during an earlier pass over the same table, waiting for its turn.
    std::optional<std::pair<std::size_t, LaterPass>> judged;
    try {
        for (std::size_t i = 0; i < kOrphanPasses.size(); ++i) {
            const OrphanPass& pass = kOrphanPasses[i];
            title = pass.title;
            PassOutcome outcome;
            if (judged && judged->first == i) {
                outcome = runJudgedPass(run, judged->second);
                judged.reset();
            } else if (const auto later = judged ? std::nullopt : judgedAlongWith(i, keys != nullptr)) {
                judged.emplace(*later, LaterPass{&kOrphanPasses[*later], {}, {}});
                outcome = runOrphanPass(run, pass, &judged->second);
            } else {
                outcome = runOrphanPass(run, pass);
            }
            result.summary.push_back({pass.summaryLabel, outcome.affected});
            result.listed += outcome.listed;
        }
        title = kAuthorshipTitle;
        result.summary.push_back({kAuthorshipLabel, runAuthorshipPass(run)});
    } catch (KeyConflict& e) {
        e.pass = title;
        throw;
    }
    if (keys)
        result.byKeys = keys->counts();
    return result;
}

namespace
{
// Changes that go nowhere: the run only looks.
class NoChanges : public CleanupChanges
{
  public:
    void deleteRows(std::string_view, CodeList, const ServerChanges&) override {}
    void replaceAuthor(std::string_view, std::string_view, CodeList, const std::string&, const ServerChanges&) override
    {
    }
};

// What the run changes by its own statements.
RunTargets runTargets()
{
    RunTargets targets;
    for (const OrphanPass& pass : kOrphanPasses)
        if (std::find(targets.deletedFrom.begin(), targets.deletedFrom.end(), pass.table) == targets.deletedFrom.end())
            targets.deletedFrom.push_back(pass.table);
    for (const CodeColumn& col : authorshipColumns())
        if (col.column != "CODE")
            targets.rewritten.emplace_back(col.table, col.column);
    return targets;
}

std::string triggerList(const std::vector<Trigger>& triggers)
{
    std::string list;
    for (const Trigger& t : triggers)
        list += "\n- " + triggerText(t);
    return list;
}

// Before any change: the site's keys and triggers as they bear on the run. Throws RunRefused where
// the run must not start; the plan says which keys to follow.
KeyPlan checkKeys(db::Connection& c, SiteWindow& window, TriggerPolicy policy)
{
    KeyPlan plan;
    try {
        plan = planKeys(c, runTargets());
    } catch (const std::exception& e) {
        throw NothingChanged("Чистка не начата: " + describeError(e));
    }
    if (!plan.refusals.empty()) {
        std::string text = "Чистка не начата: того, что сделали бы внешние ключи сервера, архив для отмены не вернёт:";
        for (const std::string& r : plan.refusals)
            text += "\n- " + r;
        throw RunRefused(text);
    }
    if (plan.triggers.empty() || policy == TriggerPolicy::Allow)
        return plan;
    if (policy == TriggerPolicy::Ask) {
        if (window.confirm("На таблицах, которые меняет чистка, есть триггеры:" + triggerList(plan.triggers) +
                           "\nЧто они делают, инструмент знать не может: архив для отмены будет хранить только "
                           "изменения самой чистки. Чистить всё равно?"))
            return plan;
        throw RunRefused("Чистка не начата: триггеры не разрешены.");
    }
    throw RunRefused("Чистка не начата: на таблицах, которые она меняет, есть триггеры:" + triggerList(plan.triggers) +
                     "\nЧто они делают, инструмент знать не может, и их изменений не будет в архиве для отмены. "
                     "Чтобы чистить всё равно: tk_corvane cleanup --allow-triggers; для окна: "
                     "tk_settings set 'temp\\allowtriggers' 1, и окно спросит подтверждение.");
}

std::string conflictText(const KeyConflict& e)
{
    return "Чистка не начата: проход «" + e.pass + "» упёрся бы в " + e.what() + ".";
}

// The passes as they would go, sending nothing, to meet any key that would refuse a change before
// the first one is made.
void checkConflicts(db::Connection& c, SiteWindow& window, const KeyPlan& plan, std::size_t pageRows)
{
    if (plan.blocking.empty())
        return;
    KeyActions keys(c, plan.reached);
    NoChanges nothing;
    CollectedScreenshotNames names;
    window.showTitle("Проверяем внешние ключи сервера");
    try {
        runCleanupPasses(c, nothing, names, window, pageRows, &keys);
    } catch (const KeyConflict& e) {
        throw RunRefused(conflictText(e));
    }
}
} // namespace

} // namespace cleanup

RunOutcome previewCleanup(OperationRunner& runner, std::size_t pageRows, TriggerPolicy triggers)
{
    using namespace cleanup;
    return runner.run(
        [&](db::Connection& c) {
            const KeyPlan plan = checkKeys(c, runner.window(), triggers);
            std::optional<KeyActions> keys;
            if (!plan.reached.empty())
                keys.emplace(c, plan.reached);
            NoChanges nothing;
            CollectedScreenshotNames names;
            CleanupResult result;
            try {
                result = runCleanupPasses(c, nothing, names, runner.window(), pageRows, keys ? &*keys : nullptr);
            } catch (const KeyConflict& e) {
                throw RunRefused(conflictText(e));
            }
            std::string text = "Пробный прогон: база не изменена, файлы не записаны\n" +
                               summaryLines(result.summary, keyCountLines(result.byKeys));
            text +=
                "Скриншоты, которые попали бы в список bad_sreen.txt: " + std::to_string(names.names().size()) + "\n";
            // One line per name, an empty one for a row without a file name.
            for (const std::string& name : names.names())
                text += name + "\n";
            return Report{MessageIcon::Information, text};
        },
        Changes::Nothing);
}

namespace
{
using namespace cleanup;

// What the run needs before it changes anything: the files it will write, and the right to delete
// and update where it will. Statements that match no row try the rights and change nothing.
std::vector<std::string> missingForCleanup(db::Connection& c, const std::string& folder)
{
    std::vector<std::string> missing;
    const std::string probe = folder + ".tk_corvane-probe-" + std::to_string(sysfiles::processId());
    if (auto file = sysfiles::WrittenFile::open(probe, sysfiles::WrittenFile::Mode::CreateNew)) {
        file->close();
        sysfiles::removeFile(probe);
    } else {
        missing.push_back("нельзя создавать файлы в папке " + folder + ": " + systemErrorText(sysfiles::lastError()));
    }
    for (std::string_view name : {kReportName, kScreenshotListName}) {
        const std::string path = folder + std::string(name);
        if (const int err = sysfiles::overwriteError(path))
            missing.push_back("нельзя перезаписать " + path + ": " + systemErrorText(err));
    }
    std::set<std::string> tables;
    for (const OrphanPass& pass : kOrphanPasses)
        tables.insert(std::string(pass.table));
    for (const std::string& t : tables) {
        try {
            c.execute("delete from " + t + " where 1=0");
        } catch (const db::DbError& e) {
            if (e.sqlState != "42000")
                throw;
            missing.push_back("нет права удалять из " + t + ": " + e.what());
        }
    }
    for (const CodeColumn& col : authorshipColumns()) {
        if (col.column == "CODE")
            continue;
        try {
            c.execute("update " + std::string(col.table) + " set " + std::string(col.column) + "=" +
                      std::string(col.column) + " where 1=0");
        } catch (const db::DbError& e) {
            if (e.sqlState != "42000")
                throw;
            missing.push_back("нет права менять " + std::string(col.table) + "." + std::string(col.column) + ": " +
                              e.what());
        }
    }
    return missing;
}
} // namespace

RunOutcome Command5_Click(OperationRunner& runner, const std::string& folder, std::size_t pageRows,
                          TriggerPolicy triggers)
{
    return runner.run([&](db::Connection& c) {
        std::vector<std::string> missing;
        try {
            missing = missingForCleanup(c, folder);
        } catch (const std::exception& e) {
            throw NothingChanged("Чистка не начата: " + describeError(e));
        }
        if (!missing.empty()) {
            std::string text = "Чистка не начата: не хватает того, что ей нужно.";
            for (const std::string& m : missing)
                text += "\n- " + m;
            throw NothingChanged(text);
        }
        const KeyPlan plan = checkKeys(c, runner.window(), triggers);
        checkConflicts(c, runner.window(), plan, pageRows);
        std::optional<KeyActions> keys;
        if (!plan.reached.empty())
            keys.emplace(c, plan.reached);
        SentChanges sent(c, !runner.server().mysql);
        // Every row deleted and every value replaced is archived before the change is sent.
        const std::time_t started = std::time(nullptr);
        UndoArchive archive(c, sent, folder, started);
        ScreenshotList list(folder + std::string(kScreenshotListName),
                            folder + "cleanup-screenshots-" + fileStamp(started) + ".txt");
        // The files the run has written so far, named in whatever message ends it.
        const auto filesLines = [&] {
            std::string text;
            if (const auto undo = archive.path())
                text += "Архив для отмены изменений: " + *undo + "\n";
            if (const auto exact = list.exactPath())
                text += "Точный список скриншотов (UTF-8): " + *exact + "\n";
            if (list.onlyExact() > 0)
                text += "Имён, которые есть только в точном списке: " + std::to_string(list.onlyExact()) + "\n";
            return text;
        };
        CleanupResult result;
        try {
            // The site is blocked for the run (the window offers the cleanup only then, the command
            // line checks); with no trigger firing, only the run changes the site until it ends.
            result = runCleanupPasses(c, archive, list, runner.window(), pageRows, keys ? &*keys : nullptr, &runner,
                                      plan.triggers.empty() ? ParentReads::OncePerRun : ParentReads::EveryPass);
        } catch (const NothingChanged&) {
            throw;
        } catch (const std::exception& e) {
            throw ReportedFailure(
                describeError(e) + "\n\nОперация прервана. " +
                (archive.changed() ? "Выполненное до ошибки сохранено в базе." : "База не изменена.") + "\n" +
                filesLines() + (list.started() ? "Список скриншотов (неполный): " + list.path() + "\n" : ""));
        }
        archive.finish();

        // Failures after the passes cost the administrator neither the report nor the summary:
        // they become extra lines of the closing message.
        const std::vector<std::string> byKeys = keyCountLines(result.byKeys);
        Report done{MessageIcon::Information, closingMessage(result.summary, byKeys)};
        if (!plan.triggers.empty()) {
            std::string names;
            for (const Trigger& t : plan.triggers)
                names += (names.empty() ? "" : ", ") + triggerText(t);
            done.text += "На таблицах, которые меняла чистка, есть триггеры (" + names +
                         "): архив для отмены хранит только изменения самой чистки.\n";
        }
        done.text += filesLines();
        done.showWindow = true;
        const std::string listPath = list.path();
        if (result.listed > 0) {
            done.text += "Список скриншотов: " + listPath + "\n";
            done.view = Report::View{
                listPath,
                "Не удалось открыть список скриншотов в текстовом редакторе; он сохранён в файле " + listPath};
        } else {
            std::error_code ec;
            std::filesystem::remove(sysfiles::pathOf(listPath), ec);
            if (ec) {
                done.text += "Не удалось удалить пустой список скриншотов " + listPath + ": " +
                             systemErrorText(ec.value()) + "\n";
                done.filesFailed = true;
            }
        }
        const std::string reportPath = folder + std::string(kReportName);
        try {
            writeCp1251File(reportPath, reportText(regionalDateTime(std::time(nullptr)), result.summary, byKeys));
            done.text += "Отчёт: " + reportPath + "\n";
        } catch (const SystemError& e) {
            done.text += "Отчёт не записан: " + std::string(e.what()) + "\n";
            done.filesFailed = true;
        }
        if (!archive.changed())
            done.text += "База не изменена: удалять и заменять было нечего.\n";
        else if (const auto undo = archive.path())
            done.text += "Отменить чистку: " + runner.window().undoHint(*undo) + "\n";
        return done;
    });
}
