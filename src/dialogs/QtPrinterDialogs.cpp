// The print dialog and the current printer, on Qt.
#include "dialogs/AnsiText.h"
#include "dialogs/DialogErrors.h"
#include "dialogs/QtDialogPlatform.h"
#include "dialogs/QtDialogShared.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace dialogs
{
namespace
{
// Print flags.
constexpr std::uint32_t kPdSelection = 0x1;
constexpr std::uint32_t kPdPageNums = 0x2;
constexpr std::uint32_t kPdNoSelection = 0x4;
constexpr std::uint32_t kPdNoPageNums = 0x8;
constexpr std::uint32_t kPdCollate = 0x10;
constexpr std::uint32_t kPdPrintToFile = 0x20;
constexpr std::uint32_t kPdPrintSetup = 0x40;
constexpr std::uint32_t kPdDisablePrintToFile = 0x80000;
} // namespace

std::int32_t QtDialogPlatform::printDialog(PrintDlg& record)
{
    QPrinter printer;
    QString wanted;
    if (record.devNames && record.devNames->size() >= devnames::kNames) {
        const std::size_t at = readU16(*record.devNames, devnames::kDeviceOffset);
        wanted =
            fromAnsi(readText(*record.devNames, at, record.devNames->size() - std::min(at, record.devNames->size())));
    }
    if (wanted.isEmpty() && record.devMode && record.devMode->size() >= devmode::kSize)
        wanted = fromAnsi(readText(*record.devMode, devmode::kDeviceName, devmode::kDeviceNameLength)).trimmed();
    if (QPrinterInfo::availablePrinterNames().contains(wanted))
        printer.setPrinterName(wanted);
    if (record.devMode && record.devMode->size() >= devmode::kSize) {
        const std::vector<std::uint8_t>& dm = *record.devMode;
        const std::uint32_t fields = readU32(dm, devmode::kFields);
        if (fields & devmode::kFieldOrientation)
            printer.setPageOrientation(readU16(dm, devmode::kOrientation) == 2 ? QPageLayout::Landscape
                                                                               : QPageLayout::Portrait);
        if ((fields & devmode::kFieldCopies) && readU16(dm, devmode::kCopies) > 0)
            printer.setCopyCount(readU16(dm, devmode::kCopies));
        if (fields & devmode::kFieldDuplex) {
            const std::uint16_t duplex = readU16(dm, devmode::kDuplex);
            printer.setDuplex(duplex == 2   ? QPrinter::DuplexLongSide
                              : duplex == 3 ? QPrinter::DuplexShortSide
                                            : QPrinter::DuplexNone);
        }
    }
    printer.setCollateCopies(record.flags & kPdCollate);
    QWidget* owner = ownerWidget(record.owner);
    if (record.flags & kPdPrintSetup) {
        QPageSetupDialog setup(&printer, owner);
        if (setup.exec() != QDialog::Accepted)
            return 0;
    } else {
        QPrintDialog dialog(&printer, owner);
        QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintShowPageSize;
        if (!(record.flags & kPdDisablePrintToFile))
            options |= QAbstractPrintDialog::PrintToFile;
        if (!(record.flags & kPdNoSelection))
            options |= QAbstractPrintDialog::PrintSelection;
        if (!(record.flags & kPdNoPageNums))
            options |= QAbstractPrintDialog::PrintPageRange;
        options |= QAbstractPrintDialog::PrintCollateCopies;
        dialog.setOptions(options);
        if (record.flags & kPdSelection)
            dialog.setPrintRange(QAbstractPrintDialog::Selection);
        else if (record.flags & kPdPageNums)
            dialog.setPrintRange(QAbstractPrintDialog::PageRange);
        if (dialog.exec() != QDialog::Accepted)
            return 0;
        record.flags &= ~(kPdSelection | kPdPageNums | kPdCollate | kPdPrintToFile);
        if (dialog.printRange() == QAbstractPrintDialog::Selection)
            record.flags |= kPdSelection;
        else if (dialog.printRange() == QAbstractPrintDialog::PageRange)
            record.flags |= kPdPageNums;
        if (printer.collateCopies())
            record.flags |= kPdCollate;
        if (!printer.outputFileName().isEmpty())
            record.flags |= kPdPrintToFile;
        record.fromPage = static_cast<std::uint16_t>(printer.fromPage());
        record.toPage = static_cast<std::uint16_t>(printer.toPage());
    }

    const std::string name = toAnsi(printer.printerName()).substr(0, devmode::kDeviceNameLength - 1);
    std::vector<std::uint8_t> dm(devmode::kSize, 0);
    writeText(dm, devmode::kDeviceName, devmode::kDeviceNameLength, name, '\0');
    writeU16(dm, devmode::kSizeField, static_cast<std::uint16_t>(devmode::kSize));
    writeU32(dm, devmode::kFields, devmode::kFieldOrientation | devmode::kFieldCopies | devmode::kFieldDuplex);
    writeU16(dm, devmode::kOrientation, printer.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1);
    writeU16(dm, devmode::kCopies, static_cast<std::uint16_t>(printer.copyCount()));
    const QPrinter::DuplexMode duplex = printer.duplex();
    writeU16(dm, devmode::kDuplex,
             duplex == QPrinter::DuplexLongSide    ? 2
             : duplex == QPrinter::DuplexShortSide ? 3
                                                   : 1);
    writeU16(dm, devmode::kCollate, printer.collateCopies() ? 1 : 0);
    record.devMode = dm;

    const QPrinterInfo info = QPrinterInfo::printerInfo(printer.printerName());
    const std::string driver = toAnsi(info.makeAndModel());
    const std::string port = toAnsi(info.location());
    const std::string names = driver + '\0' + name + '\0' + port + '\0';
    std::vector<std::uint8_t> dn(devnames::kNames + names.size(), 0);
    writeU16(dn, devnames::kDriverOffset, static_cast<std::uint16_t>(devnames::kNames));
    writeU16(dn, devnames::kDeviceOffset, static_cast<std::uint16_t>(devnames::kNames + driver.size() + 1));
    writeU16(dn, devnames::kOutputOffset,
             static_cast<std::uint16_t>(devnames::kNames + driver.size() + name.size() + 2));
    writeText(dn, devnames::kNames, names.size(), names, '\0');
    record.devNames = dn;

    if (record.flags & (kPrintReturnDc | kPrintReturnIc)) {
        record.dc = newHandle();
        m_deviceContexts.insert(record.dc);
    } else {
        record.dc = 0;
    }
    return 1;
}

QtDialogPlatform::CurrentPrinter& QtDialogPlatform::currentPrinter()
{
    if (!m_currentPrinter) {
        QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            const QStringList names = QPrinterInfo::availablePrinterNames();
            if (names.isEmpty())
                throw PlatformError("No printers are installed.");
            info = QPrinterInfo::printerInfo(names.front());
        }
        m_currentPrinter = CurrentPrinter{info.printerName()};
        m_currentPrinter->duplex = info.defaultDuplexMode() == QPrinter::DuplexLongSide    ? 2
                                   : info.defaultDuplexMode() == QPrinter::DuplexShortSide ? 3
                                                                                           : 1;
    }
    return *m_currentPrinter;
}

