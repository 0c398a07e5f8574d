// The shell dialogs of Windows, the icons and item lists they hand out, and the about box.
// Several of them are reached only by their ordinal in shell32; those take UTF-16 text.
#include "dialogs/WindowsDialogPlatform.h"
#include "dialogs/WindowsDialogShared.h"

#include <shellapi.h>
#include <shlobj.h>

#include <array>

namespace dialogs
{

using win::fromHandle;
using win::optionalText;
using win::toHandle;
using win::widen;

namespace
{

// The shell's functions that have an ordinal and no name.
constexpr WORD kRestartDialog = 59;
constexpr WORD kShutDownDialog = 60;
constexpr WORD kRunDialog = 61;
constexpr WORD kPickIconDialog = 62;
constexpr WORD kFindFiles = 90;
constexpr WORD kObjectProperties = 178;

using RestartDialogFn = int(WINAPI*)(HWND owner, const wchar_t* prompt, DWORD option);
using ShutDownDialogFn = void(WINAPI*)(HWND owner);
using RunDialogFn = void(WINAPI*)(HWND owner, HICON icon, const wchar_t* workingDir, const wchar_t* title,
                                  const wchar_t* description, UINT options);
using PickIconDialogFn = int(WINAPI*)(HWND owner, wchar_t* iconFile, UINT capacity, int* index);
using FindFilesFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE folder, PCIDLIST_ABSOLUTE savedSearch);
using ObjectPropertiesFn = BOOL(WINAPI*)(HWND owner, DWORD objectType, const wchar_t* objectName, const wchar_t* page);

// The shell function with this ordinal, or none when this shell lacks it.
template <typename Function> Function shellOrdinal(WORD ordinal)
{
    static const HMODULE shell = LoadLibraryA("shell32.dll");
    if (shell == nullptr)
        return nullptr;
    const FARPROC address = GetProcAddress(shell, MAKEINTRESOURCEA(ordinal));
    // Through the untyped function pointer, which converts to any function type.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

} // namespace

Handle WindowsDialogPlatform::rememberItemList(void* itemList)
{
    if (itemList == nullptr)
        return 0;
    const Handle handle = ++m_lastHandle;
    m_itemLists[handle] = itemList;
    return handle;
}

void* WindowsDialogPlatform::itemList(Handle handle) const
{
    const auto found = m_itemLists.find(handle);
    return found != m_itemLists.end() ? found->second : nullptr;
}

std::int32_t WindowsDialogPlatform::shutDownDialog(Handle owner)
{
    const auto dialog = shellOrdinal<ShutDownDialogFn>(kShutDownDialog);
    if (dialog == nullptr)
        return 0;
    dialog(fromHandle<HWND>(owner)); // the dialog reports nothing
    return 1;
}

std::int32_t WindowsDialogPlatform::restartDialog(Handle owner, const std::string& prompt, std::uint32_t option)
{
    const auto dialog = shellOrdinal<RestartDialogFn>(kRestartDialog);
    if (dialog == nullptr)
        return 0;
    const std::wstring text = widen(prompt);
    return dialog(fromHandle<HWND>(owner), optionalText(text), option);
}

std::int32_t WindowsDialogPlatform::runDialog(Handle owner, Handle icon, const std::optional<std::string>& workingDir,
                                              const std::string& title, const std::string& description,
                                              std::uint32_t options)
{
    const auto dialog = shellOrdinal<RunDialogFn>(kRunDialog);
    if (dialog == nullptr)
        return 0;
    const std::wstring dir = workingDir ? widen(*workingDir) : std::wstring();
    const std::wstring caption = widen(title);
    const std::wstring text = widen(description);
    dialog(fromHandle<HWND>(owner), fromHandle<HICON>(icon), workingDir ? dir.c_str() : nullptr, optionalText(caption),
           optionalText(text), options);
    return 1; // the dialog reports nothing
}

std::int32_t WindowsDialogPlatform::formatDrive(Handle owner, std::uint32_t drive, std::uint32_t capacity,
                                                std::uint32_t formatType)
{
    // SHFMT_ERROR, SHFMT_CANCEL and SHFMT_NOFORMAT are -1, -2 and -3 as 32-bit numbers.
    return static_cast<std::int32_t>(SHFormatDrive(fromHandle<HWND>(owner), drive, capacity, formatType));
}

std::int32_t WindowsDialogPlatform::pickIconDialog(Handle owner, std::string& iconFile, std::uint32_t capacity,
                                                   std::int32_t& index)
{
    const auto dialog = shellOrdinal<PickIconDialogFn>(kPickIconDialog);
    if (dialog == nullptr)
        return 0;
    const std::wstring initial = widen(iconFile);
    std::vector<wchar_t> buffer(std::max<std::size_t>(capacity, initial.size()) + 1, L'\0');
    std::copy(initial.begin(), initial.end(), buffer.begin());
    int picked = index;
    const win::OleScope ole;
    // -1 is a dialog that could not be shown, which picked nothing either.
    if (dialog(fromHandle<HWND>(owner), buffer.data(), capacity, &picked) <= 0)
        return 0;
    const std::string chosen = win::narrow(std::wstring_view(buffer.data(), buffer.size()));
    if (chosen.size() + 1 > iconFile.size())
        return 0; // the buffer cannot take the chosen file
    std::fill(iconFile.begin(), iconFile.end(), '\0');
    std::copy(chosen.begin(), chosen.end(), iconFile.begin());
    index = picked;
    return 1;
}

std::int32_t WindowsDialogPlatform::extractIcons(const std::string& file, std::int32_t index, Handle* largeOut,
                                                 Handle* smallOut, std::uint32_t count)
{
    std::vector<HICON> largeIcons(largeOut != nullptr ? count : 0);
    std::vector<HICON> smallIcons(smallOut != nullptr ? count : 0);
    const UINT extracted = ExtractIconExA(file.c_str(), index, largeOut != nullptr ? largeIcons.data() : nullptr,
                                          smallOut != nullptr ? smallIcons.data() : nullptr, count);
    for (std::size_t i = 0; i < largeIcons.size(); ++i)
        largeOut[i] = toHandle(largeIcons[i]);
    for (std::size_t i = 0; i < smallIcons.size(); ++i)
        smallOut[i] = toHandle(smallIcons[i]);
    return static_cast<std::int32_t>(extracted);
}

Handle WindowsDialogPlatform::copyIcon(Handle icon)
{
    return toHandle(CopyIcon(fromHandle<HICON>(icon)));
}

void WindowsDialogPlatform::destroyIcon(Handle icon)
{
    DestroyIcon(fromHandle<HICON>(icon));
}

Handle WindowsDialogPlatform::itemListFromPath(const std::string& path)
{
    const std::wstring wide = widen(path);
    if (wide.empty())
        return 0; // the desktop, everything
    // The shell's simple conversion (ordinal 162) makes an item list without the folder's
    // attributes, which the folder browser cannot open as its root: it shows an empty tree.
    // The full conversion reads the folder and gives a list every shell dialog can use.
    return rememberItemList(ILCreateFromPathW(wide.c_str()));
}

Handle WindowsDialogPlatform::browseForFolder(BrowseInfo& record)
{
    std::vector<char> displayName = win::writableBuffer(record.displayName.value_or(std::string()), MAX_PATH);
    BROWSEINFOA bi{};
    bi.hwndOwner = fromHandle<HWND>(record.owner);
    bi.pidlRoot = static_cast<PCIDLIST_ABSOLUTE>(itemList(record.root));
    bi.pszDisplayName = record.displayName ? displayName.data() : nullptr;
    bi.lpszTitle = optionalText(record.title);
    bi.ulFlags = record.flags;
    bi.lpfn = nullptr; // a callback in a 32-bit record cannot be called here
    bi.lParam = record.callbackParam;
    const win::OleScope ole;
    const PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&bi);
    record.image = bi.iImage;
    if (record.displayName)
        record.displayName = win::recordBuffer(displayName);
    return rememberItemList(chosen);
}

