#pragma once
// The records CdlgEx fills for the platform's dialogs and reads back afterwards. Strings are
// narrow (cp1251) byte strings; a buffer's std::string holds its full capacity, NULs included.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dialogs
{

using Handle = std::int32_t;

// The open/save dialog's record, in its 76-byte form.
struct OpenFileName {
    std::uint32_t structSize = 0;
    Handle owner = 0;
    Handle instance = 0;
    std::string filter; // description NUL pattern NUL ... NUL NUL
    std::string customFilter;
    std::uint32_t maxCustomFilter = 0;
    std::uint32_t filterIndex = 0;
    std::string file; // the file buffer
    std::uint32_t maxFile = 0;
    std::string fileTitle; // the file-title buffer
    std::uint32_t maxFileTitle = 0;
    std::string initialDir;
    std::string title;
    std::uint32_t flags = 0;
    std::uint16_t fileOffset = 0;
    std::uint16_t fileExtension = 0;
    std::string defExt;
    std::int32_t custData = 0;
    Handle hook = 0;
    std::string templateName;
};

// The colour dialog's record (36 bytes); the custom colours live only during the call.
struct ChooseColor {
    std::uint32_t structSize = 0;
    Handle owner = 0;
    Handle instance = 0;
    std::uint32_t rgbResult = 0;
    std::array<std::uint32_t, 16>* custColors = nullptr;
    std::uint32_t flags = 0;
    std::int32_t custData = 0;
    Handle hook = 0;
    std::string templateName;
};

// The class's LOGFONT: the face name has room for 33 bytes, NUL included.
struct LogFont {
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    std::array<char, 33> faceName{};
};

// The font dialog's record (60 bytes).
struct ChooseFont {
    std::uint32_t structSize = 0;
    Handle owner = 0;
    Handle dc = 0;
    LogFont* logFont = nullptr;
    std::int32_t pointSize = 0; // tenths of a point
    std::uint32_t flags = 0;
    std::uint32_t color = 0;
    std::int32_t custData = 0;
    Handle hook = 0;
    std::string templateName;
    Handle instance = 0;
    std::string style;
    std::uint16_t fontType = 0;
    std::int32_t sizeMin = 0;
    std::int32_t sizeMax = 0;
};

inline constexpr std::uint16_t kBoldFontType = 0x100;
inline constexpr std::uint16_t kItalicFontType = 0x200;
inline constexpr std::uint16_t kRegularFontType = 0x400;
inline constexpr std::uint16_t kScreenFontType = 0x2000;

// A movable memory block; an empty optional is a null handle.
using MemoryBlock = std::optional<std::vector<std::uint8_t>>;

// The print dialog's record (66 bytes). The device-mode and device-names blocks are handed
// in and may be replaced by the dialog.
struct PrintDlg {
    std::uint32_t structSize = 0;
    Handle owner = 0;
    MemoryBlock devMode;
    MemoryBlock devNames;
    Handle dc = 0;
    std::uint32_t flags = 0;
    std::uint16_t fromPage = 0;
    std::uint16_t toPage = 0;
    std::uint16_t minPage = 0;
    std::uint16_t maxPage = 0;
    std::uint16_t copies = 0;
    Handle instance = 0;
    std::int32_t custData = 0;
    Handle printHook = 0;
    Handle setupHook = 0;
    std::string printTemplateName;
    std::string setupTemplateName;
    Handle printTemplate = 0;
    Handle setupTemplate = 0;
};

inline constexpr std::uint32_t kPrintReturnDc = 0x100;
inline constexpr std::uint32_t kPrintReturnIc = 0x200;

// The device-mode record: 122 bytes, little-endian.
namespace devmode
{
inline constexpr std::size_t kSize = 122;
inline constexpr std::size_t kDeviceName = 0; // 32 characters
inline constexpr std::size_t kDeviceNameLength = 32;
inline constexpr std::size_t kSpecVersion = 32;
inline constexpr std::size_t kDriverVersion = 34;
inline constexpr std::size_t kSizeField = 36;
inline constexpr std::size_t kDriverExtra = 38;
inline constexpr std::size_t kFields = 40; // 32-bit
inline constexpr std::size_t kOrientation = 44;
inline constexpr std::size_t kPaperSize = 46;
inline constexpr std::size_t kCopies = 54;
inline constexpr std::size_t kDuplex = 62;
inline constexpr std::size_t kCollate = 68;
inline constexpr std::size_t kFormName = 70; // 32 characters
inline constexpr std::uint32_t kFieldOrientation = 0x1;
inline constexpr std::uint32_t kFieldCopies = 0x100;
inline constexpr std::uint32_t kFieldDuplex = 0x1000;
} // namespace devmode

// The device-names record: four 16-bit offsets (in characters from the record's start), then
// a names area of 100 characters.
namespace devnames
{
inline constexpr std::size_t kSize = 108;
inline constexpr std::size_t kDriverOffset = 0;
inline constexpr std::size_t kDeviceOffset = 2;
inline constexpr std::size_t kOutputOffset = 4;
inline constexpr std::size_t kDefault = 6;
inline constexpr std::size_t kNames = 8;
inline constexpr std::size_t kNamesLength = 100;
} // namespace devnames

std::uint16_t readU16(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::uint32_t readU32(const std::vector<std::uint8_t>& bytes, std::size_t at);
void writeU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value);
void writeU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);
// The text at `at` up to its first NUL, at most `length` bytes.
std::string readText(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t length);
// Writes `text` left-aligned into a field of `length` bytes, cut at it, the rest filled with `fill`.
void writeText(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t length, const std::string& text,
               char fill);

// The folder browser's record.
struct BrowseInfo {
    Handle owner = 0;
    Handle root = 0; // item list, 0 for the desktop
    std::optional<std::string> displayName;
    std::string title;
    std::uint32_t flags = 0;
    Handle callback = 0;
    std::int32_t callbackParam = 0;
    std::int32_t image = 0;
};

// Object kinds of the object-properties dialog.
inline constexpr std::uint32_t kObjectPrinter = 1;
inline constexpr std::uint32_t kObjectFilePath = 2;

} // namespace dialogs
