// The system's own dialogs really open and are answered here from a second thread, as a user
// would: it finds the dialog window of this process, reads it and presses a button.
#include "dialogs/WindowsDialogPlatform.h"
#include "dialogs/DialogErrors.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
// The system's narrow/wide macros would rename the records.
#undef ChooseColor
#undef ChooseFont
#undef PrintDlg

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace dialogs::test
{
namespace
{

using namespace std::chrono_literals;

// Window, icon and device-context handles travel as their low 32 bits.
template <typename T> T native(Handle handle)
{
    return reinterpret_cast<T>(static_cast<std::intptr_t>(handle));
}

bool underWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string windowText(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

void press(HWND dialog, int button)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// Waits for this process's dialog whose caption `wanted` accepts, records its caption and the
// texts of its controls, then answers it. A dialog still open 5 s after its answer is closed,
// and so is any dialog when the wanted one has not come in 10 s, so that a fault cannot hang
// the run.
class DialogWatcher
{
  public:
    DialogWatcher(std::function<bool(const std::string&)> wanted, std::function<void(HWND)> answer)
        : m_wanted(std::move(wanted)), m_answer(std::move(answer)), m_thread([this] { run(); })
    {
    }
    explicit DialogWatcher(std::function<void(HWND)> answer)
        : DialogWatcher([](const std::string&) { return true; }, std::move(answer))
    {
    }
    ~DialogWatcher() { finish(); }

    // Stops watching; afterwards what was seen may be read.
    void finish()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // Waits until the dialog has been answered, or given up on, without stopping the watch.
    void awaitAnswer()
    {
        m_awaiting = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    bool found() const { return m_found; }
    const std::string& caption() const { return m_caption; }
    // The texts of the dialog's controls, one a line.
    const std::string& texts() const { return m_texts; }

  private:
    struct Search {
        DialogWatcher* watcher;
        HWND found;
    };

    void run()
    {
        for (auto waited = 0ms; !m_stop && waited < 10s; waited += 50ms) {
            Search search{this, nullptr};
            EnumWindows(&DialogWatcher::visit, reinterpret_cast<LPARAM>(&search));
            if (search.found != nullptr) {
                // TK_TEST_DIALOG_PAUSE_MS leaves the dialog on screen that long first (for a look or
                // a screenshot).
                if (const char* pause = std::getenv("TK_TEST_DIALOG_PAUSE_MS"))
                    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(pause)));
                answer(search.found);
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        // The wanted dialog never came: whatever dialog did is closed, unanswered.
        m_wanted = [](const std::string&) { return true; };
        for (auto waited = 0ms; !m_stop && !m_awaiting && waited < 10s; waited += 200ms) {
            Search search{this, nullptr};
            EnumWindows(&DialogWatcher::visit, reinterpret_cast<LPARAM>(&search));
            if (search.found != nullptr)
                PostMessageA(search.found, WM_CLOSE, 0, 0);
            std::this_thread::sleep_for(200ms);
        }
    }

    static BOOL CALLBACK visit(HWND window, LPARAM param)
    {
        auto* search = reinterpret_cast<Search*>(param);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[64] = {};
        GetClassNameA(window, className, sizeof(className));
        if (process != GetCurrentProcessId() || !IsWindowVisible(window) || std::string(className) != "#32770" ||
            !search->watcher->m_wanted(windowText(window)))
            return TRUE;
        search->found = window;
        return FALSE;
    }

    static BOOL CALLBACK collect(HWND control, LPARAM param)
    {
        *reinterpret_cast<std::string*>(param) += windowText(control) + '\n';
        return TRUE;
    }

    void answer(HWND dialog)
    {
        std::this_thread::sleep_for(300ms); // let the dialog finish filling itself
        m_caption = windowText(dialog);
        EnumChildWindows(dialog, &DialogWatcher::collect, reinterpret_cast<LPARAM>(&m_texts));
        m_found = true;
        m_answer(dialog);
        for (auto waited = 0ms; IsWindow(dialog) && waited < 5s; waited += 50ms)
            std::this_thread::sleep_for(50ms);
        if (IsWindow(dialog))
            PostMessageA(dialog, WM_CLOSE, 0, 0);
    }

    std::function<bool(const std::string&)> m_wanted;
    std::function<void(HWND)> m_answer;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_awaiting = false;
    bool m_found = false;
    std::string m_caption;
    std::string m_texts;
    std::thread m_thread;
};

// Selects the tree item named `name` among the first levels of the dialog's tree, expanding
// items on the way; false when there is none.
bool selectTreeItem(HWND dialog, const std::string& name)
{
    const HWND tree = FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
    std::vector<HTREEITEM> level{TreeView_GetRoot(tree)};
    for (int depth = 0; depth < 4; ++depth) {
        std::vector<HTREEITEM> next;
        for (HTREEITEM item : level) {
            for (; item != nullptr; item = TreeView_GetNextSibling(tree, item)) {
                char text[MAX_PATH] = {};
                TVITEMA tv{};
                tv.mask = TVIF_TEXT;
                tv.hItem = item;
                tv.pszText = text;
                tv.cchTextMax = MAX_PATH;
                SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
                if (name == text)
                    return TreeView_SelectItem(tree, item);
                TreeView_Expand(tree, item, TVE_EXPAND);
                if (const HTREEITEM child = TreeView_GetChild(tree, item))
                    next.push_back(child);
            }
        }
        level = std::move(next);
    }
    return false;
}

// The file dialog's name box: an edit control, or the edit inside its (extended) combo box.
HWND fileNameBox(HWND dialog)
{
    if (const HWND edit = GetDlgItem(dialog, edt1))
        return edit;
    const HWND combo = GetDlgItem(dialog, cmb13);
    for (HWND inner = combo; inner != nullptr; inner = FindWindowExA(inner, nullptr, nullptr, nullptr)) {
        char className[32] = {};
        GetClassNameA(inner, className, sizeof(className));
        if (lstrcmpiA(className, "Edit") == 0)
            return inner;
    }
    return combo;
}

std::function<bool(const std::string&)> captionIs(std::string wanted)
{
    return [wanted](const std::string& caption) { return caption == wanted; };
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string beforeNul(const std::string& buffer)
{
    return buffer.substr(0, buffer.find('\0'));
}

std::string systemFile(const char* name)
{
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + '\\' + name;
}

// A folder of its own under the temporary folder, with one file in it.
class WindowsDialogPlatformTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        GetCurrentDirectoryA(MAX_PATH, m_currentDir);
        // A name no earlier run left behind.
        for (int n = 1; m_folder.empty() && n < 1000; ++n) {
            const std::string folder = std::string(temp) + "corvane-dialogs-" + std::to_string(n);
            if (CreateDirectoryA(folder.c_str(), nullptr))
                m_folder = folder;
        }
        ASSERT_FALSE(m_folder.empty());
        m_file = m_folder + "\\pick.txt";
        const HANDLE file = CreateFileA(m_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    void TearDown() override
    {
        // The file dialogs make the chosen folder the current one, as they always have.
        SetCurrentDirectoryA(m_currentDir);
        DeleteFileA((m_folder + "\\saved.txt").c_str());
        DeleteFileA(m_file.c_str());
        EXPECT_TRUE(RemoveDirectoryA(m_folder.c_str()));
        EXPECT_EQ(m_platform.liveItemLists(), 0u);
    }

    // The record as the dialog class fills it.
    OpenFileName fileRecord(const std::string& title)
    {
        OpenFileName record;
        record.structSize = 76;
        record.instance = m_platform.moduleInstance();
        record.filter = std::string("Text\0*.txt\0All\0*.*\0\0", 20);
        record.filterIndex = 1;
        record.file = std::string(255, '\0');
        record.maxFile = 255;
        record.fileTitle = std::string(255, '\0');
        record.maxFileTitle = 255;
        record.initialDir = m_folder;
        record.title = title;
        return record;
    }

    WindowsDialogPlatform m_platform;
    std::string m_folder;
    std::string m_file;
    char m_currentDir[MAX_PATH] = {};
};

TEST_F(WindowsDialogPlatformTest, FileDialogsReturnTheTypedFileOrNothing)
{
    struct Case {
        const char* label;
        bool save;
        const char* typed; // nullptr: cancel
        std::int32_t want;
    };
    for (const Case c :
         {Case{"open, existing file typed", false, "pick.txt", 1}, Case{"save, new file typed", true, "saved.txt", 1},
          Case{"open, cancelled", false, nullptr, 0}, Case{"save, cancelled", true, nullptr, 0}}) {
        SCOPED_TRACE(c.label);
        OpenFileName record = fileRecord(std::string("Corvane ") + c.label);
        record.file.replace(0, 7, "old.txt");
        DialogWatcher watcher(captionIs(record.title), [&](HWND dialog) {
            if (c.typed == nullptr) {
                press(dialog, IDCANCEL);
                return;
            }
            SendMessageA(fileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.typed));
            press(dialog, IDOK);
        });
        const std::int32_t result = c.save ? m_platform.saveFileDialog(record) : m_platform.openFileDialog(record);
        watcher.finish();
        EXPECT_TRUE(watcher.found());
        EXPECT_EQ(result != 0, c.want != 0) << "extended error " << CommDlgExtendedError();
        ASSERT_EQ(record.file.size(), 255u);
        if (c.want == 0) {
            EXPECT_EQ(beforeNul(record.file), "old.txt");
            continue;
        }
        const std::string path = m_folder + '\\' + c.typed;
        EXPECT_EQ(beforeNul(record.file), path);
        EXPECT_EQ(beforeNul(record.fileTitle), c.typed);
        EXPECT_EQ(record.fileOffset, m_folder.size() + 1);
        EXPECT_EQ(record.fileExtension, path.size() - 3);
        EXPECT_EQ(record.filterIndex, 1u);
    }
}

TEST_F(WindowsDialogPlatformTest, ColorDialogKeepsTheInitialColourOnOk)
{
    for (const int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        std::array<std::uint32_t, 16> custom;
        custom.fill(0xFFFFFFFF);
        ChooseColor record;
        record.structSize = 36;
        record.instance = m_platform.moduleInstance();
        record.rgbResult = 0x00336699;
        record.custColors = &custom;
        record.flags = CC_RGBINIT;
        DialogWatcher watcher([&](HWND dialog) { press(dialog, button); });
        const std::int32_t result = m_platform.colorDialog(record);
        watcher.finish();
        EXPECT_TRUE(watcher.found());
        EXPECT_EQ(result != 0, button == IDOK) << "extended error " << CommDlgExtendedError();
        EXPECT_EQ(record.rgbResult, 0x00336699u);
        EXPECT_TRUE(std::all_of(custom.begin(), custom.end(), [](std::uint32_t c) { return c == 0xFFFFFFFF; }));
    }
}

// A face this system has, from a few common ones.
std::string installedFace()
{
    const HDC screen = GetDC(nullptr);
    std::string found;
    for (const char* face : {"Tahoma", "Arial", "Liberation Sans", "DejaVu Sans"}) {
        LOGFONTA lf{};
        lf.lfCharSet = DEFAULT_CHARSET;
        std::copy_n(face, std::min<std::size_t>(std::strlen(face), LF_FACESIZE - 1), lf.lfFaceName);
        const auto exists = [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM) -> int { return 0; };
        if (EnumFontFamiliesExA(screen, &lf, exists, 0, 0) == 0) {
            found = face;
            break;
        }
    }
    ReleaseDC(nullptr, screen);
    return found;
}

TEST_F(WindowsDialogPlatformTest, FontDialogReturnsTheFontItWasGiven)
{
    const std::string face = installedFace();
    ASSERT_FALSE(face.empty()) << "no common font face is installed";
    for (const int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        LogFont font;
        std::copy(face.begin(), face.end(), font.faceName.begin());
        font.height = 16; // 12 points at 96 dpi
        font.weight = 700;
        font.italic = 1;
        const Handle dc = m_platform.acquireDeviceContext(0);
        ChooseFont record;
        record.structSize = 60;
        record.dc = dc;
        record.logFont = &font;
        record.pointSize = 120;
        record.flags = 0x141;
        record.color = 0x000000FF;
        record.fontType = kScreenFontType;
        DialogWatcher watcher([&](HWND dialog) { press(dialog, button); });
        const std::int32_t result = m_platform.fontDialog(record);
        watcher.finish();
        m_platform.releaseDeviceContext(0, dc);
        EXPECT_TRUE(watcher.found());
        EXPECT_EQ(result != 0, button == IDOK) << "extended error " << CommDlgExtendedError();
        if (button != IDOK)
            continue;
        EXPECT_EQ(std::string(font.faceName.data()), face);
        EXPECT_EQ(font.weight, 700);
        EXPECT_EQ(font.italic, 1);
        EXPECT_EQ(record.color, 0x000000FFu);
        EXPECT_EQ(record.pointSize, 120);
        EXPECT_EQ(record.fontType & (kBoldFontType | kItalicFontType), kBoldFontType | kItalicFontType);
    }
}

TEST_F(WindowsDialogPlatformTest, FaceNameComesFromTheDeviceContext)
{
    const std::string face = installedFace();
    ASSERT_FALSE(face.empty()) << "no common font face is installed";
    const Handle dc = m_platform.acquireDeviceContext(0);
    ASSERT_NE(dc, 0);
    EXPECT_EQ(GetObjectType(native<HDC>(dc)), static_cast<DWORD>(OBJ_DC));
    EXPECT_GT(m_platform.verticalDpi(dc), 0);
    const HGDIOBJ before = GetCurrentObject(native<HDC>(dc), OBJ_FONT);
    for (const std::string& asked : {face, std::string("No Such Face Corvane")}) {
        LogFont font;
        std::copy(asked.begin(), asked.end(), font.faceName.begin());
        font.height = 13;
        const std::optional<std::string> resolved = m_platform.resolvedFaceName(dc, font);
        ASSERT_TRUE(resolved.has_value()) << asked;
        EXPECT_FALSE(resolved->empty()) << asked;
        EXPECT_EQ(*resolved == asked, asked == face) << asked << " became " << *resolved;
        EXPECT_EQ(GetCurrentObject(native<HDC>(dc), OBJ_FONT), before) << "the device context keeps its font";
    }
    m_platform.releaseDeviceContext(0, dc);
}

// The device-mode record as the dialog class fills it: a space-padded name, landscape, simplex.
std::vector<std::uint8_t> devModeRecord(const std::string& printer)
{
    std::vector<std::uint8_t> dm(devmode::kSize, 0);
    writeText(dm, devmode::kDeviceName, devmode::kDeviceNameLength, printer, ' ');
    writeU16(dm, devmode::kSizeField, static_cast<std::uint16_t>(devmode::kSize));
    writeU32(dm, devmode::kFields, devmode::kFieldOrientation | devmode::kFieldDuplex);
    writeU16(dm, devmode::kOrientation, 2);
    writeU16(dm, devmode::kDuplex, 1);
    return dm;
}

std::string deviceNamesEntry(const std::vector<std::uint8_t>& devNames, std::size_t offsetField)
{
    return readText(devNames, readU16(devNames, offsetField), devNames.size());
}

TEST_F(WindowsDialogPlatformTest, PrintDialogReturnsThePrinterAndItsDeviceContext)
{
    if (m_platform.installedPrinterNames().empty())
        GTEST_SKIP() << "no printer is installed";
    const std::string printer = m_platform.currentPrinterDeviceName();
    for (const int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        const Handle screen = m_platform.acquireDeviceContext(0);
        PrintDlg record;
        record.structSize = 66;
        record.dc = screen;
        record.flags = kPrintReturnDc;
        record.devMode = devModeRecord(printer);
        DialogWatcher watcher([&](HWND dialog) { press(dialog, button); });
        const std::int32_t result = m_platform.printDialog(record);
        watcher.finish();
        m_platform.releaseDeviceContext(0, screen);
        EXPECT_TRUE(watcher.found());
        EXPECT_EQ(result != 0, button == IDOK) << "extended error " << CommDlgExtendedError();
        if (button != IDOK)
            continue;
        ASSERT_NE(record.dc, 0);
        EXPECT_NE(record.dc, screen);
        EXPECT_EQ(GetObjectType(native<HDC>(record.dc)), static_cast<DWORD>(OBJ_DC));
        DeleteDC(native<HDC>(record.dc));
        ASSERT_TRUE(record.devNames.has_value());
        EXPECT_EQ(deviceNamesEntry(*record.devNames, devnames::kDeviceOffset), printer);
        ASSERT_TRUE(record.devMode.has_value());
        ASSERT_GE(record.devMode->size(), devmode::kSize);
        EXPECT_EQ(readText(*record.devMode, devmode::kDeviceName, devmode::kDeviceNameLength), printer);
        EXPECT_EQ(readU16(*record.devMode, devmode::kOrientation), 2) << "the record's orientation reaches the dialog";
    }
}

TEST_F(WindowsDialogPlatformTest, CurrentPrinterIsTheSystemsDefaultUntilChanged)
{
    const std::vector<std::string> installed = m_platform.installedPrinterNames();
    if (installed.empty()) {
        EXPECT_THROW(m_platform.currentPrinterDeviceName(), PlatformError);
        GTEST_SKIP() << "no printer is installed";
    }
    // The print dialog's own idea of the default printer, without showing it.
    PRINTDLGA pd{};
    pd.lStructSize = sizeof(pd);
    pd.Flags = PD_RETURNDEFAULT;
    ASSERT_TRUE(PrintDlgA(&pd));
    const auto* names = static_cast<const char*>(GlobalLock(pd.hDevNames));
    const auto* offsets = reinterpret_cast<const DEVNAMES*>(names);
    EXPECT_EQ(m_platform.currentPrinterDeviceName(), names + offsets->wDeviceOffset);
    EXPECT_EQ(m_platform.currentPrinterDriverName(), names + offsets->wDriverOffset);
    EXPECT_FALSE(m_platform.currentPrinterPort().empty());
    GlobalUnlock(pd.hDevNames);
    GlobalFree(pd.hDevNames);
    GlobalFree(pd.hDevMode);

    const std::size_t last = installed.size() - 1;
    m_platform.makeCurrentPrinter(last);
    EXPECT_EQ(m_platform.currentPrinterDeviceName(), installed[last]);
    for (const std::int16_t orientation : {2, 1}) {
        m_platform.setCurrentPrinterOrientation(orientation);
        EXPECT_EQ(m_platform.currentPrinterOrientation(), orientation);
    }
    m_platform.setCurrentPrinterCopies(3);
    EXPECT_THROW(m_platform.setCurrentPrinterOrientation(3), PlatformError);
    EXPECT_THROW(m_platform.setCurrentPrinterDuplex(0), PlatformError);
    EXPECT_THROW(m_platform.setCurrentPrinterCopies(0), PlatformError);
    EXPECT_THROW(m_platform.makeCurrentPrinter(installed.size()), PlatformError);
    EXPECT_EQ(m_platform.currentPrinterDeviceName(), installed[last]);
}

TEST_F(WindowsDialogPlatformTest, FolderBrowserReturnsTheChosenFolder)
{
    const std::string inner = m_folder + "\\chosen";
    ASSERT_TRUE(CreateDirectoryA(inner.c_str(), nullptr));
    for (const int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        const Handle root = m_platform.itemListFromPath(m_folder);
        ASSERT_NE(root, 0);
        BrowseInfo record;
        record.root = root;
        record.title = "Corvane folder prompt";
        record.flags = BIF_RETURNONLYFSDIRS;
        bool selected = false;
        DialogWatcher watcher([&](HWND dialog) {
            selected = selectTreeItem(dialog, "chosen");
            press(dialog, button);
        });
        const Handle chosen = m_platform.browseForFolder(record);
        watcher.finish();
        EXPECT_TRUE(watcher.found());
        EXPECT_TRUE(selected) << "the tree below the root shows the folder";
        EXPECT_TRUE(contains(watcher.texts(), record.title)) << watcher.texts();
        std::string buffer(260, '\0');
        const std::int32_t found = m_platform.pathFromItemList(chosen, buffer);
        if (button == IDOK) {
            EXPECT_NE(chosen, 0);
            EXPECT_NE(found, 0);
            EXPECT_EQ(beforeNul(buffer), inner);
        } else {
            EXPECT_EQ(chosen, 0);
            EXPECT_EQ(found, 0);
        }
        m_platform.freeItemList(chosen);
        m_platform.freeItemList(root);
    }
    EXPECT_TRUE(RemoveDirectoryA(inner.c_str()));
}

TEST_F(WindowsDialogPlatformTest, MessageAndAboutBoxesShowTheirTexts)
{
    DialogWatcher message(captionIs("Corvane message"), [](HWND dialog) { press(dialog, IDOK); });
    m_platform.messageBox("No printer here", 48, "Corvane message");
    message.finish();
    EXPECT_TRUE(message.found());
    EXPECT_TRUE(contains(message.texts(), "No printer here")) << message.texts();

    // The part after '#' goes to the first line; a shell that does not split shows it in the caption.
    DialogWatcher about([](const std::string& caption) { return caption.starts_with("About Corvane About"); },
                        [](HWND dialog) { press(dialog, IDOK); });
    EXPECT_NE(m_platform.aboutBox(0, "Corvane About#First line", "Other text", 0), 0);
    about.finish();
    EXPECT_TRUE(about.found());
    EXPECT_TRUE(contains(about.caption() + about.texts(), "First line")) << about.texts();
    EXPECT_TRUE(contains(about.texts(), "Other text")) << about.texts();
}

TEST_F(WindowsDialogPlatformTest, RunDialogShowsItsTitleAndDescription)
{
    DialogWatcher run(captionIs("Corvane run"), [](HWND dialog) { press(dialog, IDCANCEL); });
    EXPECT_EQ(m_platform.runDialog(0, 0, std::nullopt, "Corvane run", "Corvane run description", 0), 1);
    run.finish();
    EXPECT_TRUE(run.found());
    EXPECT_TRUE(contains(run.texts(), "Corvane run description")) << run.texts();
}

TEST_F(WindowsDialogPlatformTest, ShutDownAndRestartDialogsAreAnsweredNo)
{
    // Only "No" is ever pressed: "Yes" would end the session.
    DialogWatcher shutDown([](HWND dialog) { press(dialog, IDNO); });
    EXPECT_EQ(m_platform.shutDownDialog(0), 1);
    shutDown.finish();
    EXPECT_TRUE(shutDown.found());

    DialogWatcher restart([](HWND dialog) { press(dialog, IDNO); });
    const std::int32_t answer = m_platform.restartDialog(0, "Corvane restart prompt", 2);
    restart.finish();
    EXPECT_TRUE(restart.found());
    if (underWine())
        GTEST_SKIP() << "wine's restart dialog shows a fixed question without the prompt and always returns 0";
    EXPECT_EQ(answer, IDNO);
    EXPECT_TRUE(contains(restart.texts(), "Corvane restart prompt")) << restart.texts();
}

TEST_F(WindowsDialogPlatformTest, PickIconDialogReturnsTheFileAndIndex)
{
    const std::string shell32 = systemFile("shell32.dll");
    const auto lower = [](std::string text) {
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
        return text;
    };
    for (const int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        std::string iconFile = shell32 + std::string(260 - shell32.size(), '\0');
        std::int32_t index = 0;
        DialogWatcher pick([&](HWND dialog) { press(dialog, button); });
        const std::int32_t result = m_platform.pickIconDialog(0, iconFile, 260, index);
        pick.finish();
        EXPECT_EQ(iconFile.size(), 260u);
        EXPECT_EQ(index, 0);
        if (!pick.found() && underWine()) {
            EXPECT_EQ(result, 0) << "a dialog that could not open picked nothing";
            EXPECT_EQ(beforeNul(iconFile), shell32);
            GTEST_SKIP() << "wine's pick-icon dialog is a stub: it opens no dialog and returns -1";
        }
        EXPECT_TRUE(pick.found());
        EXPECT_EQ(result != 0, button == IDOK);
        // The shell may write the folder with environment variables.
        EXPECT_TRUE(lower(beforeNul(iconFile)).ends_with("\\shell32.dll")) << beforeNul(iconFile);
    }
}

TEST_F(WindowsDialogPlatformTest, ObjectPropertiesShowTheFile)
{
    DialogWatcher properties([&](const std::string& caption) { return contains(caption, "pick.txt"); },
                             [](HWND dialog) { press(dialog, IDCANCEL); });
    EXPECT_NE(m_platform.objectProperties(0, kObjectFilePath, m_file, ""), 0);
    // The property sheet may open after the call has returned.
    properties.awaitAnswer();
    if (!properties.found() && underWine())
        GTEST_SKIP() << "wine's object-properties dialog is a stub: it returns TRUE and opens nothing";
    EXPECT_TRUE(properties.found());
}

TEST_F(WindowsDialogPlatformTest, FormatDriveAnswersWithTheOriginalsCodes)
{
    // Drive 26 is past Z:, so nothing can be formatted; any dialog is cancelled.
    DialogWatcher watcher([](HWND dialog) { press(dialog, IDCANCEL); });
    const std::int32_t result = m_platform.formatDrive(0, 26, 0, 0);
    watcher.finish();
    EXPECT_TRUE(result == -1 || result == -2 || result == -3) << result;
}

TEST_F(WindowsDialogPlatformTest, FindFilesOpensTheShellsSearch)
{
    const std::int32_t result = m_platform.findFiles(std::nullopt, std::nullopt);
    if (result == 0 && underWine())
        GTEST_SKIP() << "wine's shell has no file search (SHFindFiles returns FALSE)";
    EXPECT_NE(result, 0);
}

TEST_F(WindowsDialogPlatformTest, IconsAreRealHandlesUntilDestroyed)
{
    Handle large = 0;
    Handle small16 = 0;
    EXPECT_GT(m_platform.extractIcons(systemFile("shell32.dll"), 0, &large, &small16, 1), 0);
    ICONINFO info{};
    for (const Handle icon : {large, small16}) {
        ASSERT_NE(icon, 0);
        ASSERT_TRUE(GetIconInfo(native<HICON>(icon), &info));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    const Handle copy = m_platform.copyIcon(large);
    ASSERT_NE(copy, 0);
    EXPECT_NE(copy, large);
    m_platform.destroyIcon(small16);
    m_platform.destroyIcon(large);
    ASSERT_TRUE(GetIconInfo(native<HICON>(copy), &info)) << "the copy outlives the original";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    m_platform.destroyIcon(copy);
    EXPECT_FALSE(GetIconInfo(native<HICON>(copy), &info));

    Handle none = 0;
    EXPECT_LE(m_platform.extractIcons(m_folder + "\\missing.dll", 0, &none, nullptr, 1), 0);
}

TEST_F(WindowsDialogPlatformTest, ProgramFolderAndStartedPrograms)
{
    const std::string folder = m_platform.programFolder();
    char image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    ASSERT_TRUE(QueryFullProcessImageNameA(GetCurrentProcess(), 0, image, &length));
    const std::string exe(image, length);
    ASSERT_GT(exe.size(), folder.size() + 1);
    EXPECT_EQ(exe.substr(0, folder.size() + 1), folder + '\\');
    EXPECT_EQ(exe.find('\\', folder.size() + 1), std::string::npos) << exe;

    EXPECT_GT(m_platform.startProgram("cmd.exe /c exit 0", SW_HIDE), 0);
    EXPECT_EQ(m_platform.startProgram("no-such-program-corvane.exe", SW_HIDE), 0);
}

} // namespace
} // namespace dialogs::test
