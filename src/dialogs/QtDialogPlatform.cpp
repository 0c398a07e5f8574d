// The standard dialogs, device contexts and printers of this desktop, on Qt.
#include "dialogs/QtDialogPlatform.h"

#include "dialogs/AnsiText.h"
#include "dialogs/DialogErrors.h"
#include "dialogs/QtDialogShared.h"

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
// Colour and font flags.
constexpr std::uint32_t kCcRgbInit = 0x1;
constexpr std::uint32_t kCfInitToLogFont = 0x40;
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
