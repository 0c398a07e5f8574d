#pragma once
// A platform that records what CdlgEx hands it and answers as scripted.
#include "dialogs/DialogErrors.h"
#include "dialogs/DialogPlatform.h"

#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace dialogs::test
{

// Shows NULs as "\0" so records compare readably.
inline std::string visible(const std::string& s)
{
    std::string out;
    for (char c : s)
        out += c == '\0' ? std::string("\\0") : std::string(1, c);
    return out;
}

// The number of the RuntimeError `call` raises; 0 when it raises none.
template <typename Call> int errorNumber(Call&& call)
{
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

// A standard dialog: keeps a copy of the record it is handed, lets `answer` edit the record
// as the user would, and returns `result`.
template <typename Record> struct Scripted {
    std::int32_t result = 0;
    std::function<void(Record&)> answer;
    Record seen;
    std::int32_t operator()(Record& r)
    {
        seen = r;
        if (answer)
            answer(r);
        return result;
    }
};

struct FakePrinter {
    std::string name, driver, port;
    std::int16_t orientation = 1, duplex = 1, copies = 1;
};

class RecordingPlatform : public DialogPlatform
{
  public:
    std::vector<std::string> calls; // one line per call, with its arguments
    Scripted<OpenFileName> file;
    Scripted<ChooseColor> color;
    std::array<std::uint32_t, 16> customSeen{};
    Scripted<ChooseFont> font;
    LogFont logFontSeen;
    Scripted<PrintDlg> print;

    std::int32_t dpi = 96;
    std::optional<std::string> faceName;
    std::set<Handle> liveDcs;
    std::vector<FakePrinter> installed;
    std::optional<std::size_t> current;
    bool failNameRead = false, failSettings = false;
    std::vector<std::tuple<std::string, std::uint32_t, std::string>> messages;

    std::int32_t pickResult = 0, pickIndex = 0, extractCount = 1, startResult = 1;
    std::string pickFile, pickBufferSeen, browsePath;
    Handle browseResult = 0;
    std::set<Handle> liveItemLists;

    std::string programFolder() override { return "C:\\Prog"; }
    Handle moduleInstance() override { return 0x400000; }
    std::int32_t openFileDialog(OpenFileName& r) override { return log("open"), file(r); }
    std::int32_t saveFileDialog(OpenFileName& r) override { return log("save"), file(r); }
    std::int32_t colorDialog(ChooseColor& r) override { return log("color"), customSeen = *r.custColors, color(r); }
    std::int32_t fontDialog(ChooseFont& r) override { return log("font"), logFontSeen = *r.logFont, font(r); }
    std::int32_t printDialog(PrintDlg& r) override { return log("print", r.owner, r.flags), print(r); }
    std::int32_t help(Handle owner, const std::string& file, std::uint32_t command, std::uint32_t data) override
    {
        return log("help", owner, file, command, data);
    }

    Handle acquireDeviceContext(Handle) override { return *liveDcs.insert(++m_lastDc).first; }
    void releaseDeviceContext(Handle, Handle dc) override { liveDcs.erase(dc); }
    std::int32_t verticalDpi(Handle) override { return dpi; }
    std::optional<std::string> resolvedFaceName(Handle, const LogFont&) override { return faceName; }

    std::string currentPrinterDeviceName() override
    {
        if (failNameRead)
            throw PlatformError("Name unreadable");
        return printer().name;
    }
    std::string currentPrinterDriverName() override { return printer().driver; }
    std::string currentPrinterPort() override { return printer().port; }
    std::int16_t currentPrinterOrientation() override { return printer().orientation; }
    std::int16_t currentPrinterDuplex() override { return printer().duplex; }
    std::vector<std::string> installedPrinterNames() override
    {
        std::vector<std::string> names;
        for (const auto& p : installed)
            names.push_back(p.name);
        return names;
    }
    void makeCurrentPrinter(std::size_t i) override { log("makeCurrent", i), current = i; }
    void setCurrentPrinterCopies(std::int16_t v) override { set(printer().copies, v); }
    void setCurrentPrinterDuplex(std::int16_t v) override { set(printer().duplex, v); }
    void setCurrentPrinterOrientation(std::int16_t v) override { set(printer().orientation, v); }
    void messageBox(const std::string& text, std::uint32_t style, const std::string& title) override
    {
        messages.emplace_back(text, style, title);
    }

    std::int32_t shutDownDialog(Handle owner) override { return log("shutDown", owner); }
    std::int32_t restartDialog(Handle owner, const std::string& prompt, std::uint32_t option) override
    {
        return log("restart", owner, prompt, option);
    }
    std::int32_t runDialog(Handle owner, Handle icon, const std::optional<std::string>& dir, const std::string& title,
                           const std::string& description, std::uint32_t options) override
    {
        return log("run", owner, icon, dir.value_or("null"), title, description, options);
    }
    std::int32_t formatDrive(Handle owner, std::uint32_t drive, std::uint32_t capacity, std::uint32_t type) override
    {
        return log("format", owner, drive, capacity, type), -3;
    }
    std::int32_t pickIconDialog(Handle owner, std::string& file, std::uint32_t capacity, std::int32_t& index) override
    {
        log("pickIcon", owner, capacity, index);
        pickBufferSeen = file;
        if (pickResult != 0) {
            std::fill(file.begin(), file.end(), '\0');
            std::copy(pickFile.begin(), pickFile.end(), file.begin());
            index = pickIndex;
        }
        return pickResult;
    }
    std::int32_t extractIcons(const std::string& file, std::int32_t index, Handle* large, Handle* small,
                              std::uint32_t count) override
    {
        log("extract", file, index, count);
        if (extractCount > 0)
            *large = 32, *small = 16;
        return extractCount;
    }
    Handle copyIcon(Handle icon) override { return icon + 1000; }
    void destroyIcon(Handle icon) override { log("destroyIcon", icon); }
    Handle itemListFromPath(const std::string& path) override { return log("itemList", path), newItemList(71); }
    Handle browseForFolder(BrowseInfo& r) override
    {
        return log("browse", r.owner, r.root, r.title, r.flags), newItemList(browseResult);
    }
    std::int32_t pathFromItemList(Handle list, std::string& buffer) override
    {
        if (list == 0 || buffer.size() != 260)
            return 0;
        std::copy(browsePath.begin(), browsePath.end(), buffer.begin());
        return 1;
    }
    void freeItemList(Handle list) override { liveItemLists.erase(list); }
    std::int32_t objectProperties(Handle owner, std::uint32_t type, const std::string& name,
                                  const std::string& page) override
    {
        return log("properties", owner, type, name, page);
    }
    std::int32_t aboutBox(Handle owner, const std::string& app, const std::string& text, Handle icon) override
    {
        return log("about", owner, app, text, icon);
    }
    std::int32_t findFiles(const std::optional<std::string>& a, const std::optional<std::string>& b) override
    {
        return log("findFiles", a.value_or("null"), b.value_or("null"));
    }
    std::int32_t startProgram(const std::string& command, std::int32_t style) override
    {
        return log("start", command, style), startResult;
    }

  private:
    Handle m_lastDc = 500;

    static std::string text(const std::string& s) { return visible(s); }
    template <typename T> static std::string text(const T& v) { return std::to_string(v); }
    template <typename... Args> std::int32_t log(const std::string& name, const Args&... args)
    {
        std::string line = name;
        ((line += " " + text(args)), ...);
        calls.push_back(line);
        return 1;
    }
    Handle newItemList(Handle list)
    {
        if (list != 0)
            liveItemLists.insert(list);
        return list;
    }
    FakePrinter& printer()
    {
        if (!current)
            throw PlatformError("No printers are installed.");
        return installed.at(*current);
    }
    void set(std::int16_t& field, std::int16_t value)
    {
        if (failSettings)
            throw PlatformError("Setting refused");
        field = value;
    }
};

} // namespace dialogs::test
