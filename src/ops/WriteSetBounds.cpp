#include "ops/WriteSetBounds.h"

#include <algorithm>
#include <limits>

std::size_t rowsPerTransaction(const ServerFacts& facts, std::size_t wanted)
{
    std::uint64_t bound = std::numeric_limits<std::uint64_t>::max();
    if (facts.maxWriteSetRows > 0)
        bound = facts.maxWriteSetRows;
    if (facts.maxWriteSetBytes > 0)
        bound = std::min(bound, std::max<std::uint64_t>(1, facts.maxWriteSetBytes / kWriteSetRowBytes));
    return static_cast<std::size_t>(std::min<std::uint64_t>(wanted, bound));
}
