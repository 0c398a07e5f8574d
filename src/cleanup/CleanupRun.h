#pragma once
// The cleanup button: removes rows whose release, link, user or person no longer exists, hands the
// authorship of missing users to the first user, lists the screenshot files of deleted screenshot
// rows, writes report.txt and shows what was done.
#include "cleanup/CleanupChanges.h"
#include "cleanup/CleanupReport.h"
#include "cleanup/KeyActions.h"
#include "cleanup/ScreenshotList.h"
#include "db/Connection.h"
#include "db/KeyPages.h"
#include "ops/OperationRunner.h"

#include <cstdint>
#include <string>

namespace cleanup
{

struct CleanupResult {
    Summary summary;              // one line per pass, in run order (eighteen)
    std::uint64_t listed = 0;     // names handed to the screenshot list
    std::vector<KeyCount> byKeys; // rows the site's own keys removed or rewrote, per table
};

// The eighteen passes in their fixed order: they read the site on the connection and make every
// change through changes; a later pass sees the site as the changes of the earlier ones left it. The
// names of deleted screenshot rows go to names. Throws on the first error; what ran before stays done.
// Row lists are read pageRows rows at a time. Where keys is given, each change goes with what the
// site's keys do with it; a key that would refuse a change throws KeyConflict naming the pass. Where
// runner is given, batches stay within its rows per statement and wait for its replicas.
// ParentReads::OncePerRun reads each parent table once for the whole run: only where nothing else
// changes the site until the run ends.
enum class ParentReads { EveryPass, OncePerRun };
CleanupResult runCleanupPasses(db::Connection& c, CleanupChanges& changes, ScreenshotNames& names, SiteWindow& window,
                               std::size_t pageRows = db::kPageRows, KeyActions* keys = nullptr,
                               OperationRunner* runner = nullptr, ParentReads parents = ParentReads::EveryPass);

} // namespace cleanup

// What a cleanup does where triggers fire on the tables it changes: it refuses, asks the window
// (which names them), or runs with an archive of its own changes only.
enum class TriggerPolicy { Refuse, Ask, Allow };

// folder ends in exactly one '/'; report.txt, bad_sreen.txt and the undo archive of the run go there.
RunOutcome Command5_Click(OperationRunner& runner, const std::string& folder, std::size_t pageRows = db::kPageRows,
                          TriggerPolicy triggers = TriggerPolicy::Refuse);

// The same passes with nothing sent and nothing written; the progress shows in the caption as usual
// and the message gives the summary a real run would report now and the screenshot names it would
// list, or the refusal it would meet.
RunOutcome previewCleanup(OperationRunner& runner, std::size_t pageRows = db::kPageRows,
                          TriggerPolicy triggers = TriggerPolicy::Refuse);
