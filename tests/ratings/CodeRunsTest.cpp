#include "ratings/CodeRuns.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

TEST(CodeRuns, RunsNameTheirFirstAndLastCodeAndFollowTheStatementTarget)
{
    using namespace std::chrono_literals;
    struct Case {
        const char* label;
        Chunking chunking;
        std::chrono::milliseconds workTakes;
        std::vector<std::string> wantFirstRuns;
    };
    // The walk times its own work: a run far slower than its target halves the next one, whatever the
    // machine's load (the judgement itself is checked with exact times below).
    const Case cases[] = {
        {"no target: fixed runs", Chunking{1000}, 0ms, {" between -5 and 994", " between 995 and 1994"}},
        {"slow statements: runs halve", Chunking{1000, 1ms}, 30ms, {" between -5 and 994", " between 995 and 1494"}},
    };
    for (const Case& c : cases) {
        RunLength length(c.chunking);
        std::vector<std::string> runs;
        std::size_t handed = 0;
        walkRuns(
            40000, [](std::size_t i) { return std::to_string(static_cast<long long>(i) - 5); }, length,
            [&](const std::string& selection) {
                runs.push_back(selection);
                if (runs.size() <= 2)
                    std::this_thread::sleep_for(c.workTakes);
            },
            [&](std::size_t row) { EXPECT_EQ(row, handed++) << c.label; });
        EXPECT_EQ(handed, 40000u) << c.label << ": every row handed on once, in order";
        ASSERT_GE(runs.size(), 2u) << c.label;
        EXPECT_EQ(std::vector<std::string>(runs.begin(), runs.begin() + 2), c.wantFirstRuns) << c.label;
    }
}

TEST(CodeRuns, RunLengthDoublesHalvesOrStaysByTheTimeARunTook)
{
    using namespace std::chrono_literals;
    struct Case {
        const char* label;
        Chunking chunking;
        std::size_t most;
        std::chrono::milliseconds took;
        std::size_t want;
    };
    const Case cases[] = {
        {"under half the target: doubles", Chunking{1000, 40ms}, kMaxChunkRows, 19ms, 2000},
        {"within half to twice the target: stays", Chunking{1000, 30ms}, kMaxChunkRows, 15ms, 1000},
        {"twice the target: stays", Chunking{1000, 30ms}, kMaxChunkRows, 60ms, 1000},
        {"over twice the target: halves", Chunking{1000, 4ms}, kMaxChunkRows, 9ms, 500},
        {"never past the most", Chunking{1000, 40ms}, 1500, 1ms, 1500},
        {"no target: fixed", Chunking{1000}, kMaxChunkRows, 1000ms, 1000},
    };
    for (const Case& c : cases) {
        RunLength length(c.chunking, c.most);
        length.took(c.took);
        EXPECT_EQ(length.rows(), c.want) << c.label;
    }
    RunLength one(Chunking{1, 1ms});
    one.took(1s);
    EXPECT_EQ(one.rows(), 1u) << "never below one row";
}
