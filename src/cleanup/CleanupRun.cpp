#include "cleanup/CleanupRun.h"

#include "cleanup/AuthorshipPass.h"
#include "cleanup/CleanupReport.h"
#include "cleanup/OrphanPasses.h"
#include "cleanup/PassEngine.h"
#include "cleanup/ScreenshotList.h"
#include "cleanup/SentChanges.h"
#include "cleanup/UndoArchive.h"
#include "common/TextFile.h"

#include <ctime>
#include <filesystem>
#include <system_error>

namespace cleanup
{

CleanupResult runCleanupPasses(db::Connection& c, CleanupChanges& changes, ScreenshotNames& names, SiteWindow& window)
{
    PassContext run{c, changes, names, window};
    CleanupResult result;
    for (const OrphanPass& pass : kOrphanPasses) {
        const PassOutcome outcome = runOrphanPass(run, pass);
        result.affected.push_back(outcome.affected);
        result.summary += summaryLine(pass.summaryLabel, outcome.affected);
        result.listed += outcome.listed;
    }
    const std::uint64_t replaced = runAuthorshipPass(run);
    result.affected.push_back(replaced);
    result.summary += summaryLine(kAuthorshipLabel, replaced);
    return result;
}

namespace
{
// Changes that go nowhere: the run only looks.
class NoChanges : public CleanupChanges
{
  public:
    void deleteRows(std::string_view, std::span<const std::int64_t>) override {}
    void replaceAuthor(std::string_view, std::string_view, std::span<const std::int64_t>, std::int64_t) override {}
};
} // namespace

} // namespace cleanup

RunOutcome previewCleanup(OperationRunner& runner, cleanup::CleanupPreview& preview)
{
    using namespace cleanup;
    return runner.run([&](db::Connection& c) {
        SiteWindow& window = runner.window();
        const std::string savedCaption = window.caption();
        NoChanges nothing;
        CollectedScreenshotNames names;
        preview.summary = runCleanupPasses(c, nothing, names, window).summary;
        preview.screenshotNames = names.names();
        c.close();
        window.setCaption(savedCaption);
    });
}

RunOutcome Command5_Click(OperationRunner& runner, const std::string& appFolder)
{
    using namespace cleanup;
    return runner.run([&](db::Connection& c) {
        SiteWindow& window = runner.window();
        // Nothing has touched the caption yet: the runner opened the connection without yielding.
        const std::string savedCaption = window.caption();
        SentChanges sent(c);
        // Every row deleted and every value replaced is archived before the change is sent.
        UndoArchive archive(c, sent, appFolder, std::time(nullptr));
        ScreenshotList list(appFolder + std::string(kScreenshotListName));
        const CleanupResult result = runCleanupPasses(c, archive, list, window);
        c.close();
        window.setCaption(savedCaption);

        // Failures after the passes cost the administrator neither the report nor the summary:
        // they become extra lines of the closing message.
        std::string notes;
        if (const auto undo = archive.path())
            notes += "Архив для отмены изменений: " + *undo + "\n";
        const std::string listPath = list.path();
        if (result.listed > 0) {
            if (!window.openInTextViewer(listPath))
                notes += "Не удалось открыть список скриншотов в текстовом редакторе; он сохранён в файле " + listPath +
                         "\n";
        } else {
            std::error_code ec;
            std::filesystem::remove(listPath, ec);
            if (ec)
                notes += "Не удалось удалить пустой список скриншотов " + listPath + ": " + ec.message() + "\n";
        }
        window.showWindow();

        try {
            writeCp1251File(appFolder + std::string(kReportName),
                            reportText(regionalDateTime(std::time(nullptr)), result.summary));
        } catch (const SystemError& e) {
            notes += "Отчёт не записан: " + std::string(e.what()) + "\n";
        }
        window.showMessage(MessageIcon::Information, closingMessage(result.summary) + notes);
    });
}
