// CdlgEx's properties, Action, the cancel error, the file, colour and help dialogs and the shell dialogs.
#include "dialogs/CdlgEx.h"
#include "RecordingPlatform.h"

#include <QMetaMethod>

#include <gtest/gtest.h>

namespace dialogs::test
{
namespace
{

TEST(CdlgExFileDialog, FillsTheRecordAndReadsBackOnlyTheNames)
{
    const std::string chosen = "C:\\\xCF\xE0\xEF\xEA\xE0\\b.txt"; // "Папка" in cp1251
    for (const int action : {1, 2}) {
        RecordingPlatform platform;
        platform.file.result = 1;
        platform.file.answer = [&](OpenFileName& r) {
            r.file.replace(0, chosen.size() + 1, chosen + '\0');
            r.fileTitle.replace(0, 6, std::string("b.txt") + '\0');
            r.filterIndex = 5;
            r.flags = 0x4;
        };
        CdlgEx dlg(platform);
        dlg.sethOwner(77);
        dlg.setFlags(-1);
        dlg.setFileName("C:\\a.txt");
        dlg.setFilter("Text|*.txt|All|*.*");
        dlg.setFilterIndex(2);
        dlg.setDefaultExt("txt");
        dlg.setDialogTitle(QString::fromUtf8("Открыть"));
        dlg.setProperty("Action", action);

        const OpenFileName& r = platform.file.seen;
        SCOPED_TRACE(action);
        EXPECT_EQ(r.flags, 0xFFFFFF1Fu);
        EXPECT_EQ(r.file, "C:\\a.txt" + std::string(247, '\0'));
        EXPECT_EQ(r.fileTitle, std::string(255, '\0'));
        EXPECT_EQ(visible(r.filter), "Text\\0*.txt\\0All\\0*.*\\0\\0");
        EXPECT_EQ(r.filterIndex, 2u);
        EXPECT_EQ(r.defExt, "txt");
        EXPECT_EQ(r.title, "\xCE\xF2\xEA\xF0\xFB\xF2\xFC"); // the title in the ANSI code page
        EXPECT_EQ(r.initialDir, "C:\\Prog");                // the program's folder stands in
        EXPECT_TRUE(dlg.InitDir().isEmpty());

        EXPECT_EQ(dlg.FileName(), QString::fromUtf8("C:\\Папка\\b.txt"));
        EXPECT_EQ(dlg.FileTitle(), "b.txt");
        EXPECT_EQ(dlg.FilterIndex(), 2);
        EXPECT_EQ(dlg.flags(), -1);
        // A second call starts from what the first one returned.
        platform.file.result = 0;
        dlg.ShowOpen();
        EXPECT_EQ(platform.file.seen.file.substr(0, chosen.size() + 1), chosen + '\0');
    }
}

TEST(CdlgExFileDialog, FilterAndLimits)
{
    struct Case {
        const char* label;
        QString filter, fileName;
        std::string wantFilter;
        int wantError; // 0: the dialog opens
    };
    const Case cases[] = {
        {"empty filter", "", "", "\\0\\0", 0},
        {"255-char name fits", "", QString(255, 'x'), "\\0\\0", 0},
        {"256-char name", "", QString(256, 'x'), "", kErrInvalidArgument},
        {"32,767-char filter", QString(32767, 'f'), "", std::string(32767, 'f') + "\\0\\0", 0},
        {"32,768-char filter", QString(32768, 'f'), "", "", kErrOverflow},
    };
    for (const Case& c : cases) {
        RecordingPlatform platform;
        CdlgEx dlg(platform);
        dlg.setFilter(c.filter);
        dlg.setFileName(c.fileName);
        EXPECT_EQ(errorNumber([&] { dlg.ShowOpen(); }), c.wantError) << c.label;
        EXPECT_EQ(platform.calls.size(), c.wantError ? 0u : 1u) << c.label;
        if (!c.wantError) {
            EXPECT_EQ(visible(platform.file.seen.filter), c.wantFilter) << c.label;
        }
    }
}

TEST(CdlgExCancel, RaisesOnlyWithCancelErrorAndChangesNothing)
{
    const char* methods[] = {"ShowOpen", "ShowSave", "ShowColor", "ShowFont", "ShowPrinter"}; // Action 1 to 5
    for (int i = 0; i < 5; ++i) {
        for (const bool cancelError : {false, true}) {
            RecordingPlatform platform;
            platform.installed = {{"P", "drv", "LPT1:"}};
            platform.current = 0;
            CdlgEx dlg(platform);
            dlg.setCancelError(cancelError);
            dlg.setFileName("keep.txt");
            dlg.setFileTitle("title");
            dlg.setRGBResult(0x123456);
            dlg.setFontName("Arial");
            dlg.setFontSize(12);
            dlg.sethOwner(9);
            bool raised = false;
            try {
                if (cancelError)
                    dlg.setProperty("Action", i + 1); // the error passes through Action
                else
                    QMetaObject::invokeMethod(&dlg, methods[i]);
            } catch (const DialogCancelError& e) {
                raised = true;
                EXPECT_EQ(e.number(), 0) << methods[i];
                EXPECT_STREQ(e.what(), "") << methods[i];
            }
            EXPECT_EQ(raised, cancelError) << methods[i];
            EXPECT_EQ(platform.calls.size(), 1u) << methods[i]; // the dialog was shown
            EXPECT_EQ(dlg.FileName(), "keep.txt") << methods[i];
            EXPECT_EQ(dlg.FileTitle(), "title") << methods[i];
            EXPECT_EQ(dlg.RGBResult(), 0x123456) << methods[i];
            EXPECT_EQ(dlg.FontName(), "Arial") << methods[i];
            EXPECT_EQ(dlg.FontSize(), 12) << methods[i];
            EXPECT_EQ(dlg.hOwner(), 9) << methods[i];
            EXPECT_TRUE(platform.liveDcs.empty()) << methods[i]; // the font and printer dialogs' contexts
        }
    }
}

TEST(CdlgExColor, FreshWhiteCustomTableEveryCall)
{
    RecordingPlatform platform;
    platform.color.result = 1;
    platform.color.answer = [](ChooseColor& r) {
        r.rgbResult = 0x00FF8040;
        r.custColors->fill(0); // the dialog edits the custom table
    };
    CdlgEx dlg(platform);
    dlg.sethOwner(5);
    dlg.setFlags(0xFF);
    dlg.setRGBResult(0x0000FF);
    std::array<std::uint32_t, 16> white;
    white.fill(0xFFFFFFFF);
    for (int call = 0; call < 2; ++call) {
        dlg.ShowColor();
        EXPECT_EQ(platform.color.seen.flags, 0xFu);
        EXPECT_EQ(platform.customSeen, white) << "call " << call;
    }
    EXPECT_EQ(platform.color.seen.rgbResult, 0x00FF8040u); // the second call starts from the first's choice
    EXPECT_EQ(dlg.RGBResult(), 0x00FF8040);
}

TEST(CdlgExProperties, IconSizeRules)
{
    RecordingPlatform platform;
    CdlgEx fresh(platform);
    EXPECT_EQ(fresh.property("IconSize").toInt(), 32);

    struct Case {
        int given, wantVariable;
    };
    for (const Case c : {Case{20, 32}, Case{16, 16}, Case{32, 32}, Case{0, 32}}) {
        CdlgEx dlg(platform);
        int variable = c.given;
        dlg.letIconSize(variable);
        EXPECT_EQ(variable, c.wantVariable) << c.given;
        EXPECT_EQ(dlg.IconSize(), c.wantVariable) << c.given;
    }
}

TEST(CdlgExProperties, EachKeepsItsOwnValue)
{
    // Every property but Action (which keeps nothing), all given values no other gets before any is
    // read back, so two properties sharing one member show; the flags are turned on one at a time.
    RecordingPlatform platform;
    CdlgEx dlg(platform);
    const QMetaObject& meta = CdlgEx::staticMetaObject;
    std::vector<std::pair<QByteArray, QVariant>> values;
    std::vector<QByteArray> flags;
    for (int i = meta.propertyOffset() + 1; i < meta.propertyCount(); ++i) {
        const QByteArray name = meta.property(i).name();
        const int type = dlg.property(name).typeId();
        if (type == QMetaType::Bool) {
            flags.push_back(name);
            ASSERT_TRUE(dlg.setProperty(name, false)) << name.constData();
            continue;
        }
        values.emplace_back(name, type == QMetaType::QString ? QVariant(QString(name))
                                                             : QVariant(name == "IconSize" ? 16 : i));
        ASSERT_TRUE(dlg.setProperty(name, values.back().second)) << name.constData();
    }
    for (const auto& [name, value] : values)
        EXPECT_EQ(dlg.property(name), value) << name.constData();
    for (const QByteArray& on : flags) {
        dlg.setProperty(on, true);
        for (const QByteArray& flag : flags)
            EXPECT_EQ(dlg.property(flag).toBool(), flag == on) << flag.constData() << " with " << on.constData();
        dlg.setProperty(on, false);
    }
}

TEST(CdlgExAction, DialogsGetTheirNumberAndArguments)
{
    struct Case {
        const char* label;
        int flags;
        std::function<void(CdlgEx&)> call;
        std::string want; // a call the platform saw; empty: none at all
    };
    const auto act = [](int action) { return [action](CdlgEx& d) { d.setProperty("Action", action); }; };
    const auto objectProp = [](CdlgEx& d) { d.ShowObjectProp("obj", "Tab"); };
    const auto folder = [](CdlgEx& d) { d.ShowFolder(); };
    const Case cases[] = {
        {"Action 0 does nothing", 0, act(0), ""},
        {"Action -1 does nothing", 0, act(-1), ""},
        {"Action 11 does nothing", 0, act(11), ""},
        {"Action 15 does nothing", 0, act(15), ""},
        {"Action 1: open", 0, act(1), "open"},
        {"Action 2: save", 0, act(2), "save"},
        {"Action 3: colour", 0, act(3), "color"},
        {"Action 4: font", 0, act(4), "font"},
        {"Action 6: help", 0, act(6), "help 6 \\x 4 0"},
        {"Action 8: folder, flags 0 give 1", 0, act(8), "browse 6 71 prompt 1"},
        {"Action 9: format", 0, act(9), "format 6 0 0 0"},
        {"Action 10: icon", 0, act(10), "pickIcon 6 260 0"},
        {"Action 12: restart keeps bits 0-2", 0x1F, act(12), "restart 6 prompt 7"},
        {"Action 13: run takes bits 4-7", 0x35, act(13), "run 6 44 null title prompt 3"},
        {"Action 14: shut down", 0, act(14), "shutDown 6"},
        {"Action 7: about, an empty AppName becomes a NUL", 0,
         [&](CdlgEx& d) {
             act(7)(d);
             EXPECT_EQ(d.AppName(), QString(QChar(u'\0')));
         },
         "about 6 \\0 prompt 44"},
        {"folder 0x1001", 0x1001, folder, "browse 6 71 prompt 4097"},
        {"folder 0x8000 gives 1", 0x8000, folder, "browse 6 71 prompt 1"},
        {"folder 0x2000", 0x2000, folder, "browse 6 71 prompt 8192"},
        {"kind 0: empty path", 0, objectProp, "properties 6 2  Tab"},
        {"kind 1: printer", 0x100, objectProp, "properties 6 1 obj Tab"},
        {"kind 2: path", 0x2FF, objectProp, "properties 6 2 obj Tab"},
        {"kind 6: date and time", 0x600, objectProp, "start rundll32.exe shell32.dll,Control_RunDLL timedate.cpl,,0 1"},
        {"kind 9: internet", 0x900, objectProp, "start rundll32.exe shell32.dll,Control_RunDLL inetcpl.cpl,,0 1"},
        {"kind 10: empty path", 0xA00, objectProp, "properties 6 2  Tab"},
        {"format's arguments", 0, [](CdlgEx& d) { EXPECT_EQ(d.ShowFormat(2, 3, 1), -3); }, "format 6 2 3 1"},
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
        dlg.setHelpCommand(4);
        dlg.setHelpFile("\\x");
        c.call(dlg);
        const auto found = std::find(platform.calls.begin(), platform.calls.end(), c.want);
        EXPECT_TRUE(c.want.empty() ? platform.calls.empty() : found != platform.calls.end())
            << c.label << ": got " << ::testing::PrintToString(platform.calls);
    }

    // A control-panel applet that cannot be started is an error.
    RecordingPlatform platform;
    platform.startResult = 0;
    CdlgEx dlg(platform);
    dlg.setFlags(0x300);
    EXPECT_EQ(errorNumber([&] { dlg.ShowObjectProp("", ""); }), kErrFileNotFound);
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
    const std::string pick = "pickIcon 8 260 0", extract = "extract C:\\b.dll 3 1";
    const std::vector<std::string> kept{pick, extract, "destroyIcon 16", "destroyIcon 32"};
    // clang-format off
    const Case cases[] = {
        {"folder path does nothing",   "C:\\Icons\\", {}, 1, 1, {},              5},
        {"fresh instance keeps small", "C:\\a.ico",   {}, 1, 1, kept,            1016},
        {"size 32 keeps large",        "C:\\a.ico",   32, 1, 1, kept,            1032},
        {"cancelled",                  "C:\\a.ico",   32, 0, 1, {pick},          5},
        {"nothing extracted",          "C:\\a.ico",   32, 1, 0, {pick, extract}, 5},
    };
    // clang-format on
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

} // namespace
} // namespace dialogs::test
