#pragma once
// What the Windows dialog files share: handles and text as the records hold them.
#include "dialogs/DialogRecords.h"

#include <windows.h>

#include <commdlg.h>
#include <ole2.h>
// The system names its functions' narrow and wide forms by macros that would rename the
// records; this platform calls the narrow forms by their own names.
#undef ChooseColor
#undef ChooseFont
#undef PrintDlg

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dialogs::win
{

// Window, icon and device-context handles are 32-bit significant: the record's number,
// sign-extended, is the handle, and the handle's low 32 bits are the record's number.
template <typename T> T fromHandle(Handle handle)
{
    return reinterpret_cast<T>(static_cast<std::intptr_t>(handle));
}

inline Handle toHandle(const void* handle)
{
    return static_cast<Handle>(reinterpret_cast<std::intptr_t>(handle));
}

// A module instance is an address, not a 32-bit handle: the program's truncated instance
// stands for the program's module.
inline HINSTANCE instanceFromHandle(Handle instance)
{
    const HMODULE program = GetModuleHandleA(nullptr);
    return instance != 0 && instance == toHandle(program) ? program : fromHandle<HINSTANCE>(instance);
}

// The records' text is cp1251; the functions that take only UTF-16 get it converted from there.
inline constexpr UINT kRecordCodePage = 1251;

// The text before the first NUL of a buffer (all of it when there is none).
inline std::string_view beforeNul(std::string_view buffer)
{
    return buffer.substr(0, buffer.find('\0'));
}

// The record's text up to its first NUL, in UTF-16; and back.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

// The system's description of an error code, without its line break.
std::string systemErrorText(DWORD error);

// A string field handed to a function: none when it is empty.
inline const char* optionalText(const std::string& text)
{
    return text.empty() ? nullptr : text.c_str();
}

inline const wchar_t* optionalText(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

// A writable copy of a record's buffer: at least `capacity` characters and a NUL past the text.
inline std::vector<char> writableBuffer(const std::string& text, std::size_t capacity)
{
    std::vector<char> buffer(std::max(capacity, text.size()) + 1, '\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    return buffer;
}

// The buffer as the record holds it: its full capacity, NULs included.
inline std::string recordBuffer(const std::vector<char>& buffer)
{
    return std::string(buffer.data(), buffer.size() - 1);
}

// Shell dialogs that host shell views want OLE on the calling thread; a thread that has it
// keeps it, one that had none gets it for the call.
class OleScope
{
  public:
    OleScope() : m_initialized(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleScope()
    {
        if (m_initialized)
            OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

  private:
    bool m_initialized;
};

} // namespace dialogs::win
