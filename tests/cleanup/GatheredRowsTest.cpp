// The rows a later pass takes are held as steps from one taken row to the next; they must come back
// exactly, in order and at their places, whatever the codes are: signed or unsigned, at either end
// of the 64 bits, close together or far apart, with long runs of kept rows between them.
#include "cleanup/PassEngine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

using cleanup::GatheredRows;

namespace
{
std::vector<std::pair<std::uint64_t, std::int64_t>> readBack(const GatheredRows& rows)
{
    std::vector<std::pair<std::uint64_t, std::int64_t>> out;
    GatheredRows::Reader reader(rows);
    std::uint64_t place = 0;
    std::int64_t code = 0;
    while (reader.next(place, code))
        out.emplace_back(place, code);
    return out;
}
} // namespace

TEST(GatheredRows, TakenRowsComeBackExactlyAtTheirPlaces)
{
    constexpr std::int64_t kTop = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kBottom = std::numeric_limits<std::int64_t>::min();
    std::mt19937_64 random(7);
    std::vector<std::pair<std::uint64_t, std::int64_t>> expected;
    GatheredRows rows;
    const auto take = [&](std::int64_t code) {
        expected.emplace_back(rows.examined(), code);
        rows.take(code);
    };
    // Signed codes from the bottom up, the first one taken at place 0.
    take(kBottom);
    take(kBottom + 1);
    rows.keep();
    take(-1);
    take(0);
    // A run of kept rows longer than two bytes of step.
    for (int i = 0; i < 300000; ++i)
        rows.keep();
    take(1);
    take(kTop);
    // As an unsigned column holds them: past 2^63, read back as the same 64 bits.
    take(static_cast<std::int64_t>(std::uint64_t{1} << 63));
    take(static_cast<std::int64_t>(std::numeric_limits<std::uint64_t>::max()));
    // A code below the one before it still comes back as it went in.
    take(5);
    std::int64_t code = 1000;
    for (int i = 0; i < 5000; ++i) {
        for (auto keep = random() % 4; keep > 0; --keep)
            rows.keep();
        code += static_cast<std::int64_t>(random() % (i % 2 ? 3 : 1u << 20)) + 1;
        take(code);
    }
    rows.keep();

    EXPECT_EQ(readBack(rows), expected);
    EXPECT_EQ(rows.examined(), expected.back().first + 2);
    // Nothing taken: nothing read back, the examined rows still counted.
    GatheredRows none;
    none.keep();
    none.keep();
    EXPECT_TRUE(readBack(none).empty());
    EXPECT_EQ(none.examined(), 2u);
}