std::string QtDialogPlatform::currentPrinterDeviceName()
{
    return toAnsi(currentPrinter().name);
}

std::string QtDialogPlatform::currentPrinterDriverName()
{
    return toAnsi(QPrinterInfo::printerInfo(currentPrinter().name).makeAndModel());
}

std::string QtDialogPlatform::currentPrinterPort()
{
    return toAnsi(QPrinterInfo::printerInfo(currentPrinter().name).location());
}

std::int16_t QtDialogPlatform::currentPrinterOrientation()
{
    return currentPrinter().orientation;
}

std::int16_t QtDialogPlatform::currentPrinterDuplex()
{
    return currentPrinter().duplex;
}

std::vector<std::string> QtDialogPlatform::installedPrinterNames()
{
    std::vector<std::string> names;
    for (const QString& name : QPrinterInfo::availablePrinterNames())
        names.push_back(toAnsi(name));
    return names;
}

void QtDialogPlatform::makeCurrentPrinter(std::size_t installedIndex)
{
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (installedIndex >= static_cast<std::size_t>(names.size()))
        throw PlatformError("Subscript out of range");
    m_currentPrinter = CurrentPrinter{names[static_cast<qsizetype>(installedIndex)]};
}

void QtDialogPlatform::setCurrentPrinterCopies(std::int16_t copies)
{
    if (copies < 1)
        throw PlatformError("Invalid number of copies");
    currentPrinter().copies = copies;
}

void QtDialogPlatform::setCurrentPrinterDuplex(std::int16_t duplex)
{
    if (duplex < 1 || duplex > 3)
        throw PlatformError("Invalid duplex mode");
    currentPrinter().duplex = duplex;
}

void QtDialogPlatform::setCurrentPrinterOrientation(std::int16_t orientation)
{
    if (orientation != 1 && orientation != 2)
        throw PlatformError("Invalid orientation");
    currentPrinter().orientation = orientation;
}

} // namespace dialogs
