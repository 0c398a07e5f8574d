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
        {"whole list", {3, 1, 2}, 0, 3, " between 1 and 3"},
        {"one row", {7, 3}, 1, 2, " between 3 and 3"},
        // 5 lies between 2 and 9 but belongs to another run.
        {"scattered run", {9, 5, 2, 12}, 0, 1, " between 9 and 9"},
        {"another code in the range", {9, 5, 2, 12}, 0, 3, " between 2 and 9"},
        {"gap owned by another run", {9, 2, 5, 12}, 0, 2, " in (2,9)"},
        {"negative and zero codes", {-1, 4, 0, -3}, 0, 3, " between -1 and 4"},
        {"negative code left out", {-1, 4, 0, -3}, 1, 4, " in (-3,0,4)"},
        {"unsorted within the run", {40, 10, 30, 20, 25}, 1, 4, " in (10,20,30)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodeChunks(c.list).selection(c.first, c.last), c.want) << c.label;
}

TEST(CodeChunks, WalkDoesEachRunBeforeItsRows)
{
    struct Case {
        std::size_t rows, chunk;
        std::string want;
    };
    // W: a run's work, then the positions of its rows.
    const Case cases[] = {{0, 3, ""}, {1, 3, "W0"}, {6, 3, "W012W345"}, {7, 3, "W012W345W6"}, {4, 1, "W0W1W2W3"}};
    for (const Case& c : cases) {
        std::vector<std::int64_t> codes;
        for (std::size_t i = 0; i < c.rows; ++i)
            codes.push_back(static_cast<std::int64_t>(i) * 10);
        std::string trace;
        CodeChunks(codes).walk(
            c.chunk, [&](const std::string&) { trace += 'W'; }, [&](std::size_t row) { trace += std::to_string(row); });
        EXPECT_EQ(trace, c.want) << c.rows << " rows, runs of " << c.chunk;
    }
}
