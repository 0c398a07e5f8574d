#pragma once
// The five rating weights the site keeps in tbl_conf. They stay text: the rating statement
// carries them as they are and the server evaluates them.
#include "db/Connection.h"

#include <stdexcept>
#include <string>
#include <string_view>

struct RatingCoefficients {
    std::string down;     // RAT_DOWN: per download of the user's links, and taken off per download made
    std::string votes;    // RAT_VOTES
    std::string links;    // RAT_LINKS
    std::string persona;  // RAT_PERSONA
    std::string altLinks; // RAT_ALTLINKS
};

// A weight that cannot go into the rating statement. Raised before any counter is reset.
struct CoefficientError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// True for the text of a plain decimal number: an optional sign, digits, and optionally '.' and
// more digits ("2", "0.5", "-1"). Nothing else may be pasted into the rating statement.
bool isPlainDecimal(std::string_view text);

// Reads RAT_DOWN, RAT_VOTES, RAT_LINKS, RAT_PERSONA and RAT_ALTLINKS in that order. A NULL
// VALUESTR takes the text of VALUEINT, which is written back to VALUESTR at once; an empty
// VALUESTR counts as "0" (in memory only). Throws CoefficientError naming the parameter when its
// row is missing, both values are NULL or the text is not a plain decimal number.
RatingCoefficients readRatingCoefficients(db::Connection& conn);
