// The font and printer dialogs of CdlgEx.
#include "dialogs/CdlgEx.h"

#include "dialogs/AnsiText.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace dialogs
{
namespace
{

constexpr std::uint32_t kFontDialogFlags = 0x141; // screen fonts, from the LOGFONT, effects
constexpr std::uint32_t kPrintDialogFlagMask = 0x1C0FFF;
constexpr std::uint32_t kExclamationIcon = 48;
constexpr std::size_t kFaceBufferLength = 79;

// A device context of a window, released when the scope ends unless handed on.
class DeviceContext
{
  public:
    DeviceContext(DialogPlatform& platform, Handle window)
        : m_platform(platform), m_window(window), m_dc(platform.acquireDeviceContext(window))
    {
    }
    ~DeviceContext()
    {
        if (m_dc != 0)
            m_platform.releaseDeviceContext(m_window, m_dc);
    }
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;
    Handle get() const { return m_dc; }
    // The context now belongs to someone else and is not released here.
    void handOver() { m_dc = 0; }

  private:
    DialogPlatform& m_platform;
    Handle m_window;
    Handle m_dc;
};

std::int32_t toInt32OrOverflow(double value)
{
    if (!(value >= std::numeric_limits<std::int32_t>::min() - 0.5 &&
          value < std::numeric_limits<std::int32_t>::max() + 0.5))
        throw RuntimeError(kErrOverflow, "Overflow");
    // Halves go to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<std::int32_t>::min() || rounded > std::numeric_limits<std::int32_t>::max())
        throw RuntimeError(kErrOverflow, "Overflow");
    return static_cast<std::int32_t>(rounded);
}

std::string upperAnsi(const std::string& text)
{
    return toAnsi(fromAnsi(text).toUpper());
}

} // namespace

void CdlgEx::ShowFont()
{
    LogFont font;
    const std::string face = toAnsi(m_fontName) + '\0';
    if (face.size() > font.faceName.size())
        throw RuntimeError(kErrSubscriptOutOfRange, "Subscript out of range");
    std::memcpy(font.faceName.data(), face.data(), face.size());
    const std::int64_t tenths = static_cast<std::int64_t>(m_fontSize) * 10;
    if (tenths > std::numeric_limits<std::int32_t>::max() || tenths < std::numeric_limits<std::int32_t>::min())
        throw RuntimeError(kErrOverflow, "Overflow");

    DeviceContext screen(m_platform, m_hOwner);
    const std::int32_t dpi = m_platform.verticalDpi(screen.get());
    font.height = toInt32OrOverflow(m_fontSize / 72.0 * dpi);
    font.italic = m_italic ? 1 : 0;
    font.underline = m_underline ? 1 : 0;
    font.strikeOut = m_strikeThru ? 1 : 0;
    font.weight = m_bold ? 700 : 0;

    DeviceContext dialogDc(m_platform, m_hOwner);
    ChooseFont record;
    record.structSize = 60;
    record.owner = m_hOwner;
    record.dc = dialogDc.get();
    record.logFont = &font;
    record.pointSize = static_cast<std::int32_t>(tenths);
    record.flags = kFontDialogFlags;
    record.color = static_cast<std::uint32_t>(m_rgbResult);
    record.fontType = kScreenFontType;
    m_lastResult = m_platform.fontDialog(record);
    if (m_lastResult == 0) {
        raiseCancelError();
        return;
    }
    m_italic = font.italic != 0;
    m_underline = font.underline != 0;
    m_strikeThru = font.strikeOut != 0;
    m_fontSize = record.pointSize / 10;
    m_rgbResult = static_cast<int>(record.color);
    m_bold = (record.fontType & kBoldFontType) != 0;
    // The name the device context reports for the created font, which may differ from the typed one.
    if (const auto resolved = m_platform.resolvedFaceName(dialogDc.get(), font)) {
        const std::string name = resolved->substr(0, kFaceBufferLength);
        m_lastResult = static_cast<std::int32_t>(name.size());
        m_fontName = fromAnsi(name);
    }
}

void CdlgEx::fillDevMode(std::vector<std::uint8_t>& devMode)
{
    // A failed read of the name or orientation is shown once per call and skipped, so a
    // machine without printers still ends the call.
    bool errorShown = false;
    const auto report = [&](const PlatformError& error) {
        if (!errorShown)
            m_platform.messageBox(error.what(), kExclamationIcon, "Printer Error");
        errorShown = true;
    };
    try {
        writeText(devMode, devmode::kDeviceName, devmode::kDeviceNameLength, m_platform.currentPrinterDeviceName(),
                  ' ');
    } catch (const PlatformError& error) {
        report(error);
    }
    writeU16(devMode, devmode::kSizeField, static_cast<std::uint16_t>(devmode::kSize));
    writeU32(devMode, devmode::kFields, devmode::kFieldOrientation | devmode::kFieldDuplex);
    try {
        writeU16(devMode, devmode::kOrientation, static_cast<std::uint16_t>(m_platform.currentPrinterOrientation()));
    } catch (const PlatformError& error) {
        report(error);
    }
    try {
        writeU16(devMode, devmode::kDuplex, static_cast<std::uint16_t>(m_platform.currentPrinterDuplex()));
    } catch (const PlatformError&) {
        // The duplex mode is optional; the field stays 0.
    }
}

std::vector<std::uint8_t> CdlgEx::buildDevNames()
{
    const std::string driver = m_platform.currentPrinterDriverName();
    const std::string device = m_platform.currentPrinterDeviceName();
    const std::string port = m_platform.currentPrinterPort();
    std::vector<std::uint8_t> devNames(devnames::kSize, 0);
    const auto driverOffset = static_cast<std::uint16_t>(devnames::kNames);
    const auto deviceOffset = static_cast<std::uint16_t>(driverOffset + driver.size() + 1);
    const auto outputOffset = static_cast<std::uint16_t>(deviceOffset + device.size() + 1);
    writeU16(devNames, devnames::kDriverOffset, driverOffset);
    writeU16(devNames, devnames::kDeviceOffset, deviceOffset);
    writeU16(devNames, devnames::kOutputOffset, outputOffset);
    writeU16(devNames, devnames::kDefault, 0);
    const std::string names = driver + '\0' + device + '\0' + port + '\0';
    writeText(devNames, devnames::kNames, devnames::kNamesLength, names, ' ');
    return devNames;
}

void CdlgEx::applyChosenPrinter(const std::vector<std::uint8_t>& devMode)
{
    std::string chosen = readText(devMode, devmode::kDeviceName, devmode::kDeviceNameLength);
    if (chosen.size() == devmode::kDeviceNameLength) // a full field has no NUL: drop its padding
        chosen.erase(chosen.find_last_not_of(' ') + 1);
    const std::string key = upperAnsi(chosen);
    if (m_platform.currentPrinterDeviceName() != key) {
        const std::vector<std::string> installed = m_platform.installedPrinterNames();
        for (std::size_t i = 0; i < installed.size(); ++i)
            if (upperAnsi(installed[i]) == key)
                m_platform.makeCurrentPrinter(i);
    }
    const auto field = [&](std::size_t at) { return static_cast<std::int16_t>(readU16(devMode, at)); };
    try {
        m_platform.setCurrentPrinterCopies(field(devmode::kCopies));
    } catch (const PlatformError&) {
    }
    try {
        m_platform.setCurrentPrinterDuplex(field(devmode::kDuplex));
    } catch (const PlatformError&) {
    }
    try {
        m_platform.setCurrentPrinterOrientation(field(devmode::kOrientation));
    } catch (const PlatformError&) {
    }
}

void CdlgEx::ShowPrinter()
{
    DeviceContext ownerDc(m_platform, m_hOwner);
    PrintDlg record;
    record.structSize = 66;
    record.owner = m_hOwner;
    record.dc = ownerDc.get();
    record.flags = static_cast<std::uint32_t>(m_flags) & kPrintDialogFlagMask;

    std::vector<std::uint8_t> devMode(devmode::kSize, 0);
    fillDevMode(devMode);
    record.devMode = devMode;
    record.devNames = buildDevNames();
    m_lastResult = 0; // the result of unlocking the blocks

    m_lastResult = m_platform.printDialog(record);
    if (m_lastResult == 0) {
        raiseCancelError();
        return;
    }
    // The returned device context is the caller's now, through hOwner.
    m_hOwner = record.dc;
    if (record.dc == ownerDc.get())
        ownerDc.handOver();
    if (record.devMode && record.devMode->size() >= devmode::kSize)
        std::copy_n(record.devMode->begin(), devmode::kSize, devMode.begin());
    applyChosenPrinter(devMode);
}

} // namespace dialogs
