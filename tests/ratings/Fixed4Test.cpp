#include "ratings/Fixed4.h"
#include "ratings/RatingCoefficients.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Fixed4, ReadsServerNumbersAndWritesThemBackPlain)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {{"0", "0"},           {"12", "12"},          {"-2", "-2"},
                          {"5.0000", "5"},      {"0.5", "0.5"},        {"-0.25", "-0.25"},
                          {"0.0001", "0.0001"}, {"1.23456", "1.2346"}, {"-1.23455", "-1.2346"},
                          {"2.99999", "3"},     {"+7", "7"},           {"922337203685477", "922337203685477"}};
    for (const Case& c : cases)
        EXPECT_EQ(Fixed4::parse(c.in).toString(), c.out) << c.in;

    for (const char* bad : {"", "-", ".", "1,5", "1.", "1e3", " 1", "abc", "1-"})
        EXPECT_THROW(Fixed4::parse(bad), std::invalid_argument) << "'" << bad << "'";
    EXPECT_THROW(Fixed4::parse("922337203685478"), std::overflow_error);

    Fixed4 sum = Fixed4::parse("-2");
    sum += Fixed4::parse("5");
    EXPECT_EQ(sum.toString(), "3");
    Fixed4 big = Fixed4::parse("900000000000000");
    EXPECT_THROW(big += Fixed4::parse("100000000000000"), std::overflow_error);
}

TEST(RatingCoefficients, OnlyPlainDecimalsMayEnterTheRatingStatement)
{
    for (const char* ok : {"2", "0.5", "-1", "+3", "10.25", "0"})
        EXPECT_TRUE(isPlainDecimal(ok)) << ok;
    for (const char* bad : {"", "0,5", ".5", "1.", "--1", "1e2", " 2", "2 ", "1)+(CODE", "1 where CODE=0", "-"})
        EXPECT_FALSE(isPlainDecimal(bad)) << "'" << bad << "'";
}
