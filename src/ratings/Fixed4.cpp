#include "ratings/Fixed4.h"

#include <stdexcept>

namespace
{
[[noreturn]] void notANumber(std::string_view text)
{
    throw std::invalid_argument("сервер вернул не число: '" + std::string(text) + "'");
}

[[noreturn]] void tooLarge(std::string_view text)
{
    throw std::overflow_error("число не помещается в счётчик: " + std::string(text));
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// value * 10 + digit, refusing to overflow.
bool pushDigit(std::int64_t& value, char digit)
{
    return !__builtin_mul_overflow(value, 10, &value) && !__builtin_add_overflow(value, digit - '0', &value);
}
} // namespace

Fixed4 Fixed4::parse(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    std::int64_t magnitude = 0; // kept positive while reading, in units of 1/10000
    std::size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits)
        if (!pushDigit(magnitude, text[i]))
            tooLarge(text);
    int decimals = 0;
    bool roundUp = false;
    if (i < text.size() && text[i] == '.') {
        if (i + 1 == text.size())
            notANumber(text);
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++digits) {
            if (decimals < 4) {
                if (!pushDigit(magnitude, text[i]))
                    tooLarge(text);
                ++decimals;
            } else if (decimals == 4) {
                roundUp = text[i] >= '5';
                ++decimals;
            }
        }
    }
    if (digits == 0 || i != text.size())
        notANumber(text);
    for (; decimals < 4; ++decimals)
        if (__builtin_mul_overflow(magnitude, 10, &magnitude))
            tooLarge(text);
    if (roundUp && __builtin_add_overflow(magnitude, 1, &magnitude))
        tooLarge(text);
    return Fixed4(negative ? -magnitude : magnitude);
}

std::string Fixed4::toString() const
{
    // Built from the unsigned magnitude so that the most negative value prints too.
    const bool negative = m_scaled < 0;
    const std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(m_scaled) + 1 : static_cast<std::uint64_t>(m_scaled);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / kScale);
    std::uint64_t fraction = magnitude % kScale;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction + kScale).substr(1); // four digits, leading zeros kept
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return text;
}

Fixed4& Fixed4::operator+=(Fixed4 other)
{
    if (__builtin_add_overflow(m_scaled, other.m_scaled, &m_scaled))
        throw std::overflow_error("сумма не помещается в счётчик");
    return *this;
}
