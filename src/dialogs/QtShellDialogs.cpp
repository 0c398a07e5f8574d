// The shell dialogs of this desktop, on Qt: shut-down and restart through the session
// manager, the run prompt, pickers, property sheets, the about box and the desktop's tools.
#include "dialogs/AnsiText.h"
#include "dialogs/QtDialogPlatform.h"
#include "dialogs/QtDialogShared.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

#include <array>

namespace dialogs
{
namespace
{

constexpr std::uint32_t kRunNoBrowse = 0x1;
constexpr std::uint32_t kRunNoDefault = 0x2;
constexpr std::uint32_t kRunNoLabel = 0x8;
constexpr std::uint32_t kRestartLogOff = 0;
constexpr std::uint32_t kRestartShutDown = 1;
constexpr std::int32_t kIdYes = 6;
constexpr std::int32_t kIdNo = 7;
constexpr std::int32_t kFormatError = -1;

struct Tool {
    const char* program;
    std::array<const char*, 2> args;
};

// Session-manager commands, most specific first, for each way of ending the session.
struct SessionEnd {
    const char* action;
    std::array<Tool, 3> tools;
};
// clang-format off
constexpr std::array kSessionEnds{
    SessionEnd{"poweroff", {Tool{"gnome-session-quit", {"--power-off", nullptr}},
                            Tool{"xfce4-session-logout", {"--halt", nullptr}},
                            Tool{"systemctl", {"poweroff", nullptr}}}},
    SessionEnd{"reboot",   {Tool{"gnome-session-quit", {"--reboot", nullptr}},
                            Tool{"xfce4-session-logout", {"--reboot", nullptr}},
                            Tool{"systemctl", {"reboot", nullptr}}}},
    SessionEnd{"logout",   {Tool{"gnome-session-quit", {"--logout", nullptr}},
                            Tool{"xfce4-session-logout", {"--logout", nullptr}},
                            Tool{"loginctl", {"terminate-user", "$USER"}}}},
};

// Control-panel applets and this desktop's tools that do their work; no tool, no applet.
struct Applet {
    const char* name;
    std::array<Tool, 2> tools;
};
constexpr std::array kApplets{
    Applet{"main.cpl",     {Tool{"gnome-control-center", {"mouse", nullptr}},    Tool{"xfce4-mouse-settings", {}}}},
    Applet{"intl.cpl",     {Tool{"gnome-control-center", {"region", nullptr}},   Tool{}}},
    Applet{"mmsys.cpl",    {Tool{"gnome-control-center", {"sound", nullptr}},    Tool{"pavucontrol", {}}}},
    Applet{"timedate.cpl", {Tool{"gnome-control-center", {"datetime", nullptr}}, Tool{}}},
    Applet{"netcpl.cpl",   {Tool{"nm-connection-editor", {}},                    Tool{"gnome-control-center", {"network", nullptr}}}},
    Applet{"desk.cpl",     {Tool{"gnome-control-center", {"display", nullptr}},  Tool{"xfce4-display-settings", {}}}},
};
constexpr std::array kFileSearchTools{Tool{"catfish", {}}, Tool{"gnome-search-tool", {}}, Tool{"kfind", {}}};
// clang-format on
constexpr std::string_view kAppletPrefix = "rundll32.exe shell32.dll,Control_RunDLL ";

// Starts the first tool that is installed; false when none is or it cannot start.
template <std::size_t N> bool startFirstTool(const std::array<Tool, N>& tools)
{
    for (const Tool& tool : tools) {
        if (tool.program == nullptr || QStandardPaths::findExecutable(QString::fromLatin1(tool.program)).isEmpty())
            continue;
        QStringList args;
        for (const char* arg : tool.args)
            if (arg != nullptr)
                args << (QByteArray(arg) == "$USER" ? qEnvironmentVariable("USER") : QString::fromLatin1(arg));
        return QProcess::startDetached(QString::fromLatin1(tool.program), args);
    }
    return false;
}

} // namespace

bool QtDialogPlatform::askSessionManager(const QString& action)
{
    for (const SessionEnd& end : kSessionEnds)
        if (action == QLatin1String(end.action))
            return startFirstTool(end.tools);
    return false;
}

QPixmap QtDialogPlatform::iconPixmap(Handle icon) const
{
    const auto found = m_icons.find(icon);
    return found != m_icons.end() ? found->second : QPixmap();
}

std::int32_t QtDialogPlatform::shutDownDialog(Handle owner)
{
    const auto answer = QMessageBox::question(ownerWidget(owner), QStringLiteral("Shut Down"),
                                              QStringLiteral("Do you want to shut down the computer?"));
    if (answer != QMessageBox::Yes)
        return 0;
    return askSessionManager(QStringLiteral("poweroff")) ? 1 : 0;
}

std::int32_t QtDialogPlatform::restartDialog(Handle owner, const std::string& prompt, std::uint32_t option)
{
    const QString action = option == kRestartLogOff     ? QStringLiteral("logout")
                           : option == kRestartShutDown ? QStringLiteral("poweroff")
                                                        : QStringLiteral("reboot");
    const QString question = action == QLatin1String("logout")     ? QStringLiteral("Do you want to log off now?")
                             : action == QLatin1String("poweroff") ? QStringLiteral("Do you want to shut down now?")
                                                                   : QStringLiteral("Do you want to restart now?");
    QString text = fromAnsi(beforeNul(prompt));
    if (!text.isEmpty())
        text += QLatin1Char('\n');
    const auto answer =
        QMessageBox::question(ownerWidget(owner), QStringLiteral("System Settings Change"), text + question);
    if (answer != QMessageBox::Yes)
        return kIdNo;
    askSessionManager(action);
    return kIdYes;
}

std::int32_t QtDialogPlatform::runDialog(Handle owner, Handle icon, const std::optional<std::string>& workingDir,
                                         const std::string& title, const std::string& description,
                                         std::uint32_t options)
{
    QDialog dialog(ownerWidget(owner));
    dialog.setObjectName(QStringLiteral("runDialog"));
    const QString caption = fromAnsi(beforeNul(title));
    dialog.setWindowTitle(caption.isEmpty() ? QStringLiteral("Run") : caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* top = new QHBoxLayout;
    layout->addLayout(top);
    if (const QPixmap pixmap = iconPixmap(icon); !pixmap.isNull()) {
        auto* iconLabel = new QLabel(&dialog);
        iconLabel->setPixmap(pixmap);
        top->addWidget(iconLabel);
    }
    if (!(options & kRunNoLabel)) {
        const QString text = fromAnsi(beforeNul(description));
        top->addWidget(new QLabel(text.isEmpty() ? QStringLiteral("Type the name of a program, folder or document, "
                                                                  "and it will be opened for you.")
                                                 : text,
                                  &dialog));
    }
    auto* commandLine = new QLineEdit(&dialog);
    commandLine->setObjectName(QStringLiteral("commandLine"));
    if (!(options & kRunNoDefault))
        commandLine->setText(m_lastRunCommand);
    layout->addWidget(commandLine);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    if (!(options & kRunNoBrowse)) {
        QPushButton* browse = buttons->addButton(QStringLiteral("Browse..."), QDialogButtonBox::ActionRole);
        QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, commandLine] {
            const QString program = QFileDialog::getOpenFileName(&dialog, QStringLiteral("Browse"));
            if (!program.isEmpty())
                commandLine->setText(QProcess::splitCommand(program).isEmpty()
                                         ? program
                                         : QLatin1Char('"') + program + QLatin1Char('"'));
        });
    }
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const QString command = commandLine->text().trimmed();
        if (command.isEmpty())
            return;
        QStringList args = QProcess::splitCommand(command);
        const QString program = args.takeFirst();
        const QString dir = workingDir ? fromAnsi(*workingDir) : QString();
        if (!QProcess::startDetached(program, args, dir)) {
            QMessageBox::warning(
                &dialog, dialog.windowTitle(),
                QStringLiteral("Cannot find '%1'. Make sure you typed the name correctly.").arg(program));
            return;
        }
        m_lastRunCommand = command;
        dialog.accept();
    });
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

