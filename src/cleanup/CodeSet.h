#pragma once
// A set of record codes: the parents a pass tests against, and the rows this run has removed from a
// table. Codes that lie close together, as a table's codes do, are held as one bit per code from the
// smallest to the largest: a million releases take 128 KiB instead of 8 MiB, and the question every
// row a pass reads asks costs one memory read. Codes far apart are held as a sorted vector and
// searched. A set knows whether its codes are of an unsigned column, and a value of the other kind
// is compared as the number it is: -1 is never an unsigned code, and 2^63 is never a signed one.
#include "cleanup/CleanupChanges.h"
#include "db/Rows.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace cleanup
{

class CodeSet
{
  public:
    CodeSet() = default;
    // Takes the codes in any order; duplicates are kept once.
    explicit CodeSet(std::vector<std::int64_t> codes, bool isUnsigned = false);

    bool contains(std::int64_t code, bool codeIsUnsigned) const;
    bool empty() const { return m_size == 0; }
    std::size_t size() const { return m_size; }
    bool isUnsigned() const { return m_unsigned; }
    // The smallest code; the set must not be empty.
    db::Whole smallest() const { return {m_smallest, m_unsigned}; }

    // Adds codes (the first codes added to an empty set give it their kind). Codes above the
    // largest, as a list read in order of CODE brings them, are added where they lie.
    void insert(CodeList codes);
    // Removes every code that the other set holds.
    void erase(const CodeSet& other);

  private:
    bool less(std::int64_t a, std::int64_t b) const
    {
        return m_unsigned ? static_cast<std::uint64_t>(a) < static_cast<std::uint64_t>(b) : a < b;
    }
    // The distance from the code of the first bit, in the set's order.
    std::uint64_t offset(std::int64_t code) const
    {
        return static_cast<std::uint64_t>(code) - static_cast<std::uint64_t>(m_base);
    }
    void forEach(const std::function<void(std::int64_t)>& use) const;
    std::vector<std::int64_t> codes() const;
    // Takes sorted, unique codes and holds them in the form that costs less memory.
    void assign(std::vector<std::int64_t> sorted);

    std::size_t m_size = 0;
    bool m_unsigned = false;
    bool m_dense = false;
    std::int64_t m_smallest = 0, m_largest = 0;
    std::vector<std::int64_t> m_codes; // far apart: sorted
    std::vector<std::uint64_t> m_bits; // close together: bit n for m_base + n
    std::int64_t m_base = 0;
};

} // namespace cleanup
