#include "ratings/RatingRecalc.h"

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
        // Every weight is checked here, before the first counter is reset.
        const RatingCoefficients coefficients = readRatingCoefficients(conn);
        for (const RecountPass& pass : kRecountPasses)
            runRecountPass(conn, window, pass, sizes);
        runUserPass(conn, window, coefficients, sizes);
        Report done{MessageIcon::Information, "Рейтинги пересчитаны"};
        done.showWindow = true;
        return done;
    });
}
