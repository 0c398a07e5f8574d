// CdlgEx's font and printer dialogs: the records they fill and what they read back.
#include "RecordingPlatform.h"
#include "dialogs/CdlgEx.h"

#include <gtest/gtest.h>

namespace dialogs::test
{
namespace
{

TEST(CdlgExFont, FillsTheRecordAndReadsBackTheChoice)
{
    struct Case {
        const char* label;
        int fontSize, dpi, wantHeight;
        std::string style; // set before the call: Bold, Italic, Underline, Strike-through
        std::optional<std::string> resolved;
        std::uint16_t fontType;
        QString wantName;
        bool wantBold;
    };
    // clang-format off
    const Case cases[] = {
        {"10 pt at 96 dpi; resolved name",  10, 96, 13, "",   "DejaVu Sans",        0x2000, "DejaVu Sans",    false},
        {"half down to even; name cut",      3, 12,  0, "B",  std::string(90, 'n'), 0x400,  QString(79, 'n'), false},
        {"half up to even; no font",         9, 12,  2, "I",  std::nullopt,         0x2000, "Arial",          false},
        {"2.5 to 2; bold from font type",   15, 12,  2, "US", "Arial",              0x2100, "Arial",          true},
    };
    // clang-format on
    for (const Case& c : cases) {
        RecordingPlatform platform;
        platform.dpi = c.dpi;
        platform.faceName = c.resolved;
        platform.font.result = 1;
        platform.font.answer = [&](ChooseFont& r) {
            r.pointSize = 105;
            r.color = 0xFF;
            r.fontType = c.fontType;
            r.logFont->italic = 1;
            r.logFont->underline = 0;
            r.logFont->strikeOut = 1;
        };
        const auto has = [&](char style) { return c.style.find(style) != std::string::npos; };
        CdlgEx dlg(platform);
        dlg.sethOwner(4);
        dlg.setFlags(-1); // the font dialog takes none of these bits
        dlg.setFontName("Arial");
        dlg.setFontSize(c.fontSize);
        dlg.setBold(has('B'));
        dlg.setItalic(has('I'));
        dlg.setUnderline(has('U'));
        dlg.setStrikeThru(has('S'));
        dlg.setRGBResult(0x0A0B0C);
        dlg.ShowFont();
        const ChooseFont& r = platform.font.seen;
        const LogFont& lf = platform.logFontSeen;
        EXPECT_EQ(lf.height, c.wantHeight) << c.label;
        EXPECT_EQ(r.pointSize, c.fontSize * 10) << c.label;
        EXPECT_EQ(r.flags, 0x141u) << c.label;
        EXPECT_EQ(r.color, 0x0A0B0Cu) << c.label;
        EXPECT_STREQ(lf.faceName.data(), "Arial") << c.label;
        EXPECT_EQ(lf.weight, has('B') ? 700 : 0) << c.label;
        EXPECT_EQ(lf.italic, has('I') ? 1 : 0) << c.label;
        EXPECT_EQ(lf.underline, has('U') ? 1 : 0) << c.label;
        EXPECT_EQ(lf.strikeOut, has('S') ? 1 : 0) << c.label;
        EXPECT_TRUE(platform.liveDcs.empty()) << c.label;

        EXPECT_EQ(dlg.FontSize(), 10) << c.label; // 105 tenths
        EXPECT_EQ(dlg.FontName(), c.wantName) << c.label;
        EXPECT_EQ(dlg.Bold(), c.wantBold) << c.label;
        EXPECT_TRUE(dlg.Italic()) << c.label;
        EXPECT_FALSE(dlg.Underline()) << c.label;
        EXPECT_TRUE(dlg.StrikeThru()) << c.label;
        EXPECT_EQ(dlg.RGBResult(), 0xFF) << c.label;
    }
}

TEST(CdlgExFont, RefusesBeforeAnyDialog)
{
    struct Case {
        QString name;
        int size, wantError;
    };
    const Case cases[] = {{QString(32, 'a'), 10, 0},
                          {QString(33, 'a'), 10, kErrSubscriptOutOfRange},
                          {QString(32, QChar(0x0416)), 10, 0}, // Cyrillic: one byte each in the code page
                          {"Arial", 214748364, 0},
                          {"Arial", 214748365, kErrOverflow},
                          {"Arial", -214748365, kErrOverflow}};
    for (const Case& c : cases) {
        RecordingPlatform platform;
        platform.dpi = 1; // keeps the height in range
        CdlgEx dlg(platform);
        dlg.setFontName(c.name);
        dlg.setFontSize(c.size);
        EXPECT_EQ(errorNumber([&] { dlg.ShowFont(); }), c.wantError) << c.name.size() << " " << c.size;
        EXPECT_EQ(platform.calls.size(), c.wantError ? 0u : 1u) << c.size;
        EXPECT_TRUE(platform.liveDcs.empty());
    }
}

std::vector<std::uint8_t> returnedDevMode(const std::string& name, std::int16_t copies, std::int16_t duplex,
                                          std::int16_t orientation)
{
    std::vector<std::uint8_t> dm(devmode::kSize, 0);
    writeText(dm, 0, 32, name, '\0');
    writeU16(dm, devmode::kCopies, static_cast<std::uint16_t>(copies));
    writeU16(dm, devmode::kDuplex, static_cast<std::uint16_t>(duplex));
    writeU16(dm, devmode::kOrientation, static_cast<std::uint16_t>(orientation));
    return dm;
}

TEST(CdlgExPrinter, FillsDevModeAndDevNames)
{
    struct Case {
        const char* label;
        FakePrinter printer;
        std::string wantName, wantNames; // device-name field; names area shown with \0
        std::uint16_t wantDevice, wantOutput;
    };
    const std::string d(40, 'D'), r(40, 'R'), p(30, 'P');
    // clang-format off
    const Case cases[] = {
        {"short names", {"HP", "winspool", "LPT1:", 2, 3}, "HP" + std::string(30, ' '),
         "winspool\\0HP\\0LPT1:\\0" + std::string(82, ' '), 17, 20},
        {"long names cut", {d, r, p, 1, 1}, d.substr(0, 32), r + "\\0" + d + "\\0" + p.substr(0, 18), 49, 90},
    };
    // clang-format on
    for (const Case& c : cases) {
        RecordingPlatform platform;
        platform.installed = {c.printer};
        platform.current = 0;
        CdlgEx dlg(platform);
        dlg.setFlags(-1);
        dlg.ShowPrinter();
        const PrintDlg& r = platform.print.seen;
        EXPECT_EQ(r.flags, 0x1C0FFFu) << c.label;
        ASSERT_TRUE(r.devMode && r.devNames) << c.label;
        const std::vector<std::uint8_t>& dm = *r.devMode;
        EXPECT_EQ(std::string(dm.begin(), dm.begin() + 32), c.wantName) << c.label;
        EXPECT_EQ(readU16(dm, 44), c.printer.orientation) << c.label;
        EXPECT_EQ(readU16(dm, 62), c.printer.duplex) << c.label;
        const std::vector<std::uint8_t>& dn = *r.devNames;
        EXPECT_EQ(readU16(dn, 2), c.wantDevice) << c.label;
        EXPECT_EQ(readU16(dn, 4), c.wantOutput) << c.label;
        EXPECT_EQ(visible(std::string(dn.begin() + 8, dn.end())), c.wantNames) << c.label;
    }
}

TEST(CdlgExPrinter, AppliesTheChoice)
{
    RecordingPlatform platform;
    platform.installed = {{"Laser", "d", "p"}, {"Office", "d", "p"}, {"office2", "d", "p"}, {"OFFICE", "d", "p"}};
    platform.current = 0;
    platform.print.result = 1;
    platform.print.answer = [](PrintDlg& r) {
        r.dc = 901;
        r.devMode = returnedDevMode("office", 3, 2, 2);
    };
    CdlgEx dlg(platform);
    dlg.sethOwner(12);
    dlg.ShowPrinter();
    EXPECT_EQ(dlg.hOwner(), 901);
    // Every upper-case match becomes current in turn; the last stays.
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"print 12 0", "makeCurrent 1", "makeCurrent 3"}));
    const FakePrinter& chosen = platform.installed[3];
    EXPECT_EQ(chosen.copies, 3);
    EXPECT_EQ(chosen.duplex, 2);
    EXPECT_EQ(chosen.orientation, 2);
    EXPECT_EQ(platform.installed[0].copies, 1);
    EXPECT_TRUE(platform.liveDcs.empty()); // only the returned context, now in hOwner, is kept

    // The next dialog is owned by the device context; the current name equals the key: no switch.
    platform.calls.clear();
    platform.failSettings = true; // refused settings are ignored
    platform.print.answer = [](PrintDlg& r) { r.devMode = returnedDevMode("OFFICE", 1, 1, 1); };
    dlg.ShowPrinter();
    EXPECT_EQ(platform.calls, std::vector<std::string>{"print 901 0"});
    EXPECT_EQ(chosen.copies, 3);
}

TEST(CdlgExPrinter, PrinterErrorShownOnceThenSkipped)
{
    struct Case {
        const char* label;
        bool printers, nameFails;
        std::string wantText;
    };
    const Case cases[] = {
        {"no printer installed", false, false, "No printers are installed."},
        {"device name unreadable", true, true, "Name unreadable"},
    };
    for (const Case& c : cases) {
        RecordingPlatform platform;
        if (c.printers) {
            platform.installed = {{"P", "d", "p"}};
            platform.current = 0;
        }
        platform.failNameRead = c.nameFails;
        CdlgEx dlg(platform);
        // Reading the names for the device-names block fails again and reaches the caller: the call ends.
        EXPECT_THROW(dlg.ShowPrinter(), PlatformError) << c.label;
        ASSERT_EQ(platform.messages.size(), 1u) << c.label;
        EXPECT_EQ(platform.messages[0], std::make_tuple(c.wantText, 48u, std::string("Printer Error"))) << c.label;
        EXPECT_TRUE(platform.calls.empty()) << c.label; // no dialog
        EXPECT_TRUE(platform.liveDcs.empty()) << c.label;
    }
}

} // namespace
} // namespace dialogs::test