std::int32_t WindowsDialogPlatform::pathFromItemList(Handle handle, std::string& buffer)
{
    const auto list = static_cast<PCIDLIST_ABSOLUTE>(itemList(handle));
    std::array<char, MAX_PATH> path{};
    if (list == nullptr || !SHGetPathFromIDListA(list, path.data()))
        return 0;
    const std::string_view text = win::beforeNul(std::string_view(path.data(), path.size()));
    if (text.size() + 1 > buffer.size())
        return 0;
    std::fill(buffer.begin(), buffer.end(), '\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    return 1;
}

void WindowsDialogPlatform::freeItemList(Handle handle)
{
    const auto found = m_itemLists.find(handle);
    if (found == m_itemLists.end())
        return;
    CoTaskMemFree(found->second);
    m_itemLists.erase(found);
}

std::int32_t WindowsDialogPlatform::objectProperties(Handle owner, std::uint32_t objectType,
                                                     const std::string& objectName, const std::string& page)
{
    const auto dialog = shellOrdinal<ObjectPropertiesFn>(kObjectProperties);
    if (dialog == nullptr)
        return 0;
    const std::wstring name = widen(objectName);
    const std::wstring pageName = widen(page);
    const win::OleScope ole;
    return dialog(fromHandle<HWND>(owner), objectType, name.c_str(), optionalText(pageName));
}

std::int32_t WindowsDialogPlatform::aboutBox(Handle owner, const std::string& appName, const std::string& otherText,
                                             Handle icon)
{
    return ShellAboutA(fromHandle<HWND>(owner), appName.c_str(), otherText.c_str(), fromHandle<HICON>(icon));
}

std::int32_t WindowsDialogPlatform::findFiles(const std::optional<std::string>& folder,
                                              const std::optional<std::string>& savedSearch)
{
    const auto search = shellOrdinal<FindFilesFn>(kFindFiles);
    if (search == nullptr)
        return 0;
    const win::OleScope ole;
    const PIDLIST_ABSOLUTE root = folder ? ILCreateFromPathW(widen(*folder).c_str()) : nullptr;
    const PIDLIST_ABSOLUTE saved = savedSearch ? ILCreateFromPathW(widen(*savedSearch).c_str()) : nullptr;
    const BOOL started = search(root, saved);
    ILFree(root);
    if (!started)
        ILFree(saved); // the search window owns the saved search once it has started
    return started;
}

} // namespace dialogs
