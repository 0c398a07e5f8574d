#include "ratings/CodeChunks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(CodeChunks, SelectionNamesExactlyTheRunsCodes)
{
    struct Case {
        const char* label;
        std::vector<std::int64_t> list;
        std::size_t first, last;
        std::string want;
    };
    const Case cases[] = {
        {"ascending run", {1, 2, 5, 9, 12}, 1, 4, " between 2 and 9"},
        {"one row", {7, 3}, 1, 2, " between 3 and 3"},
        // 5 lies between 2 and 9, in the run or in another one.
        {"another code in the range", {9, 5, 2, 12}, 0, 3, " between 2 and 9"},
        {"gap owned by another run", {9, 2, 5, 12}, 0, 2, " in (2,9)"},
        {"negative and zero codes", {-1, 4, 0, -3}, 0, 3, " between -1 and 4"},
        {"unsorted run, a negative code left out", {-1, 4, 0, -3}, 1, 4, " in (-3,0,4)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodeChunks(c.list).selection(c.first, c.last), c.want) << c.label;
}
