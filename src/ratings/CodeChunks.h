#pragma once
// A row list's record codes, handled a run of consecutive rows at a time: one set-based statement
// does the work of the run's rows, then the rows' captions follow. Every number goes into the SQL
// as decimal text made from an integer.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Rows in the first set-based statement of a list.
inline constexpr std::size_t kChunkRows = 2000;
// How long one statement of the recalculation should take: long enough that the statements' own
// cost does not add up on big sites, short enough that the window gets its events back soon.
inline constexpr std::chrono::milliseconds kStatementTarget{300};
// No statement takes more rows than this, whatever the timing says.
inline constexpr std::size_t kMaxChunkRows = 100000;

// How many rows each set-based statement takes. With a target, the run length adapts to it: it
// doubles while statements finish in under half the target and halves when one takes more than
// twice the target, so the window's pauses stay about the target on any site. Without one (tests)
// every run has the given length.
struct Chunking {
    Chunking(std::size_t rows, std::chrono::milliseconds target = std::chrono::milliseconds{0})
        : rows(rows), target(target)
    {
    }
    std::size_t rows;
    std::chrono::milliseconds target;
};

class CodeChunks
{
  public:
    // The codes in the order the row list gave them; isUnsigned: they are the bits of unsigned values.
    explicit CodeChunks(std::vector<std::int64_t> codes, bool isUnsigned = false);

    std::size_t size() const { return m_codes.size(); }

    // The SQL that selects exactly the codes at list positions [first, last), to follow a column
    // name: " between A and B" when no other code of the list lies between the run's smallest and
    // largest code, else " in (...)" with the run's codes in ascending order.
    std::string selection(std::size_t first, std::size_t last) const;

    // Walks the list in runs of rows: work(selection) for the run, then afterRow(position) for each
    // of its rows in list order (positions counted from 0).
    void walk(Chunking chunking, const std::function<void(const std::string&)>& work,
              const std::function<void(std::size_t)>& afterRow) const;

  private:
    std::string text(std::int64_t key) const;

    std::vector<std::int64_t> m_codes; // ordering keys
    std::vector<std::int64_t> m_sorted;
    bool m_unsigned = false;
};
