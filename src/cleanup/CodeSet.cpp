#include "cleanup/CodeSet.h"

#include <algorithm>
#include <iterator>

namespace cleanup
{

CodeSet::CodeSet(std::vector<std::int64_t> codes) : m_codes(std::move(codes))
{
    std::sort(m_codes.begin(), m_codes.end());
    m_codes.erase(std::unique(m_codes.begin(), m_codes.end()), m_codes.end());
}

bool CodeSet::contains(std::int64_t code) const
{
    return std::binary_search(m_codes.begin(), m_codes.end(), code);
}

void CodeSet::insert(std::span<const std::int64_t> codes)
{
    const auto middle = static_cast<std::ptrdiff_t>(m_codes.size());
    m_codes.insert(m_codes.end(), codes.begin(), codes.end());
    std::sort(m_codes.begin() + middle, m_codes.end());
    std::inplace_merge(m_codes.begin(), m_codes.begin() + middle, m_codes.end());
    m_codes.erase(std::unique(m_codes.begin(), m_codes.end()), m_codes.end());
}

void CodeSet::erase(const CodeSet& other)
{
    if (other.empty())
        return;
    std::vector<std::int64_t> kept;
    kept.reserve(m_codes.size());
    std::set_difference(m_codes.begin(), m_codes.end(), other.m_codes.begin(), other.m_codes.end(),
                        std::back_inserter(kept));
    m_codes = std::move(kept);
}

} // namespace cleanup
