// The standard dialogs, device contexts and printers of this desktop, on Qt.
#include "dialogs/QtDialogPlatform.h"

#include "dialogs/AnsiText.h"
#include "dialogs/DialogErrors.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QUrl>

#include <cmath>

namespace dialogs
{
namespace
{

// Open/save flags.
constexpr std::uint32_t kOfnOverwritePrompt = 0x2;
constexpr std::uint32_t kOfnAllowMultiSelect = 0x200;
constexpr std::uint32_t kOfnFileMustExist = 0x1000;
// Colour, font and print flags.
constexpr std::uint32_t kCcRgbInit = 0x1;
constexpr std::uint32_t kCfInitToLogFont = 0x40;
constexpr std::uint32_t kPdSelection = 0x1;
constexpr std::uint32_t kPdPageNums = 0x2;
constexpr std::uint32_t kPdNoSelection = 0x4;
constexpr std::uint32_t kPdNoPageNums = 0x8;
constexpr std::uint32_t kPdCollate = 0x10;
constexpr std::uint32_t kPdPrintToFile = 0x20;
constexpr std::uint32_t kPdPrintSetup = 0x40;
constexpr std::uint32_t kPdDisablePrintToFile = 0x80000;
constexpr std::uint32_t kHelpQuit = 2;
constexpr std::size_t kFaceNameLength = 32; // the dialog writes at most 31 characters and a NUL

QColor fromColorRef(std::uint32_t ref)
{
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

std::uint32_t toColorRef(const QColor& color)
{
    return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

// "Text|*.txt;*.log" pairs, already split at NULs, become Qt name filters "Text (*.txt *.log)".
QStringList nameFilters(const std::string& filter)
{
    QStringList parts;
    std::string_view rest(filter);
    while (!rest.empty() && rest.front() != '\0') {
        const std::string_view item = beforeNul(rest);
        parts << fromAnsi(item);
        rest.remove_prefix(std::min(rest.size(), item.size() + 1));
    }
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                       QLatin1Char(')');
    return filters;
}

std::string nativePath(const QString& path)
{
    return toAnsi(QDir::toNativeSeparators(path));
}

// Writes `text` and NULs into a buffer of `capacity` characters; false when it does not fit.
bool fillBuffer(std::string& buffer, std::size_t capacity, const std::string& text)
{
    if (text.size() + 1 > capacity)
        return false;
    buffer = text + std::string(capacity - text.size(), '\0');
    return true;
}

QString faceNameOf(const LogFont& font)
{
    return fromAnsi(beforeNul(std::string_view(font.faceName.data(), font.faceName.size())));
}

} // namespace

QWidget* ownerWidget(Handle owner)
{
    QWidget* widget = owner != 0 ? QWidget::find(static_cast<WId>(owner)) : nullptr;
    return widget != nullptr ? widget : QApplication::activeWindow();
}

QtDialogPlatform& QtDialogPlatform::instance()
{
    static QtDialogPlatform platform;
    return platform;
}

std::string QtDialogPlatform::programFolder()
{
    return nativePath(QCoreApplication::applicationDirPath());
}

Handle QtDialogPlatform::moduleInstance()
{
    return 0x400000; // the conventional load address stands in for the module handle
}

std::int32_t QtDialogPlatform::openFileDialog(OpenFileName& record)
{
    return fileDialog(record, false);
}

std::int32_t QtDialogPlatform::saveFileDialog(OpenFileName& record)
{
    return fileDialog(record, true);
}

std::int32_t QtDialogPlatform::fileDialog(OpenFileName& record, bool save)
{
    QFileDialog dialog(ownerWidget(record.owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QString title = fromAnsi(record.title);
    dialog.setWindowTitle(!title.isEmpty() ? title : save ? QStringLiteral("Save As") : QStringLiteral("Open"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (save)
        dialog.setFileMode(QFileDialog::AnyFile);
    else if (record.flags & kOfnAllowMultiSelect)
        dialog.setFileMode(QFileDialog::ExistingFiles);
    else
        dialog.setFileMode(record.flags & kOfnFileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(record.flags & kOfnOverwritePrompt));
    const QStringList filters = nameFilters(record.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (record.filterIndex >= 1 && record.filterIndex <= static_cast<std::uint32_t>(filters.size()))
            dialog.selectNameFilter(filters[static_cast<qsizetype>(record.filterIndex) - 1]);
    }
    if (!record.initialDir.empty())
        dialog.setDirectory(fromAnsi(record.initialDir));
    if (!record.defExt.empty())
        dialog.setDefaultSuffix(fromAnsi(record.defExt));
    const QString initialFile = fromAnsi(beforeNul(record.file));
    if (!initialFile.isEmpty())
        dialog.selectFile(initialFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return 0;

    const QStringList files = dialog.selectedFiles();
    std::string result;
    if (files.size() > 1) { // folder, then each name, NUL-separated
        result = nativePath(QFileInfo(files.front()).absolutePath());
        for (const QString& file : files)
            result += '\0' + toAnsi(QFileInfo(file).fileName());
        result += '\0';
    } else {
        result = nativePath(files.front());
    }
    if (!fillBuffer(record.file, record.maxFile, result))
        return 0; // the buffer is too small
    const std::string name = toAnsi(QFileInfo(files.front()).fileName());
    if (record.maxFileTitle > 0)
        fillBuffer(record.fileTitle, record.maxFileTitle, name.substr(0, record.maxFileTitle - 1));
    if (files.size() == 1) {
        record.fileOffset = static_cast<std::uint16_t>(result.size() - name.size());
        const auto dot = name.rfind('.');
        record.fileExtension = dot == std::string::npos ? 0 : static_cast<std::uint16_t>(record.fileOffset + dot + 1);
    }
    record.filterIndex = static_cast<std::uint32_t>(filters.indexOf(dialog.selectedNameFilter()) + 1);
    return 1;
}

std::int32_t QtDialogPlatform::colorDialog(ChooseColor& record)
{
    QColorDialog dialog(ownerWidget(record.owner));
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (record.custColors != nullptr)
        for (int i = 0; i < 16; ++i)
            QColorDialog::setCustomColor(i, fromColorRef((*record.custColors)[static_cast<std::size_t>(i)]));
    dialog.setCurrentColor(record.flags & kCcRgbInit ? fromColorRef(record.rgbResult) : QColor(Qt::black));
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    record.rgbResult = toColorRef(dialog.selectedColor());
    if (record.custColors != nullptr)
        for (int i = 0; i < 16; ++i)
            (*record.custColors)[static_cast<std::size_t>(i)] = toColorRef(QColorDialog::customColor(i));
    return 1;
}

std::int32_t QtDialogPlatform::fontDialog(ChooseFont& record)
{
    QFontDialog dialog(ownerWidget(record.owner));
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if ((record.flags & kCfInitToLogFont) && record.logFont != nullptr) {
        const LogFont& lf = *record.logFont;
        QFont initial(faceNameOf(lf));
        if (record.pointSize > 0)
            initial.setPointSizeF(record.pointSize / 10.0);
        if (lf.weight > 0)
            initial.setWeight(static_cast<QFont::Weight>(std::clamp(lf.weight, 1, 1000)));
        initial.setItalic(lf.italic != 0);
        initial.setUnderline(lf.underline != 0);
        initial.setStrikeOut(lf.strikeOut != 0);
        dialog.setCurrentFont(initial);
    }
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    const QFont chosen = dialog.selectedFont();
    if (record.logFont != nullptr) {
        LogFont& lf = *record.logFont;
        lf.faceName.fill('\0');
        const std::string face = toAnsi(chosen.family()).substr(0, kFaceNameLength - 1);
        std::copy(face.begin(), face.end(), lf.faceName.begin());
        lf.height = -static_cast<std::int32_t>(std::lround(chosen.pointSizeF() * verticalDpi(record.dc) / 72.0));
        lf.weight = chosen.weight();
        lf.italic = chosen.italic() ? 1 : 0;
        lf.underline = chosen.underline() ? 1 : 0;
        lf.strikeOut = chosen.strikeOut() ? 1 : 0;
    }
    record.pointSize = static_cast<std::int32_t>(std::lround(chosen.pointSizeF() * 10));
    record.fontType = static_cast<std::uint16_t>((chosen.bold() ? kBoldFontType : kRegularFontType) |
                                                 (chosen.italic() ? kItalicFontType : 0) | kScreenFontType);
    return 1;
}

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

std::int32_t QtDialogPlatform::help(Handle, const std::string& helpFile, std::uint32_t command, std::uint32_t)
{
    if (command == kHelpQuit)
        return 1;
    const QFileInfo file(fromAnsi(helpFile));
    if (!file.exists())
        return 0;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())) ? 1 : 0;
}

Handle QtDialogPlatform::acquireDeviceContext(Handle)
{
    const Handle dc = newHandle();
    m_deviceContexts.insert(dc);
    return dc;
}

void QtDialogPlatform::releaseDeviceContext(Handle, Handle dc)
{
    m_deviceContexts.erase(dc);
}

std::int32_t QtDialogPlatform::verticalDpi(Handle)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? static_cast<std::int32_t>(std::lround(screen->logicalDotsPerInchY())) : 96;
}

std::optional<std::string> QtDialogPlatform::resolvedFaceName(Handle, const LogFont& lf)
{
    QFont font(faceNameOf(lf));
    if (lf.height != 0)
        font.setPixelSize(std::abs(lf.height));
    if (lf.weight > 0)
        font.setWeight(static_cast<QFont::Weight>(std::clamp(lf.weight, 1, 1000)));
    font.setItalic(lf.italic != 0);
    return toAnsi(QFontInfo(font).family());
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

void QtDialogPlatform::messageBox(const std::string& text, std::uint32_t style, const std::string& title)
{
    QMessageBox box(QApplication::activeWindow());
    const std::uint32_t icon = style & 0x70;
    box.setIcon(icon == 16   ? QMessageBox::Critical
                : icon == 32 ? QMessageBox::Question
                : icon == 48 ? QMessageBox::Warning
                : icon == 64 ? QMessageBox::Information
                             : QMessageBox::NoIcon);
    box.setWindowTitle(fromAnsi(title));
    box.setText(fromAnsi(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace dialogs
