#include "ratings/CodeChunks.h"

#include <algorithm>
#include <stdexcept>

namespace
{
constexpr std::uint64_t kSignBit = 0x8000000000000000ull;
}

CodeChunks::CodeChunks(std::vector<std::int64_t> codes, bool isUnsigned)
    : m_codes(std::move(codes)), m_unsigned(isUnsigned)
{
    // Unsigned codes are kept with the sign bit flipped: ordered as signed numbers, they keep the
    // order of the unsigned ones.
    if (m_unsigned)
        for (std::int64_t& c : m_codes)
            c = static_cast<std::int64_t>(static_cast<std::uint64_t>(c) ^ kSignBit);
    m_sorted = m_codes;
    std::sort(m_sorted.begin(), m_sorted.end());
}

std::string CodeChunks::text(std::int64_t key) const
{
    return m_unsigned ? std::to_string(static_cast<std::uint64_t>(key) ^ kSignBit) : std::to_string(key);
}

std::string CodeChunks::selection(std::size_t first, std::size_t last) const
{
    if (first >= last || last > m_codes.size())
        throw std::out_of_range("пустой или лишний отрезок списка строк");
    std::vector<std::int64_t> run(m_codes.begin() + static_cast<std::ptrdiff_t>(first),
                                  m_codes.begin() + static_cast<std::ptrdiff_t>(last));
    std::sort(run.begin(), run.end());
    // The list holds every row of its table, so a run that owns all the list's codes from its
    // smallest to its largest owns all the table's rows there as well.
    const auto from = std::lower_bound(m_sorted.begin(), m_sorted.end(), run.front());
    const auto to = std::upper_bound(m_sorted.begin(), m_sorted.end(), run.back());
    if (static_cast<std::size_t>(to - from) == run.size())
        return " between " + text(run.front()) + " and " + text(run.back());
    std::string sql = " in (";
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (i > 0)
            sql += ',';
        sql += text(run[i]);
    }
    return sql + ")";
}

void CodeChunks::walk(Chunking chunking, const std::function<void(const std::string&)>& work,
                      const std::function<void(std::size_t)>& afterRow) const
{
    if (chunking.rows == 0)
        throw std::invalid_argument("нулевой размер отрезка");
    std::size_t rows = chunking.rows;
    for (std::size_t first = 0; first < m_codes.size();) {
        const std::size_t last = std::min(m_codes.size(), first + rows);
        // The run's rows are done before any of their captions is shown: the database may be
        // ahead of the caption, never behind it.
        const auto started = std::chrono::steady_clock::now();
        work(selection(first, last));
        const auto took = std::chrono::steady_clock::now() - started;
        for (std::size_t row = first; row < last; ++row)
            afterRow(row);
        first = last;
        if (chunking.target.count() > 0) {
            if (took < chunking.target / 2)
                rows = std::min(kMaxChunkRows, rows * 2);
            else if (took > chunking.target * 2)
                rows = std::max<std::size_t>(1, rows / 2);
        }
    }
}
