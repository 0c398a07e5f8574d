#include "cleanup/CodeSet.h"

#include <algorithm>
#include <bit>

namespace cleanup
{

CodeSet::CodeSet(std::vector<std::int64_t> codes, bool isUnsigned) : m_unsigned(isUnsigned)
{
    const auto by = [this](std::int64_t a, std::int64_t b) { return less(a, b); };
    std::sort(codes.begin(), codes.end(), by);
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    assign(std::move(codes));
}

void CodeSet::assign(std::vector<std::int64_t> sorted)
{
    m_size = sorted.size();
    m_bits = {};
    m_codes = {};
    m_dense = false;
    if (sorted.empty())
        return;
    m_smallest = m_base = sorted.front();
    m_largest = sorted.back();
    // Bits where they take no more memory than the codes themselves.
    const std::uint64_t span = offset(m_largest);
    if (span / 64 >= m_size) {
        m_codes = std::move(sorted);
        return;
    }
    m_dense = true;
    m_bits.assign(static_cast<std::size_t>(span / 64 + 1), 0);
    for (std::int64_t code : sorted) {
        const std::uint64_t n = offset(code);
        m_bits[n / 64] |= std::uint64_t{1} << (n % 64);
    }
}

void CodeSet::forEach(const std::function<void(std::int64_t)>& use) const
{
    if (!m_dense) {
        for (std::int64_t code : m_codes)
            use(code);
        return;
    }
    for (std::size_t w = 0; w < m_bits.size(); ++w)
        for (std::uint64_t word = m_bits[w]; word != 0; word &= word - 1)
            use(static_cast<std::int64_t>(static_cast<std::uint64_t>(m_base) + w * 64 +
                                          static_cast<unsigned>(std::countr_zero(word))));
}

std::vector<std::int64_t> CodeSet::codes() const
{
    if (!m_dense)
        return m_codes;
    std::vector<std::int64_t> all;
    all.reserve(m_size);
    forEach([&](std::int64_t code) { all.push_back(code); });
    return all;
}

bool CodeSet::contains(std::int64_t code, bool codeIsUnsigned) const
{
    // Of the other kind, a value outside the common range cannot be any code of the set.
    if (m_size == 0 || (codeIsUnsigned != m_unsigned && code < 0))
        return false;
    if (less(code, m_smallest) || less(m_largest, code))
        return false;
    if (m_dense) {
        const std::uint64_t n = offset(code);
        return (m_bits[n / 64] >> (n % 64)) & 1;
    }
    return std::binary_search(m_codes.begin(), m_codes.end(), code,
                              [this](std::int64_t a, std::int64_t b) { return less(a, b); });
}

void CodeSet::insert(CodeList list)
{
    if (list.empty())
        return;
    if (m_size == 0)
        m_unsigned = list.isUnsigned;
    if (m_dense) {
        // Codes from the first bit on, where the bits stay no larger than the codes would be.
        std::int64_t smallest = m_smallest, largest = m_largest;
        bool within = true;
        for (std::int64_t code : list.codes) {
            if (less(code, m_base)) {
                within = false;
                break;
            }
            smallest = less(code, smallest) ? code : smallest;
            largest = less(largest, code) ? code : largest;
        }
        if (within && offset(largest) / 64 < m_size + list.size()) {
            m_bits.resize(static_cast<std::size_t>(offset(largest) / 64 + 1), 0);
            m_smallest = smallest;
            m_largest = largest;
            for (std::int64_t code : list.codes) {
                const std::uint64_t n = offset(code);
                const std::uint64_t bit = std::uint64_t{1} << (n % 64);
                m_size += (m_bits[n / 64] & bit) ? 0 : 1;
                m_bits[n / 64] |= bit;
            }
            return;
        }
    }
    std::vector<std::int64_t> all = m_dense ? codes() : std::move(m_codes);
    const auto sorted = static_cast<std::ptrdiff_t>(all.size());
    all.insert(all.end(), list.codes.begin(), list.codes.end());
    const auto by = [this](std::int64_t a, std::int64_t b) { return less(a, b); };
    std::sort(all.begin() + sorted, all.end(), by);
    std::inplace_merge(all.begin(), all.begin() + sorted, all.end(), by);
    all.erase(std::unique(all.begin(), all.end()), all.end());
    assign(std::move(all));
}

void CodeSet::erase(const CodeSet& other)
{
    if (other.empty() || empty())
        return;
    if (!m_dense) {
        std::erase_if(m_codes, [&](std::int64_t code) { return other.contains(code, m_unsigned); });
        assign(std::move(m_codes));
        return;
    }
    other.forEach([&](std::int64_t code) {
        if (!contains(code, other.m_unsigned))
            return;
        const std::uint64_t n = offset(code);
        m_bits[n / 64] &= ~(std::uint64_t{1} << (n % 64));
        --m_size;
    });
    if (m_size == 0) {
        assign({});
        return;
    }
    // The ends may have gone; once the bits outweigh the codes, the codes are held instead.
    std::size_t first = 0, last = m_bits.size() - 1;
    while (m_bits[first] == 0)
        ++first;
    while (m_bits[last] == 0)
        --last;
    const auto at = [this](std::size_t w, unsigned b) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(m_base) + w * 64 + b);
    };
    m_smallest = at(first, static_cast<unsigned>(std::countr_zero(m_bits[first])));
    m_largest = at(last, 63u - static_cast<unsigned>(std::countl_zero(m_bits[last])));
    if (m_bits.size() > m_size)
        assign(codes());
}

} // namespace cleanup
