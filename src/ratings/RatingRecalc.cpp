#include "ratings/RatingRecalc.h"

#include "ratings/CodeChunks.h"
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
        // Nothing has touched the caption since the button was pressed.
        const std::string savedCaption = window.caption();
        showProgress(window, "Получаем размер рейтинг-балов");
        // Every weight is checked here, before the first counter is reset.
        const RatingCoefficients coefficients = readRatingCoefficients(conn);
        for (const RecountPass& pass : kRecountPasses)
            runRecountPass(conn, window, pass, chunking);
        runUserPass(conn, window, coefficients, chunking);
        conn.close();
        window.setCaption(savedCaption);
        window.showWindow();
        window.showMessage(MessageIcon::Information, "Рейтинги пересчитаны");
    });
}
