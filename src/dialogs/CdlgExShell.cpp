// The shell dialogs of CdlgEx and the control-panel launcher.
#include "dialogs/CdlgEx.h"

#include "dialogs/AnsiText.h"

#include <array>
#include <string_view>

namespace dialogs
{
namespace
{

// The pick-icon and folder buffers hold 260 characters.
constexpr std::size_t kPathBufferLength = 260;
constexpr std::int32_t kNormalWindowWithFocus = 1;

// Command lines of the control-panel applets, by object kind 3 to 9.
constexpr std::array<std::string_view, 7> kAppletCommands{
    "rundll32.exe shell32.dll,Control_RunDLL main.cpl,,0",   "rundll32.exe shell32.dll,Control_RunDLL intl.cpl,,0",
    "rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl,,0",  "rundll32.exe shell32.dll,Control_RunDLL timedate.cpl,,0",
    "rundll32.exe shell32.dll,Control_RunDLL netcpl.cpl,,0", "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,0",
    "rundll32.exe shell32.dll,Control_RunDLL inetcpl.cpl,,0"};

// Frees an item list when the scope ends, also on an error.
class ItemListGuard
{
  public:
    ItemListGuard(DialogPlatform& platform, Handle list) : m_platform(platform), m_list(list) {}
    ~ItemListGuard() { m_platform.freeItemList(m_list); }
    ItemListGuard(const ItemListGuard&) = delete;
    ItemListGuard& operator=(const ItemListGuard&) = delete;
    Handle get() const { return m_list; }

  private:
    DialogPlatform& m_platform;
    Handle m_list;
};

std::uint32_t bits(int value, std::uint32_t mask, int shift)
{
    return (static_cast<std::uint32_t>(value) & mask) >> shift;
}

} // namespace

QVariant CdlgEx::ShowShutDown()
{
    m_platform.shutDownDialog(m_hOwner);
    return {};
}

QVariant CdlgEx::ShowRestart()
{
    m_platform.restartDialog(m_hOwner, toAnsi(m_dialogPrompt), bits(m_flags, 0x7, 0));
    return {};
}

QVariant CdlgEx::ShowRun()
{
    m_platform.runDialog(m_hOwner, m_hIcon, std::nullopt, toAnsi(m_dialogTitle), toAnsi(m_dialogPrompt),
                         bits(m_flags, 0xF0, 4));
    return {};
}

int CdlgEx::ShowFormat(int iDrive, int iCapacity, int iFormatType)
{
    return m_platform.formatDrive(m_hOwner, static_cast<std::uint32_t>(iDrive), static_cast<std::uint32_t>(iCapacity),
                                  static_cast<std::uint32_t>(iFormatType));
}

QVariant CdlgEx::ShowIcon()
{
    if (m_fileName.endsWith(QLatin1Char('\\')))
        return {};
    // The picked file and index are not kept: FileName is left as it was.
    std::string buffer = toAnsi(m_fileName);
    if (buffer.size() > kPathBufferLength)
        throw RuntimeError(kErrInvalidArgument, "FileName is longer than the " + std::to_string(kPathBufferLength) +
                                                    "-character icon file buffer");
    buffer.resize(kPathBufferLength, '\0');
    std::int32_t index = 0;
    if (m_platform.pickIconDialog(m_hOwner, buffer, kPathBufferLength, index) == 0)
        return {};
    Handle large = 0;
    Handle small = 0;
    if (m_platform.extractIcons(std::string(beforeNul(buffer)), index, &large, &small, 1) > 0) {
        // The stored size decides: on a fresh instance it is 0, which keeps the small icon.
        m_hIcon = m_platform.copyIcon(m_iconSize == 32 ? large : small);
        m_platform.destroyIcon(small);
        m_platform.destroyIcon(large);
    }
    return {};
}

QString CdlgEx::ShowFolder()
{
    const ItemListGuard root(m_platform, m_platform.itemListFromPath(toAnsi(m_initDir)));
    BrowseInfo record;
    record.owner = m_hOwner;
    record.root = root.get();
    record.title = toAnsi(m_dialogPrompt);
    const std::uint32_t options = bits(m_flags, 0x7001, 0);
    record.flags = options >= 0x1000 ? options : 1;
    const ItemListGuard chosen(m_platform, m_platform.browseForFolder(record));
    std::string buffer(kPathBufferLength, '\0');
    if (m_platform.pathFromItemList(chosen.get(), buffer) != 0)
        setInitDir(fromAnsi(beforeNul(buffer)));
    // The folder is read from InitDir; the result is always empty.
    return {};
}

QVariant CdlgEx::ShowObjectProp(const QString& sObjectName, const QString& sTab)
{
    const std::uint32_t kind = bits(m_flags, 0xF00, 8);
    if (kind >= 3 && kind <= 9) {
        const std::string command(kAppletCommands[kind - 3]);
        if (m_platform.startProgram(command, kNormalWindowWithFocus) == 0)
            throw RuntimeError(kErrFileNotFound, "File not found: " + command);
        return {};
    }
    if (kind == kObjectPrinter || kind == kObjectFilePath)
        m_platform.objectProperties(m_hOwner, kind, toAnsi(sObjectName), toAnsi(sTab));
    else
        m_platform.objectProperties(m_hOwner, kObjectFilePath, std::string(), toAnsi(sTab));
    return {};
}

QVariant CdlgEx::ShowAbout()
{
    if (m_appName.isEmpty())
        m_appName = QString(QChar(u'\0'));
    m_platform.aboutBox(m_hOwner, toAnsi(m_appName), toAnsi(m_dialogPrompt), m_hIcon);
    return {};
}

void CdlgEx::ShowFindFiles()
{
    m_platform.findFiles(std::nullopt, std::nullopt);
}

} // namespace dialogs
