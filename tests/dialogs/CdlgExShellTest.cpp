// CdlgEx's shell dialogs: the arguments they pass and what they write back.
#include "RecordingPlatform.h"
#include "dialogs/CdlgEx.h"

#include <gtest/gtest.h>

namespace dialogs::test
{
namespace
{

TEST(CdlgExShell, FlagsReachTheDialogs)
{
    struct Case {
        const char* label;
        int flags;
        std::function<void(CdlgEx&)> call;
        std::string want;
    };
    const auto objectProp = [](CdlgEx& d) { d.ShowObjectProp("obj", "Tab"); };
    const Case cases[] = {
        {"restart keeps bits 0-2", 0x1F, [](CdlgEx& d) { d.ShowRestart(); }, "restart 6 prompt 7"},
        {"run takes bits 4-7", 0x35, [](CdlgEx& d) { d.ShowRun(); }, "run 6 44 null title prompt 3"},
        {"folder 0 gives 1", 0, [](CdlgEx& d) { d.ShowFolder(); }, "browse 6 71 prompt 1"},
        {"folder 0x1001", 0x1001, [](CdlgEx& d) { d.ShowFolder(); }, "browse 6 71 prompt 4097"},
        {"folder 0x8000 gives 1", 0x8000, [](CdlgEx& d) { d.ShowFolder(); }, "browse 6 71 prompt 1"},
        {"folder 0x2000", 0x2000, [](CdlgEx& d) { d.ShowFolder(); }, "browse 6 71 prompt 8192"},
        {"kind 0: empty path", 0, objectProp, "properties 6 2  Tab"},
        {"kind 1: printer", 0x100, objectProp, "properties 6 1 obj Tab"},
        {"kind 2: path", 0x2FF, objectProp, "properties 6 2 obj Tab"},
        {"kind 6: date and time", 0x600, objectProp, "start rundll32.exe shell32.dll,Control_RunDLL timedate.cpl,,0 1"},
        {"kind 9: internet", 0x900, objectProp, "start rundll32.exe shell32.dll,Control_RunDLL inetcpl.cpl,,0 1"},
        {"kind 10: empty path", 0xA00, objectProp, "properties 6 2  Tab"},
        {"format", 0, [](CdlgEx& d) { EXPECT_EQ(d.ShowFormat(2, 3, 1), -3); }, "format 6 2 3 1"},
        {"find files", 0, [](CdlgEx& d) { d.ShowFindFiles(); }, "findFiles null null"},
    };
    for (const Case& c : cases) {
        RecordingPlatform platform;
        CdlgEx dlg(platform);
        dlg.sethOwner(6);
        dlg.sethIcon(44);
        dlg.setFlags(c.flags);
        dlg.setDialogTitle("title");
        dlg.setDialogPrompt("prompt");
        dlg.setInitDir("C:\\Root");
        c.call(dlg);
        const auto found = std::find(platform.calls.begin(), platform.calls.end(), c.want);
        EXPECT_NE(found, platform.calls.end()) << c.label << ": got " << ::testing::PrintToString(platform.calls);
    }
}

TEST(CdlgExShell, FailedAppletStartIsAnError)
{
    RecordingPlatform platform;
    platform.startResult = 0;
    CdlgEx dlg(platform);
    dlg.setFlags(0x300);
    try {
        dlg.ShowObjectProp("", "");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrFileNotFound);
    }
}

TEST(CdlgExShell, IconPickerKeepsTheChosenSize)
{
    struct Case {
        const char* label;
        QString fileName;
        std::optional<int> iconSize; // set through the let when given
        int pickResult, extractCount;
        std::vector<std::string> want;
        int wantIcon;
    };
    const std::string buffer260 = "pickIcon 8 260 0";
    const Case cases[] = {
        {"folder path does nothing", "C:\\Icons\\", {}, 1, 1, {}, 5},
        {"fresh instance keeps small",
         "C:\\a.ico",
         {},
         1,
         1,
         {buffer260, "extract C:\\b.dll 3 1", "destroyIcon 16", "destroyIcon 32"},
         1016},
        {"size 32 keeps large",
         "C:\\a.ico",
         32,
         1,
         1,
         {buffer260, "extract C:\\b.dll 3 1", "destroyIcon 16", "destroyIcon 32"},
         1032},
        {"cancelled", "C:\\a.ico", 32, 0, 1, {buffer260}, 5},
        {"nothing extracted", "C:\\a.ico", 32, 1, 0, {buffer260, "extract C:\\b.dll 3 1"}, 5},
    };
    for (const Case& c : cases) {
        RecordingPlatform platform;
        platform.pickResult = c.pickResult;
        platform.pickFile = "C:\\b.dll";
        platform.pickIndex = 3;
        platform.extractCount = c.extractCount;
        CdlgEx dlg(platform);
        dlg.sethOwner(8);
        dlg.sethIcon(5);
        dlg.setFileName(c.fileName);
        if (c.iconSize)
            dlg.setIconSize(*c.iconSize);
        dlg.ShowIcon();
        EXPECT_EQ(platform.calls, c.want) << c.label;
        EXPECT_EQ(dlg.hIcon(), c.wantIcon) << c.label;
        EXPECT_EQ(dlg.FileName(), c.fileName) << c.label;
        if (!c.want.empty()) {
            EXPECT_EQ(platform.pickBufferSeen, c.fileName.toStdString() + std::string(260 - c.fileName.size(), '\0'))
                << c.label;
        }
    }
}

TEST(CdlgExShell, FolderGoesToInitDir)
{
    for (const Handle chosen : {0, 72}) {
        RecordingPlatform platform;
        platform.browseResult = chosen;
        platform.browsePath = "D:\\Docs";
        CdlgEx dlg(platform);
        dlg.setInitDir("C:\\Root");
        EXPECT_EQ(dlg.ShowFolder(), QString());
        EXPECT_EQ(dlg.InitDir(), chosen ? "D:\\Docs" : "C:\\Root");
        EXPECT_TRUE(platform.liveItemLists.empty()) << "item lists freed, the root's too";
    }
}

TEST(CdlgExShell, AboutWithEmptyAppNameKeepsANul)
{
    RecordingPlatform platform;
    CdlgEx dlg(platform);
    dlg.sethIcon(3);
    dlg.setDialogPrompt("More");
    dlg.ShowAbout();
    EXPECT_EQ(dlg.AppName(), QString(QChar(u'\0')));
    dlg.ShowAbout();
    EXPECT_EQ(platform.calls, (std::vector<std::string>(2, "about 0 \\0 More 3")));
}

} // namespace
} // namespace dialogs::test
