#include "cleanup/CleanupRun.h"

#include "cleanup/AuthorshipPass.h"
#include "cleanup/CleanupReport.h"
#include "cleanup/OrphanPasses.h"
#include "cleanup/PassEngine.h"
#include "cleanup/ScreenshotList.h"
#include "cleanup/SentChanges.h"
#include "common/TextFile.h"

#include <ctime>
#include <filesystem>
#include <system_error>

namespace cleanup
{

CleanupResult runCleanupPasses(db::Connection& c, CleanupChanges& changes, SiteWindow& window,
                               const std::string& appFolder)
{
    PassContext run{c, changes, window};
    CleanupResult result;
    for (const OrphanPass& pass : kOrphanPasses) {
        const PassOutcome outcome = runOrphanPass(run, pass, appFolder);
        result.affected.push_back(outcome.affected);
        result.summary += summaryLine(pass.summaryLabel, outcome.affected);
        result.listed += outcome.listed;
    }
    const std::uint64_t replaced = runAuthorshipPass(run);
    result.affected.push_back(replaced);
    result.summary += summaryLine(kAuthorshipLabel, replaced);
    return result;
}

} // namespace cleanup

RunOutcome Command5_Click(OperationRunner& runner, const std::string& appFolder)
{
    using namespace cleanup;
    return runner.run([&](db::Connection& c) {
        SiteWindow& window = runner.window();
        // Nothing has touched the caption yet: the runner opened the connection without yielding.
        const std::string savedCaption = window.caption();
        SentChanges changes(c);
        const CleanupResult result = runCleanupPasses(c, changes, window, appFolder);
        c.close();
        window.setCaption(savedCaption);

        // Failures after the passes cost the administrator neither the report nor the summary:
        // they become extra lines of the closing message.
        std::string notes;
        const std::string listPath = appFolder + std::string(kScreenshotListName);
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
