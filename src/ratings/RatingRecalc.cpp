#include "ratings/RatingRecalc.h"

#include "ratings/RatingCoefficients.h"
#include "ratings/RecountPass.h"
#include "ratings/UserPass.h"

RunOutcome Command4_Click(OperationRunner& runner)
{
    return recalculateRatings(runner, Chunking{kChunkRows, kStatementTarget});
}

RunOutcome recalculateRatings(OperationRunner& runner, Chunking chunking)
{
    return runner.run([&](db::Connection& conn) {
        SiteWindow& window = runner.window();
        window.showProgress("Получаем размер рейтинг-балов");
        // Every weight is checked here, before the first counter is reset.
        const RatingCoefficients coefficients = readRatingCoefficients(conn);
        for (const RecountPass& pass : kRecountPasses)
            runRecountPass(conn, window, pass, chunking);
        runUserPass(conn, window, coefficients, chunking);
        Report done{MessageIcon::Information, "Рейтинги пересчитаны"};
        done.showWindow = true;
        return done;
    });
}
