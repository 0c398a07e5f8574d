#pragma once
// A row list's record codes, handled a run of consecutive rows at a time: one set-based statement
// does the work of the run's rows, then the rows' captions follow. Every number goes into the SQL
// as decimal text made from an integer.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Rows per set-based statement: short statements, and the window gets its events again soon.
inline constexpr std::size_t kChunkRows = 2000;

class CodeChunks
{
  public:
    // The codes in the order the row list gave them.
    explicit CodeChunks(std::vector<std::int64_t> codes);

    std::size_t size() const { return m_codes.size(); }

    // The SQL that selects exactly the codes at list positions [first, last), to follow a column
    // name: " between A and B" when no other code of the list lies between the run's smallest and
    // largest code, else " in (...)" with the run's codes in ascending order.
    std::string selection(std::size_t first, std::size_t last) const;

    // Walks the list in runs of chunkRows rows: work(selection) for the run, then afterRow(position)
    // for each of its rows in list order (positions counted from 0).
    void walk(std::size_t chunkRows, const std::function<void(const std::string&)>& work,
              const std::function<void(std::size_t)>& afterRow) const;

  private:
    std::vector<std::int64_t> m_codes;
    std::vector<std::int64_t> m_sorted;
};
