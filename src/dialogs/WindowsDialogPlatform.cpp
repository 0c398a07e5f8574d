// The standard dialogs, device contexts and fonts of Windows.
#include "dialogs/WindowsDialogPlatform.h"

#include "dialogs/WindowsDialogShared.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace dialogs
{

using win::fromHandle;
using win::instanceFromHandle;
using win::optionalText;
using win::recordBuffer;
using win::toHandle;
using win::writableBuffer;

namespace win
{

std::wstring widen(std::string_view text)
{
    text = beforeNul(text);
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(kRecordCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(kRecordCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view text)
{
    text = text.substr(0, text.find(L'\0'));
    if (text.empty())
        return {};
    const int length = WideCharToMultiByte(kRecordCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(kRecordCodePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

std::string systemErrorText(DWORD error)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string description = length > 0 ? std::string(text, length) : "Error " + std::to_string(error);
    LocalFree(text);
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
        description.pop_back();
    return description;
}

} // namespace win

namespace
{

// The records carry the structure sizes of the original 32-bit platform. The same form of each
// structure is larger on a 64-bit system, so a record's size stands for its form there; any
// other size goes through for the dialog to refuse.
constexpr std::uint32_t kFileRecordShortForm = 76;
constexpr std::uint32_t kFileRecordFullForm = 88;
constexpr std::uint32_t kColorRecordSize = 36;
constexpr std::uint32_t kFontRecordSize = 60;

DWORD fileStructSize(std::uint32_t recordSize)
{
    if (recordSize == kFileRecordShortForm)
        return OPENFILENAME_SIZE_VERSION_400A;
    return recordSize == kFileRecordFullForm ? sizeof(OPENFILENAMEA) : recordSize;
}

LOGFONTA toLogFontA(const LogFont& font)
{
    LOGFONTA lf{};
    lf.lfHeight = font.height;
    lf.lfWidth = font.width;
    lf.lfEscapement = font.escapement;
    lf.lfOrientation = font.orientation;
    lf.lfWeight = font.weight;
    lf.lfItalic = font.italic;
    lf.lfUnderline = font.underline;
    lf.lfStrikeOut = font.strikeOut;
    lf.lfCharSet = font.charSet;
    lf.lfOutPrecision = font.outPrecision;
    lf.lfClipPrecision = font.clipPrecision;
    lf.lfQuality = font.quality;
    lf.lfPitchAndFamily = font.pitchAndFamily;
    // The system's face name holds 31 characters and its NUL; the record has room for one more.
    const std::string_view face = win::beforeNul(std::string_view(font.faceName.data(), font.faceName.size()));
    std::memcpy(lf.lfFaceName, face.data(), std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
    return lf;
}

void fromLogFontA(const LOGFONTA& lf, LogFont& font)
{
    font.height = lf.lfHeight;
    font.width = lf.lfWidth;
    font.escapement = lf.lfEscapement;
    font.orientation = lf.lfOrientation;
    font.weight = lf.lfWeight;
    font.italic = lf.lfItalic;
    font.underline = lf.lfUnderline;
    font.strikeOut = lf.lfStrikeOut;
    font.charSet = lf.lfCharSet;
    font.outPrecision = lf.lfOutPrecision;
    font.clipPrecision = lf.lfClipPrecision;
    font.quality = lf.lfQuality;
    font.pitchAndFamily = lf.lfPitchAndFamily;
    font.faceName.fill('\0');
    std::memcpy(font.faceName.data(), lf.lfFaceName, LF_FACESIZE);
    font.faceName[LF_FACESIZE - 1] = '\0';
}

} // namespace

WindowsDialogPlatform& WindowsDialogPlatform::instance()
{
    static WindowsDialogPlatform platform;
    return platform;
}

std::string WindowsDialogPlatform::programFolder()
{
    std::vector<char> path(MAX_PATH);
    DWORD length = 0;
    while ((length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    const std::string file(path.data(), length);
    const auto separator = file.find_last_of('\\');
    if (separator == std::string::npos)
        return {};
    // A drive's root keeps its separator: "C:" alone names the drive's current folder.
    return file.substr(0, separator > 0 && file[separator - 1] == ':' ? separator + 1 : separator);
}

Handle WindowsDialogPlatform::moduleInstance()
{
    return toHandle(GetModuleHandleA(nullptr));
}

std::int32_t WindowsDialogPlatform::openFileDialog(OpenFileName& record)
{
    return fileDialog(record, false);
}

std::int32_t WindowsDialogPlatform::saveFileDialog(OpenFileName& record)
{
    return fileDialog(record, true);
}

std::int32_t WindowsDialogPlatform::fileDialog(OpenFileName& record, bool save)
{
    std::vector<char> file = writableBuffer(record.file, record.maxFile);
    std::vector<char> fileTitle = writableBuffer(record.fileTitle, record.maxFileTitle);
    std::vector<char> customFilter = writableBuffer(record.customFilter, record.maxCustomFilter);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = fileStructSize(record.structSize);
    ofn.hwndOwner = fromHandle<HWND>(record.owner);
    ofn.hInstance = instanceFromHandle(record.instance);
    ofn.lpstrFilter = optionalText(record.filter);
    ofn.lpstrCustomFilter = record.maxCustomFilter > 0 ? customFilter.data() : nullptr;
    ofn.nMaxCustFilter = record.maxCustomFilter;
    ofn.nFilterIndex = record.filterIndex;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = record.maxFile;
    ofn.lpstrFileTitle = record.maxFileTitle > 0 ? fileTitle.data() : nullptr;
    ofn.nMaxFileTitle = record.maxFileTitle;
    ofn.lpstrInitialDir = optionalText(record.initialDir);
    ofn.lpstrTitle = optionalText(record.title);
    ofn.Flags = record.flags;
    ofn.nFileOffset = record.fileOffset;
    ofn.nFileExtension = record.fileExtension;
    ofn.lpstrDefExt = optionalText(record.defExt);
    ofn.lCustData = record.custData;
    // A hook in a 32-bit record cannot be called here; the hook flag without one is refused.
    ofn.lpfnHook = nullptr;
    ofn.lpTemplateName = optionalText(record.templateName);
    const BOOL result = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);

    // The record is the structure the dialog wrote into.
    record.file = recordBuffer(file);
    record.fileTitle = recordBuffer(fileTitle);
    record.customFilter = recordBuffer(customFilter);
    record.filterIndex = ofn.nFilterIndex;
    record.flags = ofn.Flags;
    record.fileOffset = ofn.nFileOffset;
    record.fileExtension = ofn.nFileExtension;
    return result;
}

std::int32_t WindowsDialogPlatform::colorDialog(ChooseColor& record)
{
    std::array<COLORREF, 16> customColors{};
    if (record.custColors != nullptr)
        std::copy(record.custColors->begin(), record.custColors->end(), customColors.begin());
    CHOOSECOLORA cc{};
    cc.lStructSize = record.structSize == kColorRecordSize ? sizeof(CHOOSECOLORA) : record.structSize;
    cc.hwndOwner = fromHandle<HWND>(record.owner);
    cc.hInstance = reinterpret_cast<HWND>(instanceFromHandle(record.instance));
    cc.rgbResult = record.rgbResult;
    cc.lpCustColors = customColors.data();
    cc.Flags = record.flags;
    cc.lCustData = record.custData;
    cc.lpfnHook = nullptr;
    cc.lpTemplateName = optionalText(record.templateName);
    const BOOL result = ChooseColorA(&cc);

    record.rgbResult = cc.rgbResult;
    record.flags = cc.Flags;
    if (record.custColors != nullptr)
        std::copy(customColors.begin(), customColors.end(), record.custColors->begin());
    return result;
}

std::int32_t WindowsDialogPlatform::fontDialog(ChooseFont& record)
{
    LOGFONTA lf = record.logFont != nullptr ? toLogFontA(*record.logFont) : LOGFONTA{};
    std::vector<char> style = writableBuffer(record.style, record.style.size());
    CHOOSEFONTA cf{};
    cf.lStructSize = record.structSize == kFontRecordSize ? sizeof(CHOOSEFONTA) : record.structSize;
    cf.hwndOwner = fromHandle<HWND>(record.owner);
    cf.hDC = fromHandle<HDC>(record.dc);
    cf.lpLogFont = &lf;
    cf.iPointSize = record.pointSize;
    cf.Flags = record.flags;
    cf.rgbColors = record.color;
    cf.lCustData = record.custData;
    cf.lpfnHook = nullptr;
    cf.lpTemplateName = optionalText(record.templateName);
    cf.hInstance = instanceFromHandle(record.instance);
    cf.lpszStyle = record.style.empty() ? nullptr : style.data();
    cf.nFontType = record.fontType;
    cf.nSizeMin = record.sizeMin;
    cf.nSizeMax = record.sizeMax;
    const BOOL result = ChooseFontA(&cf);

    if (record.logFont != nullptr)
        fromLogFontA(lf, *record.logFont);
    record.pointSize = cf.iPointSize;
    record.flags = cf.Flags;
    record.color = cf.rgbColors;
    record.fontType = cf.nFontType;
    if (!record.style.empty())
        record.style = recordBuffer(style);
    return result;
}

std::int32_t WindowsDialogPlatform::help(Handle owner, const std::string& helpFile, std::uint32_t command,
                                         std::uint32_t data)
{
    return WinHelpA(fromHandle<HWND>(owner), optionalText(helpFile), command, data);
}

Handle WindowsDialogPlatform::acquireDeviceContext(Handle window)
{
    return toHandle(GetDC(fromHandle<HWND>(window)));
}

void WindowsDialogPlatform::releaseDeviceContext(Handle window, Handle dc)
{
    ReleaseDC(fromHandle<HWND>(window), fromHandle<HDC>(dc));
}

std::int32_t WindowsDialogPlatform::verticalDpi(Handle dc)
{
    return GetDeviceCaps(fromHandle<HDC>(dc), LOGPIXELSY);
}

std::optional<std::string> WindowsDialogPlatform::resolvedFaceName(Handle dc, const LogFont& font)
{
    const LOGFONTA lf = toLogFontA(font);
    const HFONT created = CreateFontIndirectA(&lf);
    if (created == nullptr)
        return std::nullopt;
    const HDC context = fromHandle<HDC>(dc);
    const HGDIOBJ previous = SelectObject(context, created);
    std::array<char, 80> face{};
    const int length = GetTextFaceA(context, static_cast<int>(face.size() - 1), face.data());
    // The font is the caller's no longer: put the previous one back and delete it.
    if (previous != nullptr && previous != HGDI_ERROR)
        SelectObject(context, previous);
    DeleteObject(created);
    if (length <= 0)
        return std::string();
    return std::string(win::beforeNul(std::string_view(face.data(), static_cast<std::size_t>(length))));
}

void WindowsDialogPlatform::messageBox(const std::string& text, std::uint32_t style, const std::string& title)
{
    // The icon and modality of `style` with the OK button alone.
    MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), (style & ~static_cast<UINT>(MB_TYPEMASK)) | MB_OK);
}

std::int32_t WindowsDialogPlatform::startProgram(const std::string& commandLine, std::int32_t windowStyle)
{
    std::vector<char> command = writableBuffer(commandLine, commandLine.size());
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0;
    // The program runs on its own; its id is the task id.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<std::int32_t>(process.dwProcessId);
}

} // namespace dialogs
