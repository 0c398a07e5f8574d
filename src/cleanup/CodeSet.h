#pragma once
// A set of record codes held as a sorted vector: the parents a pass tests against, and the rows
// this run has removed from a table.
#include <cstdint>
#include <span>
#include <vector>

namespace cleanup
{

class CodeSet
{
  public:
    CodeSet() = default;
    // Takes the codes in any order; duplicates are kept once.
    explicit CodeSet(std::vector<std::int64_t> codes);

    bool contains(std::int64_t code) const;
    bool empty() const { return m_codes.empty(); }
    std::size_t size() const { return m_codes.size(); }
    // The smallest code; the set must not be empty.
    std::int64_t smallest() const { return m_codes.front(); }

    void insert(std::span<const std::int64_t> codes);
    // Removes every code that the other set holds.
    void erase(const CodeSet& other);

  private:
    std::vector<std::int64_t> m_codes;
};

} // namespace cleanup
