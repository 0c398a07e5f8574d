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
    index();
}

void CodeSet::index()
{
    m_bits.clear();
    if (m_codes.empty())
        return;
    // The distance in the set's own order: the codes are sorted, so it never wraps.
    const std::uint64_t span =
        static_cast<std::uint64_t>(m_codes.back()) - static_cast<std::uint64_t>(m_codes.front());
    if (span / 64 >= m_codes.size())
        return;
    m_bits.assign(static_cast<std::size_t>(span / 64 + 1), 0);
    const auto smallest = static_cast<std::uint64_t>(m_codes.front());
    for (std::int64_t code : m_codes) {
        const std::uint64_t n = static_cast<std::uint64_t>(code) - smallest;
        m_bits[n / 64] |= std::uint64_t{1} << (n % 64);
    }
}

bool CodeSet::contains(std::int64_t code, bool codeIsUnsigned) const
{
    // Of the other kind, a value outside the common range cannot be any code of the set.
    if (codeIsUnsigned != m_unsigned && code < 0)
        return false;
    if (!m_bits.empty()) {
        if (less(code, m_codes.front()) || less(m_codes.back(), code))
            return false;
        const std::uint64_t n = static_cast<std::uint64_t>(code) - static_cast<std::uint64_t>(m_codes.front());
        return (m_bits[n / 64] >> (n % 64)) & 1;
    }
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
    index();
}

} // namespace cleanup
