#include "ratings/RatingCoefficients.h"

#include <gtest/gtest.h>

TEST(RatingCoefficients, OnlyPlainDecimalsMayEnterTheRatingStatement)
{
    for (const char* ok : {"2", "0.5", "-1", "+3", "10.25", "0"})
        EXPECT_TRUE(isPlainDecimal(ok)) << ok;
    for (const char* bad : {"", "0,5", ".5", "1.", "--1", "1e2", " 2", "2 ", "1)+(CODE", "1 where CODE=0", "-"})
        EXPECT_FALSE(isPlainDecimal(bad)) << "'" << bad << "'";
}
