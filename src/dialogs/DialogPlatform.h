#pragma once
// What CdlgEx needs from the desktop: each function shows one dialog or answers one question.
// The class builds every record and reads every answer back; an implementation only shows
// dialogs and reports what the user chose. Results follow the original platform: 0 means
// cancelled or failed unless noted.
#include "dialogs/DialogRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dialogs
{

class DialogPlatform
{
  public:
    virtual ~DialogPlatform() = default;

    // The running program's folder (narrow, without a trailing separator) and module instance.
    virtual std::string programFolder() = 0;
    virtual Handle moduleInstance() = 0;

    // Standard dialogs; each fills the record's output fields and returns non-zero on a choice.
    virtual std::int32_t openFileDialog(OpenFileName& record) = 0;
    virtual std::int32_t saveFileDialog(OpenFileName& record) = 0;
    virtual std::int32_t colorDialog(ChooseColor& record) = 0;
    virtual std::int32_t fontDialog(ChooseFont& record) = 0;
    virtual std::int32_t printDialog(PrintDlg& record) = 0;
    virtual std::int32_t help(Handle owner, const std::string& helpFile, std::uint32_t command, std::uint32_t data) = 0;

    // Device contexts of a window (0 is the screen) and what the font dialog needs of them.
    virtual Handle acquireDeviceContext(Handle window) = 0;
    virtual void releaseDeviceContext(Handle window, Handle dc) = 0;
    virtual std::int32_t verticalDpi(Handle dc) = 0;
    // Creates the font the record describes, selects it into `dc`, returns the face name the
    // device context reports and releases the font; nothing when the font cannot be created.
    virtual std::optional<std::string> resolvedFaceName(Handle dc, const LogFont& font) = 0;

    // The process's current printer and the installed printers. The reads throw PlatformError
    // with a description when they fail (e.g. no printer is installed).
    virtual std::string currentPrinterDeviceName() = 0;
    virtual std::string currentPrinterDriverName() = 0;
    virtual std::string currentPrinterPort() = 0;
    virtual std::int16_t currentPrinterOrientation() = 0;
    virtual std::int16_t currentPrinterDuplex() = 0;
    virtual std::vector<std::string> installedPrinterNames() = 0;
    virtual void makeCurrentPrinter(std::size_t installedIndex) = 0;
    virtual void setCurrentPrinterCopies(std::int16_t copies) = 0;
    virtual void setCurrentPrinterDuplex(std::int16_t duplex) = 0;
    virtual void setCurrentPrinterOrientation(std::int16_t orientation) = 0;
    // A modal message box with an OK button; `style` 48 is the exclamation icon.
    virtual void messageBox(const std::string& text, std::uint32_t style, const std::string& title) = 0;

    // Shell dialogs.
    virtual std::int32_t shutDownDialog(Handle owner) = 0;
    virtual std::int32_t restartDialog(Handle owner, const std::string& prompt, std::uint32_t option) = 0;
    virtual std::int32_t runDialog(Handle owner, Handle icon, const std::optional<std::string>& workingDir,
                                   const std::string& title, const std::string& description, std::uint32_t options) = 0;
    // Returns the original's codes: -1 error, -2 cancelled, -3 cannot be formatted.
    virtual std::int32_t formatDrive(Handle owner, std::uint32_t drive, std::uint32_t capacity,
                                     std::uint32_t formatType) = 0;
    // `iconFile` is the buffer; `capacity` its size in characters; `index` in and out.
    virtual std::int32_t pickIconDialog(Handle owner, std::string& iconFile, std::uint32_t capacity,
                                        std::int32_t& index) = 0;
    // Extracts `count` icons from `index`; returns how many were extracted into each place.
    virtual std::int32_t extractIcons(const std::string& file, std::int32_t index, Handle* large, Handle* small,
                                      std::uint32_t count) = 0;
    virtual Handle copyIcon(Handle icon) = 0;
    virtual void destroyIcon(Handle icon) = 0;
    // Folder browser: item lists are handles the caller frees (0 is null).
    virtual Handle itemListFromPath(const std::string& path) = 0;
    virtual Handle browseForFolder(BrowseInfo& record) = 0;
    virtual std::int32_t pathFromItemList(Handle itemList, std::string& buffer) = 0;
    virtual void freeItemList(Handle itemList) = 0;
    virtual std::int32_t objectProperties(Handle owner, std::uint32_t objectType, const std::string& objectName,
                                          const std::string& page) = 0;
    virtual std::int32_t aboutBox(Handle owner, const std::string& appName, const std::string& otherText,
                                  Handle icon) = 0;
    virtual std::int32_t findFiles(const std::optional<std::string>& folder,
                                   const std::optional<std::string>& savedSearch) = 0;
    // Starts a command line as a new program without waiting; returns its task id, 0 on failure.
    virtual std::int32_t startProgram(const std::string& commandLine, std::int32_t windowStyle) = 0;
};

} // namespace dialogs
