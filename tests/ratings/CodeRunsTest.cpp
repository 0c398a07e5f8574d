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
    const Case cases[] = {
        {"no target: fixed runs", Chunking{1000}, 0ms, {" between -5 and 994", " between 995 and 1994"}},
        {"fast statements: runs double", Chunking{1000, 40ms}, 0ms, {" between -5 and 994", " between 995 and 2994"}},
        {"slow statements: runs halve", Chunking{1000, 4ms}, 20ms, {" between -5 and 994", " between 995 and 1494"}},
        {"near target: runs stay", Chunking{1000, 30ms}, 25ms, {" between -5 and 994", " between 995 and 1994"}},
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
