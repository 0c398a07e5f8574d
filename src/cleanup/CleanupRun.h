#pragma once
// The cleanup button: removes rows whose release, link, user or person no longer exists, hands the
// authorship of missing users to the first user, lists the screenshot files of deleted screenshot
// rows, writes report.txt and shows what was done.
#include "cleanup/CleanupChanges.h"
#include "cleanup/ScreenshotList.h"
#include "common/SiteWindow.h"
#include "db/Connection.h"
#include "db/OperationRunner.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cleanup
{

struct CleanupResult {
    std::vector<std::uint64_t> affected; // one number per pass, in run order (eighteen)
    std::string summary;                 // one line per pass, each ended by a bare carriage return
    std::uint64_t listed = 0;            // lines written to the screenshot list
};

// The eighteen passes in their fixed order: they read the site on the connection and make every
// change through changes; a later pass sees the site as the changes of the earlier ones left it. The
// names of deleted screenshot rows go to names. Throws on the first error; what ran before stays done.
CleanupResult runCleanupPasses(db::Connection& c, CleanupChanges& changes, ScreenshotNames& names, SiteWindow& window);

// What a cleanup would do now, without changing the site or writing any file.
struct CleanupPreview {
    std::string summary;                      // the eighteen summary lines a real run would report
    std::vector<std::string> screenshotNames; // the names it would list, in order
};

} // namespace cleanup

// appFolder is the executable's folder ending in exactly one '/'; report.txt, bad_sreen.txt and the
// undo archive of the run go there.
RunOutcome Command5_Click(OperationRunner& runner, const std::string& appFolder);

// The same passes with nothing sent and nothing written; the progress shows in the caption as usual.
RunOutcome previewCleanup(OperationRunner& runner, cleanup::CleanupPreview& preview);
