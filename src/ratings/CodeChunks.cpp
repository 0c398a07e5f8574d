#include "ratings/CodeChunks.h"

#include <algorithm>
#include <stdexcept>

CodeChunks::CodeChunks(std::vector<std::int64_t> codes) : m_codes(std::move(codes)), m_sorted(m_codes)
{
    std::sort(m_sorted.begin(), m_sorted.end());
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
        return " between " + std::to_string(run.front()) + " and " + std::to_string(run.back());
    std::string sql = " in (";
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (i > 0)
            sql += ',';
        sql += std::to_string(run[i]);
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