std::int32_t QtDialogPlatform::formatDrive(Handle, std::uint32_t, std::uint32_t, std::uint32_t)
{
    return kFormatError; // this desktop offers no drive formatting
}

std::int32_t QtDialogPlatform::objectProperties(Handle owner, std::uint32_t objectType, const std::string& objectName,
                                                const std::string& page)
{
    const QString name = fromAnsi(beforeNul(objectName));
    QList<QPair<QString, QString>> rows;
    if (objectType == kObjectPrinter) {
        const QPrinterInfo info = QPrinterInfo::printerInfo(name);
        if (info.isNull())
            return 0;
        rows = {{QStringLiteral("Name:"), info.printerName()},
                {QStringLiteral("Description:"), info.description()},
                {QStringLiteral("Location:"), info.location()},
                {QStringLiteral("Model:"), info.makeAndModel()},
                {QStringLiteral("Default:"), info.isDefault() ? QStringLiteral("Yes") : QStringLiteral("No")}};
    } else if (objectType == kObjectFilePath) {
        const QFileInfo info(name);
        if (name.isEmpty() || !info.exists())
            return 0;
        rows = {{QStringLiteral("Name:"), info.fileName()},
                {QStringLiteral("Type:"), info.isDir() ? QStringLiteral("Folder") : QStringLiteral("File")},
                {QStringLiteral("Location:"), QDir::toNativeSeparators(info.absolutePath())},
                {QStringLiteral("Size:"), QStringLiteral("%1 bytes").arg(info.size())},
                {QStringLiteral("Modified:"), QLocale().toString(info.lastModified())},
                {QStringLiteral("Read-only:"), info.isWritable() ? QStringLiteral("No") : QStringLiteral("Yes")}};
    } else {
        return 0;
    }
    QDialog sheet(ownerWidget(owner));
    sheet.setObjectName(QStringLiteral("propertySheet"));
    sheet.setWindowTitle(QStringLiteral("%1 Properties").arg(name));
    auto* layout = new QVBoxLayout(&sheet);
    auto* tabs = new QTabWidget(&sheet);
    auto* general = new QWidget(tabs);
    auto* form = new QFormLayout(general);
    for (const auto& [label, value] : rows)
        form->addRow(label, new QLabel(value, general));
    tabs->addTab(general, QStringLiteral("General"));
    const QString wanted = fromAnsi(beforeNul(page));
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i).compare(wanted, Qt::CaseInsensitive) == 0)
            tabs->setCurrentIndex(i);
    layout->addWidget(tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &sheet);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &sheet, &QDialog::accept);
    layout->addWidget(buttons);
    sheet.exec();
    return 1;
}

