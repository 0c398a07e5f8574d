// On Windows the current user's store is the registry itself: what the tool writes is there for
// regedit and reg.exe to see, and what they write the tool reads.
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace
{
const wchar_t* const kProductKey = L"Software\\Farrowind\\tk_corvane";

// A value as the registry holds it, read without the tool: its type and its text.
struct RawValue {
    DWORD type = REG_NONE;
    std::wstring text;
};

std::optional<RawValue> rawValue(const wchar_t* key, const wchar_t* name)
{
    DWORD type = 0, size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, buffer.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    buffer.resize(type == REG_SZ && size >= sizeof(wchar_t) ? size / sizeof(wchar_t) - 1 : 0);
    return RawValue{type, buffer};
}

void setRaw(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    ::RegCloseKey(h);
}

class RegistryStore : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Farrowind\\tk_corvane\\regtest");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Farrowind\\regtest_vendor");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\tk_regtest_outside");
    }
    void TearDown() override { SetUp(); }
};
} // namespace

TEST_F(RegistryStore, WritesStringValuesWhereEveryKeyFormPoints)
{
    const SettingsStore store = SettingsStore::forCurrentUser();
    EXPECT_TRUE(store.filePath().empty()) << "the current user's store is the registry, not a file";

    struct Case {
        const char* key;
        const wchar_t* regKey;
        const wchar_t* name;
    };
    const Case cases[] = {
        {"regtest\\Path\\", L"Software\\Farrowind\\tk_corvane\\regtest", L"Path"},
        {"\\regtest\\text1", L"Software\\Farrowind\\tk_corvane\\regtest", L"text1"},
        {"$$$$regtest_vendor\\inner\\v", L"Software\\Farrowind\\regtest_vendor\\inner", L"v"},
        {"HKEY_CURRENT_USER\\Software\\tk_regtest_outside\\v", L"Software\\tk_regtest_outside", L"v"},
    };
    for (const Case& c : cases) {
        store.RegSave(c.key, "Сервер «до утра» №1 ☃");
        const auto raw = rawValue(c.regKey, c.name);
        ASSERT_TRUE(raw.has_value()) << c.key;
        EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ)) << c.key;
        EXPECT_EQ(raw->text, L"Сервер «до утра» №1 ☃") << c.key;
        EXPECT_EQ(store.RegLoad(c.key), "Сервер «до утра» №1 ☃") << c.key;
    }
    // An empty text is an empty string value, not a missing one.
    store.RegSave("regtest\\empty", "");
    ASSERT_TRUE(rawValue(L"Software\\Farrowind\\tk_corvane\\regtest", L"empty").has_value());
    EXPECT_EQ(store.RegLoad("regtest\\empty"), "");
    // Registry names ignore case: "Temp" and "temp" are one key.
    store.RegSave("REGTEST\\TEXT1", "upper");
    EXPECT_EQ(store.RegLoad("regtest\\text1"), "upper");
}

TEST_F(RegistryStore, ReadsWhatOthersWroteAndDeletesOnlyItsValue)
{
    const SettingsStore store = SettingsStore::forCurrentUser();
    const std::wstring typed = L"db.example.org:3307";
    setRaw(L"Software\\Farrowind\\tk_corvane\\regtest", L"text1", REG_SZ, typed.c_str(),
           static_cast<DWORD>((typed.size() + 1) * sizeof(wchar_t)));
    const DWORD number = 3307;
    setRaw(L"Software\\Farrowind\\tk_corvane\\regtest", L"port", REG_DWORD, &number, sizeof number);
    const BYTE blob[] = {1, 2, 3};
    setRaw(L"Software\\Farrowind\\tk_corvane\\regtest", L"blob", REG_BINARY, blob, sizeof blob);

    EXPECT_EQ(store.RegLoad("regtest\\text1"), "db.example.org:3307");
    EXPECT_EQ(store.RegLoad("regtest\\port"), "3307") << "a number reads back as its text";
    EXPECT_EQ(store.RegLoad("regtest\\blob"), "") << "a value text cannot show reads as empty";
    EXPECT_EQ(store.RegLoad("regtest\\never_written"), "");
    EXPECT_EQ(store.RegLoad("hkey_current_user\\Software\\tk_regtest_outside\\v"), "")
        << "a lower-case hive name is a relative key";

    std::string v;
    store.RegAccess(3, "regtest\\port", v);
    EXPECT_FALSE(rawValue(L"Software\\Farrowind\\tk_corvane\\regtest", L"port").has_value());
    EXPECT_TRUE(rawValue(L"Software\\Farrowind\\tk_corvane\\regtest", L"text1").has_value());
    store.RegAccess(3, "regtest\\port", v); // deleting what is gone does nothing
    v = "unchanged";
    store.RegAccess(7, "regtest\\text1", v);
    EXPECT_EQ(v, "unchanged");
    EXPECT_EQ(store.RegLoad("regtest\\text1"), "db.example.org:3307") << "an unknown mode changes nothing";
}
