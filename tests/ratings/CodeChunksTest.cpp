#include "ratings/CodeChunks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
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

TEST(CodeChunks, RunLengthFollowsTheStatementTarget)
{
    using namespace std::chrono_literals;
    std::vector<std::int64_t> codes(40000);
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = static_cast<std::int64_t>(i) + 1;
    const CodeChunks list(codes);
    struct Case {
        const char* label;
        Chunking chunking;
        std::chrono::milliseconds workTakes;
        std::vector<std::size_t> wantFirstRuns;
    };
    const Case cases[] = {
        {"no target: fixed runs", Chunking{1000}, 0ms, {1000, 1000, 1000}},
        {"fast statements: runs double", Chunking{1000, 40ms}, 0ms, {1000, 2000, 4000}},
        {"slow statements: runs halve", Chunking{1000, 4ms}, 20ms, {1000, 500, 250}},
        {"near target: runs stay", Chunking{1000, 30ms}, 25ms, {1000, 1000, 1000}},
    };
    for (const Case& c : cases) {
        std::vector<std::size_t> runs;
        std::size_t handed = 0;
        list.walk(
            c.chunking,
            [&](const std::string& selection) {
                const auto from = std::stoll(selection.substr(9));
                const auto to = std::stoll(selection.substr(selection.rfind(' ') + 1));
                runs.push_back(static_cast<std::size_t>(to - from + 1));
                // Only the first runs are timed; the rest go fast so the walk ends soon.
                if (runs.size() <= 3)
                    std::this_thread::sleep_for(c.workTakes);
            },
            [&](std::size_t row) { EXPECT_EQ(row, handed++) << c.label; });
        EXPECT_EQ(handed, codes.size()) << c.label << ": every row handed on once, in order";
        ASSERT_GE(runs.size(), 3u) << c.label;
        EXPECT_EQ(std::vector<std::size_t>(runs.begin(), runs.begin() + 3), c.wantFirstRuns) << c.label;
    }
}
