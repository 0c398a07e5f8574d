#pragma once
// The dialogs of this desktop, on Qt. Handles (device contexts, icons, item lists) are numbers
// this object hands out and takes back; the current printer is one for the process.
#include "dialogs/DialogPlatform.h"

#include <QPixmap>
#include <QString>

#include <map>
#include <set>

class QWidget;

namespace dialogs
{

class QtDialogPlatform : public DialogPlatform
{
  public:
    // The process's platform, used by CdlgEx's default constructor.
    static QtDialogPlatform& instance();

    std::string programFolder() override;
    Handle moduleInstance() override;

    std::int32_t openFileDialog(OpenFileName& record) override;
    std::int32_t saveFileDialog(OpenFileName& record) override;
    std::int32_t colorDialog(ChooseColor& record) override;
    std::int32_t fontDialog(ChooseFont& record) override;
    std::int32_t printDialog(PrintDlg& record) override;
    std::int32_t help(Handle owner, const std::string& helpFile, std::uint32_t command, std::uint32_t data) override;

    Handle acquireDeviceContext(Handle window) override;
    void releaseDeviceContext(Handle window, Handle dc) override;
    std::int32_t verticalDpi(Handle dc) override;
    std::optional<std::string> resolvedFaceName(Handle dc, const LogFont& font) override;

    std::string currentPrinterDeviceName() override;
    std::string currentPrinterDriverName() override;
    std::string currentPrinterPort() override;
    std::int16_t currentPrinterOrientation() override;
    std::int16_t currentPrinterDuplex() override;
    std::vector<std::string> installedPrinterNames() override;
    void makeCurrentPrinter(std::size_t installedIndex) override;
    void setCurrentPrinterCopies(std::int16_t copies) override;
    void setCurrentPrinterDuplex(std::int16_t duplex) override;
    void setCurrentPrinterOrientation(std::int16_t orientation) override;
    void messageBox(const std::string& text, std::uint32_t style, const std::string& title) override;

    std::int32_t shutDownDialog(Handle owner) override;
    std::int32_t restartDialog(Handle owner, const std::string& prompt, std::uint32_t option) override;
    std::int32_t runDialog(Handle owner, Handle icon, const std::optional<std::string>& workingDir,
                           const std::string& title, const std::string& description, std::uint32_t options) override;
    std::int32_t formatDrive(Handle owner, std::uint32_t drive, std::uint32_t capacity,
                             std::uint32_t formatType) override;
    std::int32_t pickIconDialog(Handle owner, std::string& iconFile, std::uint32_t capacity,
                                std::int32_t& index) override;
    std::int32_t extractIcons(const std::string& file, std::int32_t index, Handle* large, Handle* small,
                              std::uint32_t count) override;
    Handle copyIcon(Handle icon) override;
    void destroyIcon(Handle icon) override;
    Handle itemListFromPath(const std::string& path) override;
    Handle browseForFolder(BrowseInfo& record) override;
    std::int32_t pathFromItemList(Handle itemList, std::string& buffer) override;
    void freeItemList(Handle itemList) override;
    std::int32_t objectProperties(Handle owner, std::uint32_t objectType, const std::string& objectName,
                                  const std::string& page) override;
    std::int32_t aboutBox(Handle owner, const std::string& appName, const std::string& otherText, Handle icon) override;
    std::int32_t findFiles(const std::optional<std::string>& folder,
                           const std::optional<std::string>& savedSearch) override;
    std::int32_t startProgram(const std::string& commandLine, std::int32_t windowStyle) override;

    // How many device contexts, icons and item lists are handed out and not yet taken back.
    std::size_t liveHandles() const { return m_deviceContexts.size() + m_icons.size() + m_itemLists.size(); }

  private:
    struct CurrentPrinter {
        QString name;
        std::int16_t orientation = 1;
        std::int16_t duplex = 1;
        std::int16_t copies = 1;
    };

    std::int32_t fileDialog(OpenFileName& record, bool save);
    CurrentPrinter& currentPrinter();
    Handle newHandle() { return ++m_lastHandle; }
    QPixmap iconPixmap(Handle icon) const;
    // Asks the session manager to end the session: "poweroff", "reboot" or "logout".
    bool askSessionManager(const QString& action);

    Handle m_lastHandle = 0x1000;
    std::set<Handle> m_deviceContexts;
    std::map<Handle, QPixmap> m_icons;
    std::map<Handle, QString> m_itemLists;
    std::optional<CurrentPrinter> m_currentPrinter;
    QString m_lastRunCommand;
};

// The widget behind an owner handle, or the active window when there is none.
QWidget* ownerWidget(Handle owner);

} // namespace dialogs
