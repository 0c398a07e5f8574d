#pragma once
// Every user's activity statistics and rating, recomputed from the tables after the counter
// passes (the downloads of a user's links are the link counts the first pass has just written).
#include "db/Connection.h"
#include "ops/OperationRunner.h"
#include "ratings/RatingCoefficients.h"
#include "ratings/RecountPass.h"

#include <cstddef>
#include <string>

// The rating statement for the users a selection names (see CodeRuns): the server weighs the
// values each row holds when it runs.
std::string ratingStatement(const RatingCoefficients& k, const std::string& selection);

// Resets the eight columns of tbl_user and recomputes them in runs of users in ascending
// CODE order, the caption showing "n/total - login - Обновляем рейтинг по пользователям" for every
// user once the user's run is written.
// releaseVotes: the release vote sums of the third pass in a temporary table, or nullptr; each user's
// VOTES then adds up that user's rows of it instead of grouping the votes again.
void runUserPass(OperationRunner& runner, db::Connection& conn, const RatingCoefficients& k,
                 const GroupedSource* releaseVotes, const RecountSizes& sizes);
