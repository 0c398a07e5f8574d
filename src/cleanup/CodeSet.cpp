#include "cleanup/CodeSet.h"

#include <algorithm>
#include <iterator>

namespace cleanup
{

CodeSet::CodeSet(std::vector<std::int64_t> codes, bool isUnsigned) : m_codes(std::move(codes)), m_unsigned(isUnsigned)
{
    sortUnique(0);
}

void CodeSet::sortUnique(std::size_t sortedUpTo)
{
    const auto by = [this](std::int64_t a, std::int64_t b) { return less(a, b); };
    const auto middle = m_codes.begin() + static_cast<std::ptrdiff_t>(sortedUpTo);
    std::sort(middle, m_codes.end(), by);
    std::inplace_merge(m_codes.begin(), middle, m_codes.end(), by);
    m_codes.erase(std::unique(m_codes.begin(), m_codes.end()), m_codes.end());
}

bool CodeSet::contains(std::int64_t code, bool codeIsUnsigned) const
{
    // Of the other kind, a value outside the common range cannot be any code of the set.
    if (codeIsUnsigned != m_unsigned && code < 0)
        return false;
    return std::binary_search(m_codes.begin(), m_codes.end(), code,
                              [this](std::int64_t a, std::int64_t b) { return less(a, b); });
}

void CodeSet::insert(CodeList codes)
{
    const std::size_t sorted = m_codes.size();
    if (sorted == 0)
        m_unsigned = codes.isUnsigned;
    m_codes.insert(m_codes.end(), codes.codes.begin(), codes.codes.end());
    sortUnique(sorted);
}

void CodeSet::erase(const CodeSet& other)
{
    if (other.empty())
        return;
    std::vector<std::int64_t> kept;
    kept.reserve(m_codes.size());
    std::set_difference(m_codes.begin(), m_codes.end(), other.m_codes.begin(), other.m_codes.end(),
                        std::back_inserter(kept), [this](std::int64_t a, std::int64_t b) { return less(a, b); });
    m_codes = std::move(kept);
}

} // namespace cleanup
