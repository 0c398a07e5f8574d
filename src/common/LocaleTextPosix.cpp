// The user's locale on POSIX systems: the encoding nl_langinfo names, converted with iconv.
#include "common/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <iomanip>
#include <langinfo.h>
#include <locale>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace locale
{
namespace
{
std::string codeset()
{
    const char* set = ::nl_langinfo(CODESET);
    return set && *set ? set : "UTF-8";
}
bool isUtf8(const std::string& set)
{
    return set == "UTF-8" || set == "utf8";
}

// Converts with iconv; a sequence it cannot convert is skipped as one character and becomes
// `substitute`. Nothing when iconv does not know the encodings.
std::optional<std::string> convert(const std::string& to, const std::string& from, const std::string& text,
                                   bool skipUtf8Sequence)
{
    iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size(), outLeft = out.size();
    char* dst = out.data();
    while (inLeft > 0) {
        if (::iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL) {
            ::iconv_close(cd);
            return std::nullopt;
        }
        ++in;
        --inLeft;
        while (skipUtf8Sequence && inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
            ++in;
            --inLeft;
        }
        if (outLeft > 0) {
            *dst++ = '?';
            --outLeft;
        }
    }
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}
} // namespace

std::string fromUtf8(const std::string& utf8)
{
    const std::string set = codeset();
    return isUtf8(set) ? utf8 : convert(set + "//TRANSLIT", "UTF-8", utf8, true).value_or(utf8);
}

std::string toUtf8(const std::string& text)
{
    const std::string set = codeset();
    return isUtf8(set) ? text : convert("UTF-8", set, text, false).value_or(text);
}

namespace
{
std::string formatIn(const std::locale& loc, const std::tm& tm)
{
    std::ostringstream out;
    out.imbue(loc);
    out << std::put_time(&tm, "%x %X");
    return out.str();
}
} // namespace

std::string dateTime(const std::tm& when)
{
    // The stream's own locale: the process-wide C locale is left as the window set it.
    try {
        std::string text = formatIn(std::locale(""), when);
        if (cp1251::isValidUtf8(text))
            return text;
    } catch (const std::runtime_error&) {
        // An unknown locale name in the environment: fall through to the default.
    }
    return formatIn(std::locale::classic(), when);
}
} // namespace locale
