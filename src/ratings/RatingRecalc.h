#pragma once
// "Пересчитать рейтинги": the rating weights are read, the four counters recounted, and every
// user's statistics and rating recomputed, on a connection of the operation's own and, where the
// server gives one, a second session beside it.
#include "ops/OperationRunner.h"
#include "ratings/RecountPass.h"

// Runs the whole recalculation through the runner: an error ends the operation (connection
// closed, caption put back, one critical box); what already ran stays done. At its successful
// end the caption is put back, the window shown and "Рейтинги пересчитаны" reported.
RunOutcome Command4_Click(OperationRunner& runner);

// The same with the given rows per set-based statement and per page of a row list.
RunOutcome recalculateRatings(OperationRunner& runner, const RecountSizes& sizes);
