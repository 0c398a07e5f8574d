// The print dialog and the current printer of Windows. The current printer is this process's
// choice and device mode: changing it never touches the system's default printer or the
// printer's own settings.
#include "dialogs/DialogErrors.h"
#include "dialogs/WindowsDialogPlatform.h"
#include "dialogs/WindowsDialogShared.h"

#include <winspool.h>

#include <array>
#include <cstring>

namespace dialogs
{

using win::fromHandle;
using win::optionalText;
using win::systemErrorText;
using win::toHandle;

namespace
{

// The record's size on the original 32-bit platform stands for the whole structure here.
constexpr std::uint32_t kPrintRecordSize = 66;

PlatformError lastError()
{
    return PlatformError(systemErrorText(GetLastError()));
}

// The device mode as the dialog is to see it. The record pads the device name with spaces as
// a fixed-length field; the system compares names up to their NUL, so the padding is cut.
void terminateDeviceName(std::vector<std::uint8_t>& devMode)
{
    if (devMode.size() < devmode::kDeviceNameLength)
        return;
    const auto name = devMode.begin() + devmode::kDeviceName;
    const auto end = name + devmode::kDeviceNameLength;
    if (std::find(name, end, 0) != end)
        return;
    auto text = end;
    while (text != name && *(text - 1) == ' ')
        --text;
    std::fill(text, end, 0);
}

// A movable block holding the bytes, or none for an empty block.
HGLOBAL toGlobal(const MemoryBlock& block)
{
    if (!block)
        return nullptr;
    const HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, std::max<std::size_t>(block->size(), 1));
    if (global == nullptr)
        throw lastError();
    if (void* bytes = GlobalLock(global)) {
        std::memcpy(bytes, block->data(), block->size());
        GlobalUnlock(global);
    }
    return global;
}

MemoryBlock fromGlobal(HGLOBAL global)
{
    if (global == nullptr)
        return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(global));
    if (bytes == nullptr)
        return std::vector<std::uint8_t>();
    std::vector<std::uint8_t> copy(bytes, bytes + GlobalSize(global));
    GlobalUnlock(global);
    return copy;
}

// A printer opened for its settings, closed when the scope ends.
class OpenedPrinter
{
  public:
    explicit OpenedPrinter(const std::string& name) : m_name(name.begin(), name.end())
    {
        m_name.push_back('\0');
        if (!OpenPrinterA(m_name.data(), &m_handle, nullptr))
            throw lastError();
    }
    ~OpenedPrinter() { ClosePrinter(m_handle); }
    OpenedPrinter(const OpenedPrinter&) = delete;
    OpenedPrinter& operator=(const OpenedPrinter&) = delete;

    // The driver's device mode: its defaults, or `in` merged into them.
    std::vector<std::uint8_t> devMode(const std::vector<std::uint8_t>* in = nullptr)
    {
        const LONG size = DocumentPropertiesA(nullptr, m_handle, m_name.data(), nullptr, nullptr, 0);
        if (size <= 0)
            throw lastError();
        std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
        std::vector<std::uint8_t> input = in != nullptr ? *in : std::vector<std::uint8_t>();
        const DWORD mode = in != nullptr ? DM_IN_BUFFER | DM_OUT_BUFFER : DM_OUT_BUFFER;
        if (DocumentPropertiesA(nullptr, m_handle, m_name.data(), reinterpret_cast<DEVMODEA*>(out.data()),
                                in != nullptr ? reinterpret_cast<DEVMODEA*>(input.data()) : nullptr, mode) != IDOK)
            throw lastError();
        return out;
    }

    // The driver and the port of the printer's record.
    std::pair<std::string, std::string> driverAndPort()
    {
        DWORD needed = 0;
        GetPrinterA(m_handle, 2, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        if (needed == 0 || !GetPrinterA(m_handle, 2, buffer.data(), needed, &needed))
            throw lastError();
        const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
        return {info->pDriverName != nullptr ? info->pDriverName : "",
                info->pPortName != nullptr ? info->pPortName : ""};
    }

  private:
    std::vector<char> m_name;
    HANDLE m_handle = nullptr;
};

DEVMODEA& fieldsOf(std::vector<std::uint8_t>& devMode)
{
    return *reinterpret_cast<DEVMODEA*>(devMode.data());
}

} // namespace

std::int32_t WindowsDialogPlatform::printDialog(PrintDlg& record)
{
    MemoryBlock devMode = record.devMode;
    if (devMode)
        terminateDeviceName(*devMode);
    PRINTDLGA pd{};
    pd.lStructSize = record.structSize == kPrintRecordSize ? sizeof(PRINTDLGA) : record.structSize;
    pd.hwndOwner = fromHandle<HWND>(record.owner);
    pd.hDevMode = toGlobal(devMode);
    try {
        pd.hDevNames = toGlobal(record.devNames);
    } catch (...) {
        GlobalFree(pd.hDevMode);
        throw;
    }
    pd.hDC = fromHandle<HDC>(record.dc);
    pd.Flags = record.flags;
    pd.nFromPage = record.fromPage;
    pd.nToPage = record.toPage;
    pd.nMinPage = record.minPage;
    pd.nMaxPage = record.maxPage;
    pd.nCopies = record.copies;
    pd.hInstance = win::instanceFromHandle(record.instance);
    pd.lCustData = record.custData;
    // Hooks and template handles in a 32-bit record cannot be used here.
    pd.lpfnPrintHook = nullptr;
    pd.lpfnSetupHook = nullptr;
    pd.lpPrintTemplateName = optionalText(record.printTemplateName);
    pd.lpSetupTemplateName = optionalText(record.setupTemplateName);
    const BOOL result = PrintDlgA(&pd);

    // The dialog may have replaced the blocks; what the record names now is read and freed.
    record.devMode = fromGlobal(pd.hDevMode);
    record.devNames = fromGlobal(pd.hDevNames);
    if (pd.hDevMode != nullptr)
        GlobalFree(pd.hDevMode);
    if (pd.hDevNames != nullptr)
        GlobalFree(pd.hDevNames);
    record.dc = toHandle(pd.hDC);
    record.flags = pd.Flags;
    record.fromPage = pd.nFromPage;
    record.toPage = pd.nToPage;
    record.copies = pd.nCopies;
    return result;
}

