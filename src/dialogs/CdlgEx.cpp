#include "dialogs/CdlgEx.h"

#include "dialogs/AnsiText.h"
#include "dialogs/DesktopDialogs.h"

namespace dialogs
{
namespace
{

// Bits 5-7 of flags would ask the open/save dialog for a hook or a template.
constexpr std::uint32_t kFileDialogFlagMask = 0xFFFFFF1F;
constexpr std::uint32_t kColorDialogFlagMask = 0xF;
// The replacement loop over the filter counts with a 16-bit integer.
constexpr qsizetype kMaxFilterLength = 32767;

} // namespace

CdlgEx::CdlgEx(QObject* parent) : CdlgEx(desktopDialogs(), parent) {}

CdlgEx::CdlgEx(DialogPlatform& platform, QObject* parent) : QObject(parent), m_platform(platform) {}

void CdlgEx::setAction(int New_Action)
{
    switch (New_Action) {
    case 1:
        ShowOpen();
        break;
    case 2:
        ShowSave();
        break;
    case 3:
        ShowColor();
        break;
    case 4:
        ShowFont();
        break;
    case 5:
        ShowPrinter();
        break;
    case 6:
        ShowHelp();
        break;
    case 7:
        ShowAbout();
        break;
    case 8:
        ShowFolder();
        break;
    case 9:
        ShowFormat(0, 0, 0);
        break;
    case 10:
        ShowIcon();
        break;
    case 12:
        ShowRestart();
        break;
    case 13:
        ShowRun();
        break;
    case 14:
        ShowShutDown();
        break;
    default: // 11 and every number without a dialog do nothing
        break;
    }
}

int CdlgEx::IconSize()
{
    if (m_iconSize != 16 && m_iconSize != 32)
        m_iconSize = 32;
    return m_iconSize;
}

void CdlgEx::letIconSize(int& nSize)
{
    if (nSize != 16 && nSize != 32)
        nSize = 32;
    m_iconSize = nSize;
}

void CdlgEx::raiseCancelError() const
{
    if (m_cancelError)
        throw DialogCancelError(m_lastResult);
}

void CdlgEx::PrepareFileDialog()
{
    // Check everything before the kept record is touched, so a refused call changes nothing.
    if (m_filter.size() > kMaxFilterLength)
        throw RuntimeError(kErrOverflow, "Overflow");
    const std::string file = toAnsi(m_fileName);
    if (file.size() > kFileBufferLength)
        throw RuntimeError(kErrInvalidArgument, "FileName is longer than the " + std::to_string(kFileBufferLength) +
                                                    "-character file buffer");

    m_ofn.structSize = 76;
    m_ofn.owner = m_hOwner;
    m_ofn.flags = static_cast<std::uint32_t>(m_flags) & kFileDialogFlagMask;
    m_ofn.defExt = toAnsi(m_defaultExt);
    m_ofn.initialDir = m_initDir.isEmpty() ? m_platform.programFolder() : toAnsi(m_initDir);
    m_ofn.file = file + std::string(kFileBufferLength - file.size(), '\0');
    m_ofn.maxFile = kFileBufferLength;
    m_ofn.fileTitle = std::string(kFileBufferLength, '\0');
    m_ofn.maxFileTitle = kFileBufferLength;
    QString filter = m_filter;
    filter.replace(QLatin1Char('|'), QChar(u'\0'));
    m_ofn.filter = toAnsi(filter) + std::string(2, '\0');
    m_ofn.filterIndex = static_cast<std::uint32_t>(m_filterIndex);
    m_ofn.title = toAnsi(m_dialogTitle);
    m_ofn.instance = m_platform.moduleInstance();
}

void CdlgEx::readBackFileDialog(std::int32_t result)
{
    if (result > 0) {
        if (m_ofn.fileTitle.find('\0') != std::string::npos)
            m_fileTitle = fromAnsi(beforeNul(m_ofn.fileTitle));
        if (m_ofn.file.find('\0') != std::string::npos)
            m_fileName = fromAnsi(beforeNul(m_ofn.file));
        return;
    }
    raiseCancelError();
}

void CdlgEx::ShowOpen()
{
    PrepareFileDialog();
    m_lastResult = m_platform.openFileDialog(m_ofn);
    readBackFileDialog(m_lastResult);
}

void CdlgEx::ShowSave()
{
    PrepareFileDialog();
    m_lastResult = m_platform.saveFileDialog(m_ofn);
    readBackFileDialog(m_lastResult);
}

void CdlgEx::ShowHelp()
{
    // A failed help call raises nothing.
    m_lastResult = m_platform.help(m_hOwner, toAnsi(m_helpFile), static_cast<std::uint32_t>(m_helpCommand),
                                   static_cast<std::uint32_t>(m_helpKey));
}

void CdlgEx::ShowColor()
{
    // The custom colours start white on every call and are not kept.
    std::array<std::uint32_t, 16> customColors;
    customColors.fill(0xFFFFFFFF);
    ChooseColor record;
    record.structSize = 36;
    record.owner = m_hOwner;
    record.instance = m_platform.moduleInstance();
    record.rgbResult = static_cast<std::uint32_t>(m_rgbResult);
    record.custColors = &customColors;
    record.flags = static_cast<std::uint32_t>(m_flags) & kColorDialogFlagMask;
    m_lastResult = m_platform.colorDialog(record);
    if (m_lastResult != 0) {
        m_rgbResult = static_cast<int>(record.rgbResult);
        return;
    }
    raiseCancelError();
}

} // namespace dialogs