std::int32_t QtDialogPlatform::aboutBox(Handle owner, const std::string& appName, const std::string& otherText,
                                        Handle icon)
{
    // "Title#First line": the part before '#' goes to the caption, the rest to the first line.
    const QString app = fromAnsi(beforeNul(appName));
    const qsizetype hash = app.indexOf(QLatin1Char('#'));
    const QString title = hash < 0 ? app : app.left(hash);
    const QString firstLine = hash < 0 ? app : app.mid(hash + 1);
    QMessageBox box(ownerWidget(owner));
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setWindowTitle(QStringLiteral("About %1").arg(title));
    QString text = firstLine;
    if (const QString other = fromAnsi(beforeNul(otherText)); !other.isEmpty())
        text += QLatin1Char('\n') + other;
    box.setText(text);
    if (const QPixmap pixmap = iconPixmap(icon); !pixmap.isNull())
        box.setIconPixmap(pixmap);
    else
        box.setIcon(QMessageBox::Information);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return 1;
}

std::int32_t QtDialogPlatform::findFiles(const std::optional<std::string>&, const std::optional<std::string>&)
{
    return startFirstTool(kFileSearchTools) ? 1 : 0;
}

std::int32_t QtDialogPlatform::startProgram(const std::string& commandLine, std::int32_t)
{
    if (std::string_view(commandLine).starts_with(kAppletPrefix)) {
        const std::string applet = commandLine.substr(
            kAppletPrefix.size(), commandLine.find(',', kAppletPrefix.size()) - kAppletPrefix.size());
        for (const Applet& entry : kApplets)
            if (applet == entry.name)
                return startFirstTool(entry.tools) ? 1 : 0;
        return 0; // an applet with no counterpart here
    }
    QStringList args = QProcess::splitCommand(fromAnsi(commandLine));
    if (args.isEmpty())
        return 0;
    const QString program = args.takeFirst();
    qint64 pid = 0;
    if (!QProcess::startDetached(program, args, QString(), &pid))
        return 0;
    return pid > 0 && pid <= INT32_MAX ? static_cast<std::int32_t>(pid) : 1;
}

} // namespace dialogs
