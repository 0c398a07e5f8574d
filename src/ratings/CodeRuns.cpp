#include "ratings/CodeRuns.h"

#include <algorithm>
#include <stdexcept>

RunLength::RunLength(Chunking chunking, std::size_t most)
    : m_chunking(chunking), m_most(most), m_rows(std::min(chunking.rows, most))
{
    if (m_rows == 0)
        throw std::invalid_argument("нулевой размер отрезка");
}

void RunLength::took(std::chrono::steady_clock::duration time)
{
    if (m_chunking.target.count() == 0)
        return;
    if (time < m_chunking.target / 2)
        m_rows = std::min(m_most, m_rows * 2);
    else if (time > m_chunking.target * 2)
        m_rows = std::max<std::size_t>(1, m_rows / 2);
}

void walkRuns(std::size_t rows, const std::function<std::string(std::size_t)>& codeText, RunLength& length,
              const std::function<void(const std::string&)>& work, const std::function<void(std::size_t)>& afterRow)
{
    for (std::size_t first = 0; first < rows;) {
        const std::size_t last = std::min(rows, first + length.rows());
        // The run's rows are done before any of their captions is shown: the database may be ahead of
        // the caption, never behind it.
        const auto started = std::chrono::steady_clock::now();
        work(" between " + codeText(first) + " and " + codeText(last - 1));
        length.took(std::chrono::steady_clock::now() - started);
        for (std::size_t row = first; row < last; ++row)
            afterRow(row);
        first = last;
    }
}
