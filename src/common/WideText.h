#pragma once
// UTF-8 and the system's wide strings, for the Windows files that call its wide functions
// (wchar_t is a UTF-16 code unit there).
#include "common/TextCodec.h"

#include <string>
#include <string_view>

inline std::wstring wideOf(std::string_view utf8)
{
    const std::u16string text = utf16::fromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

inline std::string utf8Of(std::wstring_view text)
{
    return utf16::toUtf8(std::u16string(text.begin(), text.end()));
}
