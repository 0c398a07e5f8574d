#include "ratings/RatingRecalc.h"

#include "ops/CodeColumns.h"
#include "ratings/RatingCoefficients.h"
#include "ratings/RecountPass.h"
#include "ratings/UserPass.h"

namespace
{
// Every column the recalculation reads or joins on as a record code.
const std::vector<CodeColumn> kRecountCodeColumns{
    {"tbl_link", "CODE"},       {"tbl_base", "CODE"},     {"tbl_persona", "CODE"},  {"tbl_user", "CODE"},
    {"tbl_stat", "LINKCODE"},   {"tbl_stat", "USERCODE"}, {"tbl_link", "BASECODE"}, {"tbl_link", "WHOADD"},
    {"tbl_votes", "BASECODE"},  {"tbl_base", "WHOADD"},   {"tbl_base", "WHOMODER"}, {"tbl_persona", "WHOADD"},
    {"tbl_cross2", "FIRSTCODE"}};
} // namespace

RunOutcome Command4_Click(OperationRunner& runner)
{
    return recalculateRatings(runner, RecountSizes{});
}

RunOutcome recalculateRatings(OperationRunner& runner, const RecountSizes& sizes)
{
    return runner.run([&](db::Connection& conn) {
        SiteWindow& window = runner.window();
        window.showTitle("Получаем размер рейтинг-балов");
        requireWholeNumberColumns(conn, kRecountCodeColumns);
        // Every weight is checked here, before the first counter is written.
        const RatingCoefficients coefficients = readRatingCoefficients(conn);
        conn.execute("SET SESSION max_heap_table_size=" + std::to_string(kGroupedInMemoryBytes));
        // The release vote sums of the third pass are the very sums a user's VOTES adds up.
        std::unique_ptr<GroupedSource> releaseVotes;
        bool votesWritten = false; // with the release downloads
        // The user statistics are grouped on a second session while the counters are recounted here.
        UserStatistics statistics(runner);
        for (std::size_t i = 0; i < kRecountPasses.size(); ++i) {
            const RecountPass& pass = kRecountPasses[i];
            const auto beside = [&] { statistics.prepareAt(i); };
            if (i != kReleaseDownloadsPass && i != kReleaseVotesPass) {
                runRecountPass(runner, conn, pass, sizes, beside);
                continue;
            }
            const std::string total = startRecountPass(runner, conn, pass, beside);
            if (i == kReleaseDownloadsPass) {
                // Where the release vote sums are grouped on the second session already, both counters
                // of a release are written there in one statement: each row once, not twice.
                const auto made = statistics.releaseVotes();
                db::Connection& here = made ? made->conn : conn;
                const std::unique_ptr<GroupedSource> downloads = groupRecountPass(runner, here, pass);
                std::vector<Counter> counters{{pass.column, *downloads}};
                if (made)
                    counters.push_back({kRecountPasses[kReleaseVotesPass].column, made->values});
                writeRecountPass(runner, here, pass, counters, total, sizes);
                votesWritten = made.has_value();
            } else if (votesWritten) {
                writeRecountPass(runner, conn, pass, {}, total, sizes);
            } else {
                statistics.meetReleaseVotesError();
                releaseVotes = groupRecountPass(runner, conn, pass);
                writeRecountPass(runner, conn, pass, {{pass.column, *releaseVotes}}, total, sizes);
            }
        }
        statistics.write(conn, coefficients, releaseVotes.get(), sizes);
        Report done{MessageIcon::Information, "Рейтинги пересчитаны"};
        done.showWindow = true;
        return done;
    });
}
