#pragma once
// Every user's activity statistics and rating, recomputed from the tables after the counter
// passes (the downloads of a user's links are the link counts the first pass has just written).
#include "common/SiteWindow.h"
#include "db/Connection.h"
#include "ratings/RatingCoefficients.h"

#include <string>

// The rating statement of one user: the server weighs the values the row holds when it runs.
std::string ratingStatement(const RatingCoefficients& k, const std::string& userCode);

// Resets the eight columns of tbl_user and recomputes them user by user in ascending CODE order,
// the caption showing "n/total - login - Обновляем рейтинг по пользователям" for every user.
void runUserPass(db::Connection& conn, SiteWindow& window, const RatingCoefficients& k);
