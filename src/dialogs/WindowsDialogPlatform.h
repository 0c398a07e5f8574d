#pragma once
// The dialogs of Windows: each call goes to the system's own dialog or function. Window, icon
// and device-context handles are 32-bit significant on 64-bit Windows and pass through the
// records as they are; item lists are addresses, so this object hands out numbers for them.
// The current printer is one for the process, as the original platform's printer object was.
#include "dialogs/DialogPlatform.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dialogs
{

class WindowsDialogPlatform : public DialogPlatform
{
  public:
    // The process's platform, used by CdlgEx's default constructor.
    static WindowsDialogPlatform& instance();

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
    std::int32_t extractIcons(const std::string& file, std::int32_t index, Handle* largeOut, Handle* smallOut,
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

    // How many item lists are handed out and not yet freed.
    std::size_t liveItemLists() const { return m_itemLists.size(); }

  private:
    // The printer's name and the device mode this process prints with, in the system's form.
    struct CurrentPrinter {
        std::string name;
        std::vector<std::uint8_t> devMode;
    };

    std::int32_t fileDialog(OpenFileName& record, bool save);
    CurrentPrinter& currentPrinter();
    // The driver and the port the system lists for the current printer, in that order.
    std::pair<std::string, std::string> currentPrinterDriverAndPort();
    // Hands the device mode to the driver, which keeps what it supports, and stores its answer.
    void applyCurrentDevMode(std::vector<std::uint8_t> devMode);
    Handle rememberItemList(void* itemList);
    void* itemList(Handle handle) const;

    Handle m_lastHandle = 0x1000;
    std::map<Handle, void*> m_itemLists;
    std::optional<CurrentPrinter> m_currentPrinter;
};

} // namespace dialogs
