#pragma once
// A page of a row list, handled a run of consecutive rows at a time: one set-based statement does the
// work of the run's rows, then the rows' captions follow. The page holds the table's rows in
// ascending order of CODE, so a run is every row from its first code to its last, and the statement
// names it as that range. Every number goes into the SQL as decimal text made from an integer.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

// Rows in the first set-based statement of a pass.
inline constexpr std::size_t kChunkRows = 2000;
// How long one statement of the recalculation should take: long enough that the statements' own
// cost does not add up on big sites, short enough that the captions keep moving.
inline constexpr std::chrono::milliseconds kStatementTarget{300};
// No statement takes more rows than this, whatever the timing says.
inline constexpr std::size_t kMaxChunkRows = 100000;

// How many rows each set-based statement takes. With a target, the run length adapts to it: it
// doubles while statements finish in under half the target and halves when one takes more than
// twice the target. Without one (tests) every run has the given length.
struct Chunking {
    Chunking(std::size_t rows, std::chrono::milliseconds target = std::chrono::milliseconds{0})
        : rows(rows), target(target)
    {
    }
    std::size_t rows;
    std::chrono::milliseconds target;
};

// The run length of a pass, carried from page to page.
class RunLength
{
  public:
    // No run is longer than most rows.
    explicit RunLength(Chunking chunking, std::size_t most = kMaxChunkRows);
    std::size_t rows() const { return m_rows; }
    void took(std::chrono::steady_clock::duration time);

  private:
    Chunking m_chunking;
    std::size_t m_most;
    std::size_t m_rows;
};

// Walks a page of `rows` rows in runs: work(" between A and B") with the codes of the run's first and
// last row (codeText gives a row's CODE as SQL text), then afterRow(i) for each of the run's rows in
// order (positions in the page, from 0).
void walkRuns(std::size_t rows, const std::function<std::string(std::size_t)>& codeText, RunLength& length,
              const std::function<void(const std::string&)>& work, const std::function<void(std::size_t)>& afterRow);
