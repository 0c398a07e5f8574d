#pragma once
// A set of record codes held as a sorted vector: the parents a pass tests against, and the rows
// this run has removed from a table. Codes that lie close together (as a table's codes do) are also
// held as one bit per code from the smallest to the largest, so that the question asked for every
// row a pass reads costs one memory read instead of a search through megabytes. A set knows whether its codes are of an unsigned column, and
// a value of the other kind is compared as the number it is: -1 is never an unsigned code, and
// 2^63 is never a signed one.
#include "cleanup/CleanupChanges.h"
#include "db/Rows.h"

#include <cstdint>
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
    bool empty() const { return m_codes.empty(); }
    std::size_t size() const { return m_codes.size(); }
    bool isUnsigned() const { return m_unsigned; }
    // The smallest code; the set must not be empty.
    db::Whole smallest() const { return {m_codes.front(), m_unsigned}; }

    void insert(CodeList codes);
    // Removes every code that the other set holds.
    void erase(const CodeSet& other);

  private:
    bool less(std::int64_t a, std::int64_t b) const
    {
        return m_unsigned ? static_cast<std::uint64_t>(a) < static_cast<std::uint64_t>(b) : a < b;
    }
    void sortUnique(std::size_t sortedUpTo);
    // Builds the bits where they take no more memory than the sorted codes; otherwise drops them.
    void index();

    std::vector<std::int64_t> m_codes;
    bool m_unsigned = false;
    std::vector<std::uint64_t> m_bits; // bit n: smallest + n is in the set; empty: search the codes
};

} // namespace cleanup
