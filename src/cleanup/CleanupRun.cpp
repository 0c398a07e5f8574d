#include "cleanup/CleanupRun.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/AuthorshipPass.h"
#include "cleanup/OrphanPasses.h"
#include "cleanup/PassEngine.h"
#include "cleanup/SentChanges.h"
#include "cleanup/UndoArchive.h"
#include "common/TextFile.h"

#include <ctime>
#include <filesystem>
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

CleanupResult runCleanupPasses(db::Connection& c, CleanupChanges& changes, ScreenshotNames& names, SiteWindow& window)
{
    requireWholeNumberColumns(c, cleanupCodeColumns());
    PassContext run{c, changes, names, window};
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

RunOutcome previewCleanup(OperationRunner& runner)
{
    using namespace cleanup;
    return runner.run(
        [&](db::Connection& c) {
            NoChanges nothing;
            CollectedScreenshotNames names;
            const CleanupResult result = runCleanupPasses(c, nothing, names, runner.window());
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

RunOutcome Command5_Click(OperationRunner& runner, const std::string& folder)
{
    using namespace cleanup;
    return runner.run([&](db::Connection& c) {
        SentChanges sent(c);
        // Every row deleted and every value replaced is archived before the change is sent.
        const std::time_t started = std::time(nullptr);
        UndoArchive archive(c, sent, folder, started);
        ScreenshotList list(folder + std::string(kScreenshotListName),
                            folder + "cleanup-screenshots-" + fileStamp(started) + ".txt");
        const CleanupResult result = runCleanupPasses(c, archive, list, runner.window());
        archive.finish();

        // Failures after the passes cost the administrator neither the report nor the summary:
        // they become extra lines of the closing message.
        Report done{MessageIcon::Information, closingMessage(result.summary)};
        done.showWindow = true;
        if (const auto undo = archive.path())
            done.text += "Архив для отмены изменений: " + *undo + "\n";
        // Every file the run wrote is named with its full path.
        const std::string listPath = list.path();
        if (const auto exact = list.exactPath())
            done.text += "Точный список скриншотов (UTF-8): " + *exact + "\n";
        if (list.onlyExact() > 0)
            done.text += "Имён, которые есть только в точном списке: " + std::to_string(list.onlyExact()) + "\n";
        if (result.listed > 0) {
            done.text += "Список скриншотов: " + listPath + "\n";
            done.view = Report::View{
                listPath,
                "Не удалось открыть список скриншотов в текстовом редакторе; он сохранён в файле " + listPath};
        } else {
            std::error_code ec;
            std::filesystem::remove(listPath, ec);
            if (ec)
                done.text += "Не удалось удалить пустой список скриншотов " + listPath + ": " + ec.message() + "\n";
        }
        const std::string reportPath = folder + std::string(kReportName);
        try {
            writeCp1251File(reportPath, reportText(regionalDateTime(std::time(nullptr)), result.summary));
            done.text += "Отчёт: " + reportPath + "\n";
        } catch (const SystemError& e) {
            done.text += "Отчёт не записан: " + std::string(e.what()) + "\n";
        }
        return done;
    });
}
