#pragma once
// The one place where text changes encoding: between the tool's UTF-8 strings and the single-byte
// Windows-1251 code page that the site database connection and the report files use, and between
// UTF-8 and the user's locale (the terminal, the system's own messages).
#include <ctime>
#include <string>
#include <string_view>

namespace cp1251
{

// UTF-8 to cp1251. A character the code page cannot hold becomes '?'.
std::string fromUtf8(std::string_view utf8);

// cp1251 to UTF-8. The one unassigned byte (0x98) becomes U+FFFD.
std::string toUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

} // namespace cp1251

namespace locale
{
// UTF-8 in the encoding of the user's locale (unchanged when that is UTF-8). A character the
// locale cannot hold is transliterated where it can be, else becomes '?'.
std::string fromUtf8(const std::string& utf8);
// Text in the encoding of the user's locale, as UTF-8 (unchanged when it cannot be converted).
std::string toUtf8(const std::string& text);
// The date and time in the user's regional format (short date, one space, time with seconds).
std::string dateTime(const std::tm& when);
} // namespace locale

namespace utf16
{
// UTF-8 to UTF-16 and back; a malformed sequence, or a lone surrogate, becomes U+FFFD.
std::u16string fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view text);
} // namespace utf16

namespace utf8
{
// Appends the UTF-8 form of one code point.
void append(std::string& out, char32_t cp);
} // namespace utf8
