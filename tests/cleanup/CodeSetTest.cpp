// The set every pass asks once or twice per row read: the answer must be the same whether the codes
// lie close together (held as bits) or far apart (searched), for signed and unsigned codes alike,
// and stay right as the run adds removed rows and takes them out of a parent set.
#include "cleanup/CodeSet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <vector>

using cleanup::CodeList;
using cleanup::CodeSet;

namespace
{
// The codes in the set's own order, to compare against.
struct Reference {
    bool isUnsigned;
    std::set<std::uint64_t> unsignedCodes;
    std::set<std::int64_t> signedCodes;

    void add(std::int64_t c)
    {
        if (isUnsigned)
            unsignedCodes.insert(static_cast<std::uint64_t>(c));
        else
            signedCodes.insert(c);
    }
    void remove(std::int64_t c)
    {
        if (isUnsigned)
            unsignedCodes.erase(static_cast<std::uint64_t>(c));
        else
            signedCodes.erase(c);
    }
    // A value of the other kind is the number it is: a negative never matches an unsigned code,
    // nor an unsigned one past 2^63 a signed code.
    bool contains(std::int64_t value, bool valueUnsigned) const
    {
        if (valueUnsigned != isUnsigned && value < 0)
            return false;
        return isUnsigned ? unsignedCodes.count(static_cast<std::uint64_t>(value)) > 0 : signedCodes.count(value) > 0;
    }
};

void expectSame(const CodeSet& set, const Reference& ref, const std::vector<std::int64_t>& probes)
{
    for (std::int64_t p : probes)
        for (bool kind : {false, true})
            ASSERT_EQ(set.contains(p, kind), ref.contains(p, kind)) << p << (kind ? " unsigned" : " signed");
}
} // namespace

TEST(CodeSet, CloseAndFarApartCodesAnswerAlikeThroughInsertsAndErases)
{
    constexpr std::int64_t kTop = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kBottom = std::numeric_limits<std::int64_t>::min();
    struct Case {
        const char* label;
        bool isUnsigned;
        std::int64_t from, span; // codes drawn from [from, from + span)
    };
    const Case cases[] = {
        {"dense from 1", false, 1, 5000},
        {"dense around 0, negatives", false, -2500, 5000},
        {"dense at the top of the signed range", false, kTop - 4999, 5000},
        {"dense unsigned across 2^63", true, kTop - 2499, 5000},
        {"dense unsigned at the bottom", true, 0, 5000},
        {"sparse", false, -1000000000, 2000000000},
        {"sparse unsigned past 2^63", true, kBottom, 2000000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::mt19937_64 rng(42);
        const auto draw = [&] { return static_cast<std::int64_t>(static_cast<std::uint64_t>(c.from) + rng() % c.span); };
        std::vector<std::int64_t> codes;
        Reference ref{c.isUnsigned, {}, {}};
        for (int i = 0; i < 3000; ++i) {
            codes.push_back(draw());
            ref.add(codes.back());
        }
        // Probes: every code, its neighbours, the ends of both ranges and values around the set.
        std::vector<std::int64_t> probes{0, -1, 1, kTop, kBottom, kTop - 1, kBottom + 1};
        for (std::int64_t code : codes)
            for (std::int64_t d : {-1, 0, 1})
                probes.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(code) + d));
        for (int i = 0; i < 2000; ++i)
            probes.push_back(draw());

        CodeSet set(codes, c.isUnsigned);
        EXPECT_EQ(set.size(), c.isUnsigned ? ref.unsignedCodes.size() : ref.signedCodes.size());
        expectSame(set, ref, probes);

        // Rows removed batch by batch, some beyond the present ends, some already there.
        for (int batch = 0; batch < 5; ++batch) {
            std::vector<std::int64_t> more;
            for (int i = 0; i < 300; ++i)
                more.push_back(draw());
            more.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(c.from) - 7 - batch));
            more.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(c.from) + c.span + batch));
            for (std::int64_t m : more) {
                ref.add(m);
                probes.push_back(m);
            }
            set.insert(CodeList{more, c.isUnsigned});
            expectSame(set, ref, probes);
        }

        // A parent set less the rows the run removed.
        std::vector<std::int64_t> gone(codes.begin(), codes.begin() + 1500);
        gone.push_back(probes.back());
        for (std::int64_t g : gone)
            ref.remove(g);
        set.erase(CodeSet(gone, c.isUnsigned));
        expectSame(set, ref, probes);
        const auto smallest = c.isUnsigned ? static_cast<std::int64_t>(*ref.unsignedCodes.begin()) : *ref.signedCodes.begin();
        EXPECT_EQ(set.smallest().bits, smallest);
    }
    // A table's codes read page by page in order, then thinned out from both ends and the middle
    // until only two far-apart codes are left: the ends and the answers follow every step.
    for (bool isUnsigned : {false, true}) {
        SCOPED_TRACE(isUnsigned ? "pages, unsigned" : "pages, signed");
        const std::int64_t from = isUnsigned ? kTop - 20000 : -20000;
        CodeSet set;
        Reference ref{isUnsigned, {}, {}};
        std::vector<std::int64_t> all, probes;
        for (int page = 0; page < 8; ++page) {
            std::vector<std::int64_t> codes;
            for (int i = 0; i < 5000; ++i)
                if (i % 7 != 3) // holes, as deleted rows leave them
                    codes.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(from) + page * 5000 + i));
            set.insert(CodeList{codes, isUnsigned});
            for (std::int64_t c : codes)
                ref.add(c), all.push_back(c);
        }
        for (std::int64_t c : all)
            for (std::int64_t d : {-1, 0, 1})
                probes.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(c) + d));
        expectSame(set, ref, probes);
        while (all.size() > 2) {
            std::vector<std::int64_t> gone{all.front(), all.back(), all[all.size() / 2]};
            for (std::size_t i = 1; i + 1 < all.size() && gone.size() < all.size() / 3; i += 2)
                gone.push_back(all[i]);
            const std::set<std::int64_t> goneSet(gone.begin(), gone.end());
            std::erase_if(all, [&](std::int64_t c) { return goneSet.count(c) > 0; });
            if (all.size() < 2)
                break;
            for (std::int64_t g : gone)
                ref.remove(g);
            set.erase(CodeSet(gone, isUnsigned));
            ASSERT_EQ(set.size(), all.size());
            EXPECT_EQ(set.smallest().bits, all.front());
            expectSame(set, ref, probes);
        }
    }
    // An empty set holds nothing of either kind.
    const CodeSet none;
    EXPECT_FALSE(none.contains(0, false));
    EXPECT_FALSE(none.contains(-1, true));
}
