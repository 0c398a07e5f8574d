#include "settings/SettingsStore.h"
#include "common/SystemFiles.h"
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace
{
class SettingsStoreTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("tk_settings_" + std::to_string(sysfiles::processId()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        m_file = (m_dir / "Farrowind" / "HKEY_CURRENT_USER.reg").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string fileText() const
    {
        std::ifstream in(m_file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path m_dir;
    std::string m_file;
};
} // namespace

TEST_F(SettingsStoreTest, KeyFormsAddressTheSameValuesAsTheRegistryWould)
{
    SettingsStore s(m_file);
    struct Case {
        const char* written;
        const char* readAs;
        const char* label;
    };
    const Case cases[] = {
        {"Temp\\Path\\", "temp\\path", "trailing backslash names a value, names are case-insensitive"},
        {"\\temp\\text1", "temp\\text1", "one leading backslash is dropped"},
        {"$$$$Other\\Key\\name", "HKEY_CURRENT_USER\\Software\\Farrowind\\Other\\Key\\name",
         "$$$$ places the key below the vendor, without the product"},
        {"Ab$$$$c\\$$$$v", "Ab$$$$c\\$$$$v", "$$$$ inside a key does nothing special"},
        {"HKEY_CURRENT_USER\\Software\\Elsewhere\\v", "HKEY_CURRENT_USER\\Software\\Elsewhere\\v", "full path"},
        {"hkey_current_user\\x\\v", "HKEY_CURRENT_USER\\Software\\Farrowind\\tk_corvane\\hkey_current_user\\x\\v",
         "a lower-case hive name counts as a relative key"},
        {"Папка\\Значение", "папка\\ЗНАЧЕНИЕ", "Cyrillic names compare case-insensitively too"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string value = "v" + std::to_string(n++) + " «текст»";
        s.RegSave(c.written, value);
        EXPECT_EQ(s.RegLoad(c.readAs), value) << c.label;
    }
    // "$$$$" keys never reach the product key.
    EXPECT_EQ(s.RegLoad("Other\\Key\\name"), "");
    // Two backslashes at the end: only one comes off, so the key's default value is addressed.
    s.RegSave("temp\\\\", "default");
    EXPECT_EQ(s.RegLoad("\\temp\\\\"), "default");
    EXPECT_EQ(s.RegLoad("temp"), "");
}

TEST_F(SettingsStoreTest, EmptyMissingDeletedAndUnknownModes)
{
    SettingsStore s(m_file);
    EXPECT_EQ(s.RegLoad("temp\\never"), "") << "missing file reads as empty";
    EXPECT_FALSE(fs::exists(m_file)) << "reading creates nothing";

    s.RegSave("temp\\text1", "server");
    s.RegSave("temp\\text1", "");
    EXPECT_EQ(s.RegLoad("temp\\text1"), "");
    EXPECT_NE(fileText().find("\"text1\"=\"\""), std::string::npos) << "an empty text is stored as a value";

    std::string value = "kept";
    for (std::int16_t mode : {0, 4, -1, 100}) {
        const std::string before = fileText();
        s.RegAccess(mode, "temp\\other", value);
        EXPECT_EQ(fileText(), before) << "mode " << mode;
        EXPECT_EQ(value, "kept") << "mode " << mode;
    }

    s.RegSave("temp\\gone", "x");
    s.RegAccess(3, "TEMP\\GONE", value);
    EXPECT_EQ(s.RegLoad("temp\\gone"), "");
    s.RegAccess(3, "temp\\gone", value); // deleting again is harmless
    s.RegSave("$$$$XXkey\\v", "vendor");
    s.RegAccess(3, "XXkey\\v", value);
    EXPECT_EQ(s.RegLoad("$$$$XXkey\\v"), "") << "an XX key is deleted directly below the vendor";
    EXPECT_EQ(s.RegLoad("temp\\text1"), "") << "other values survive deletes";
}

TEST_F(SettingsStoreTest, SpecialCharactersRoundTrip)
{
    SettingsStore s(m_file);
    const std::string tricky = "a\"b\\c\nd\re=[x] ; «ё» ";
    s.RegSave("temp\\na\"me=", tricky);
    EXPECT_EQ(SettingsStore(m_file).RegLoad("TEMP\\NA\"ME="), tricky);
    // Key texts that close a heading early, look like an escape or break the line: each keeps its
    // own value, and none lends it to the key above it in the file.
    s.RegSave("temp\\text4", "own");
    const std::string keys[] = {"zz]\\text4", "[a]]\\text4", "100%25\\text4", "two\nlines\r\\text4"};
    for (const std::string& key : keys)
        s.RegSave(key, "value of " + key);
    for (const std::string& key : keys)
        EXPECT_EQ(SettingsStore(m_file).RegLoad(key), "value of " + key) << key;
    EXPECT_EQ(SettingsStore(m_file).RegLoad("temp\\text4"), "own");
}

TEST_F(SettingsStoreTest, WritersNeverLoseEachOthersValues)
{
    SettingsStore first(m_file), second(m_file);
    first.RegSave("temp\\text1", "one");
    second.RegSave("temp\\text2", "two");
    first.RegSave("temp\\text4", "four");
    EXPECT_EQ(second.RegLoad("temp\\text1"), "one") << "no cache: a value written is seen at once";
    EXPECT_EQ(first.RegLoad("temp\\text2"), "two");

    // Two writers hammering the same file, each through its own lock file handle as two processes
    // would: every value of both must be there at the end.
    const int perWriter = 60;
    const auto hammer = [&](const char* who) {
        SettingsStore mine(m_file);
        for (int i = 0; i < perWriter; ++i)
            mine.RegSave(std::string("race\\") + who + std::to_string(i), std::to_string(i));
    };
    std::thread other(hammer, "other");
    hammer("this");
    other.join();
    SettingsStore mine(m_file);
    int found = 0;
    for (const char* w : {"other", "this"})
        for (int i = 0; i < perWriter; ++i)
            found += mine.RegLoad(std::string("race\\") + w + std::to_string(i)) == std::to_string(i);
    EXPECT_EQ(found, 2 * perWriter);
    EXPECT_EQ(mine.RegLoad("temp\\text4"), "four");
}

TEST_F(SettingsStoreTest, DamagedFileKeepsWhatItHeld)
{
    fs::create_directories(fs::path(m_file).parent_path());
    {
        std::ofstream out(m_file, std::ios::binary);
        out << "\x01\xff garbage line\n"
               "[HKEY_CURRENT_USER\\Software\\Farrowind\\tk_corvane\\temp]\n"
               "\"text1\"=\"good\"\n"
               "\"broken=\"unterminated\n"
               "[half a section\n";
    }
    SettingsStore s(m_file);
    EXPECT_EQ(s.RegLoad("temp\\text1"), "good");
    EXPECT_EQ(s.RegLoad("temp\\broken"), "");
    s.RegSave("temp\\text2", "new");
    const std::string after = fileText();
    for (const char* kept :
         {"\x01\xff garbage line", "\"broken=\"unterminated", "[half a section", "\"text1\"=\"good\""})
        EXPECT_NE(after.find(kept), std::string::npos) << kept;
    EXPECT_EQ(s.RegLoad("temp\\text2"), "new");
}

TEST_F(SettingsStoreTest, FailedWriteIsReportedWithItsNumber)
{
    // A plain file where the store's folder should be: no write can succeed, even for root.
    fs::create_directories(m_dir);
    std::ofstream(m_dir / "Farrowind") << "not a folder";
    SettingsStore s(m_file);
    try {
        s.RegSave("temp\\text1", "x");
        ADD_FAILURE() << "write below a plain file succeeded";
    } catch (const SystemError& e) {
        // The system's own number and its text (ENOTDIR here; a path error on Windows).
        EXPECT_NE(e.number, 0);
        EXPECT_NE(std::string(e.what()).find(systemErrorText(static_cast<int>(e.number))), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(s.RegLoad("temp\\text1"), "");
}