WindowsDialogPlatform::CurrentPrinter& WindowsDialogPlatform::currentPrinter()
{
    if (!m_currentPrinter) {
        std::string name;
        DWORD size = 0;
        GetDefaultPrinterA(nullptr, &size);
        if (size > 0) {
            std::vector<char> buffer(size);
            if (GetDefaultPrinterA(buffer.data(), &size))
                name = buffer.data();
        }
        if (name.empty()) {
            const std::vector<std::string> installed = installedPrinterNames();
            if (installed.empty())
                throw PlatformError("No printers are installed.");
            name = installed.front();
        }
        OpenedPrinter printer(name);
        m_currentPrinter = CurrentPrinter{name, printer.devMode()};
    }
    return *m_currentPrinter;
}

void WindowsDialogPlatform::applyCurrentDevMode(std::vector<std::uint8_t> devMode)
{
    OpenedPrinter printer(currentPrinter().name);
    m_currentPrinter->devMode = printer.devMode(&devMode);
}

std::pair<std::string, std::string> WindowsDialogPlatform::currentPrinterDriverAndPort()
{
    const std::string& name = currentPrinter().name;
    // The system's list of devices names the driver and port its print dialog reports.
    std::array<char, 512> entry{};
    GetProfileStringA("Devices", name.c_str(), "", entry.data(), static_cast<DWORD>(entry.size()));
    const std::string_view text(entry.data());
    if (const auto comma = text.find(','); comma != std::string_view::npos) {
        const std::string_view port = text.substr(comma + 1);
        return {std::string(text.substr(0, comma)), std::string(port.substr(0, port.find(',')))};
    }
    OpenedPrinter printer(name);
    return printer.driverAndPort();
}

std::string WindowsDialogPlatform::currentPrinterDeviceName()
{
    return currentPrinter().name;
}

std::string WindowsDialogPlatform::currentPrinterDriverName()
{
    return currentPrinterDriverAndPort().first;
}

std::string WindowsDialogPlatform::currentPrinterPort()
{
    return currentPrinterDriverAndPort().second;
}

std::int16_t WindowsDialogPlatform::currentPrinterOrientation()
{
    const DEVMODEA& dm = fieldsOf(currentPrinter().devMode);
    if (!(dm.dmFields & DM_ORIENTATION))
        throw PlatformError("The printer does not report its orientation.");
    return dm.dmOrientation;
}

std::int16_t WindowsDialogPlatform::currentPrinterDuplex()
{
    const DEVMODEA& dm = fieldsOf(currentPrinter().devMode);
    if (!(dm.dmFields & DM_DUPLEX))
        throw PlatformError("The printer does not report its duplex mode.");
    return dm.dmDuplex;
}

std::vector<std::string> WindowsDialogPlatform::installedPrinterNames()
{
    constexpr DWORD kWhich = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersA(kWhich, nullptr, 4, nullptr, 0, &needed, &count);
    if (needed == 0)
        return {};
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersA(kWhich, nullptr, 4, buffer.data(), needed, &needed, &count))
        throw lastError();
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
    std::vector<std::string> names;
    for (DWORD i = 0; i < count; ++i)
        names.emplace_back(printers[i].pPrinterName != nullptr ? printers[i].pPrinterName : "");
    return names;
}

void WindowsDialogPlatform::makeCurrentPrinter(std::size_t installedIndex)
{
    const std::vector<std::string> names = installedPrinterNames();
    if (installedIndex >= names.size())
        throw PlatformError("Subscript out of range");
    OpenedPrinter printer(names[installedIndex]);
    m_currentPrinter = CurrentPrinter{names[installedIndex], printer.devMode()};
}

void WindowsDialogPlatform::setCurrentPrinterCopies(std::int16_t copies)
{
    if (copies < 1)
        throw PlatformError("Invalid number of copies");
    std::vector<std::uint8_t> devMode = currentPrinter().devMode;
    fieldsOf(devMode).dmCopies = copies;
    fieldsOf(devMode).dmFields |= DM_COPIES;
    applyCurrentDevMode(std::move(devMode));
}

void WindowsDialogPlatform::setCurrentPrinterDuplex(std::int16_t duplex)
{
    if (duplex < DMDUP_SIMPLEX || duplex > DMDUP_HORIZONTAL)
        throw PlatformError("Invalid duplex mode");
    std::vector<std::uint8_t> devMode = currentPrinter().devMode;
    fieldsOf(devMode).dmDuplex = duplex;
    fieldsOf(devMode).dmFields |= DM_DUPLEX;
    applyCurrentDevMode(std::move(devMode));
}

void WindowsDialogPlatform::setCurrentPrinterOrientation(std::int16_t orientation)
{
    if (orientation != DMORIENT_PORTRAIT && orientation != DMORIENT_LANDSCAPE)
        throw PlatformError("Invalid orientation");
    std::vector<std::uint8_t> devMode = currentPrinter().devMode;
    fieldsOf(devMode).dmOrientation = orientation;
    fieldsOf(devMode).dmFields |= DM_ORIENTATION;
    applyCurrentDevMode(std::move(devMode));
}

} // namespace dialogs
