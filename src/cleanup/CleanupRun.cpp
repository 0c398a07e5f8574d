#include "cleanup/CleanupRun.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/AuthorshipPass.h"
#include "cleanup/OrphanPasses.h"
#include "cleanup/PassEngine.h"
#include "cleanup/SentChanges.h"
#include "cleanup/UndoArchive.h"
#include "common/TextFile.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <system_error>
#include <unistd.h>

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
                               std::size_t pageRows)
{
    requireWholeNumberColumns(c, cleanupCodeColumns());
    PassContext run{c, changes, names, window, pageRows};
    CleanupResult result;
    for (const OrphanPass& pass : kOrphanPasses) {
        const PassOutcome outcome = runOrphanPass(run, pass);
        result.summary.push_back({pass.summaryLabel, outcome.affected});
        result.listed += outcome.listed;
    }
    result.summary.push_back({kAuthorshipLabel, runAuthorshipPass(run)});
    return result;
}

namespace
{
// Changes that go nowhere: the run only looks.
class NoChanges : public CleanupChanges
{
  public:
    void deleteRows(std::string_view, CodeList) override {}
    void replaceAuthor(std::string_view, std::string_view, CodeList, const std::string&) override {}
};
} // namespace

} // namespace cleanup

RunOutcome previewCleanup(OperationRunner& runner, std::size_t pageRows)
{
    using namespace cleanup;
    return runner.run(
        [&](db::Connection& c) {
            NoChanges nothing;
            CollectedScreenshotNames names;
            const CleanupResult result = runCleanupPasses(c, nothing, names, runner.window(), pageRows);
            std::string text = "Пробный прогон: база не изменена, файлы не записаны\n" + summaryLines(result.summary);
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
    const std::string probe = folder + ".tk_corvane-probe-" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        missing.push_back("нельзя создавать файлы в папке " + folder + ": " + systemErrorText(errno));
    else
        ::close(fd), ::unlink(probe.c_str());
    for (std::string_view name : {kReportName, kScreenshotListName}) {
        const std::string path = folder + std::string(name);
        const int f = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (f >= 0)
            ::close(f);
        else if (errno != ENOENT)
            missing.push_back("нельзя перезаписать " + path + ": " + systemErrorText(errno));
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

RunOutcome Command5_Click(OperationRunner& runner, const std::string& folder, std::size_t pageRows)
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
        SentChanges sent(c);
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
            result = runCleanupPasses(c, archive, list, runner.window(), pageRows);
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
        Report done{MessageIcon::Information, closingMessage(result.summary) + filesLines()};
        done.showWindow = true;
        const std::string listPath = list.path();
        if (result.listed > 0) {
            done.text += "Список скриншотов: " + listPath + "\n";
            done.view = Report::View{
                listPath,
                "Не удалось открыть список скриншотов в текстовом редакторе; он сохранён в файле " + listPath};
        } else {
            std::error_code ec;
            std::filesystem::remove(listPath, ec);
            if (ec) {
                done.text += "Не удалось удалить пустой список скриншотов " + listPath + ": " +
                             systemErrorText(ec.value()) + "\n";
                done.filesFailed = true;
            }
        }
        const std::string reportPath = folder + std::string(kReportName);
        try {
            writeCp1251File(reportPath, reportText(regionalDateTime(std::time(nullptr)), result.summary));
            done.text += "Отчёт: " + reportPath + "\n";
        } catch (const SystemError& e) {
            done.text += "Отчёт не записан: " + std::string(e.what()) + "\n";
            done.filesFailed = true;
        }
        if (!archive.changed())
            done.text += "База не изменена: удалять и заменять было нечего.\n";
        return done;
    });
}
