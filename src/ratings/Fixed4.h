#pragma once
// A counter or sum read back from the server: 64-bit fixed point with four decimals. Counts and
// sums of whole numbers stay whole; the text form never depends on the desktop's locale.
#include <cstdint>
#include <string>
#include <string_view>

class Fixed4
{
  public:
    static constexpr std::int64_t kScale = 10000;

    constexpr Fixed4() = default;
    static constexpr Fixed4 whole(std::int64_t v) { return Fixed4(v * kScale); }

    // Reads the server's text of a number: "-12", "3.5", "0.12345" (rounded to four decimals,
    // halves away from zero). Throws std::invalid_argument for any other text and
    // std::overflow_error for a value that does not fit.
    static Fixed4 parse(std::string_view text);

    // Plain decimal text: "12", "-3", "2.5", "0.0001"; '.' as the decimal point, no grouping.
    std::string toString() const;

    constexpr std::int64_t scaled() const { return m_scaled; }
    constexpr bool isPositive() const { return m_scaled > 0; }
    // Throws std::overflow_error when the sum does not fit.
    Fixed4& operator+=(Fixed4 other);

    friend constexpr bool operator==(Fixed4, Fixed4) = default;

  private:
    constexpr explicit Fixed4(std::int64_t scaled) : m_scaled(scaled) {}
    std::int64_t m_scaled = 0;
};
