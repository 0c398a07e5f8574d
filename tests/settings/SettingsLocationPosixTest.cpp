// Without a system registry the store is a file in the user's configuration folder.
#include "settings/SettingsStore.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

TEST(SettingsLocation, FollowsXdgConfigHome)
{
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "/tmp/tk_xdg_a");
        EXPECT_EQ(SettingsStore::forCurrentUser().filePath(), "/tmp/tk_xdg_a/Farrowind/HKEY_CURRENT_USER.reg");
    }
    const ScopedEnv config("XDG_CONFIG_HOME", std::nullopt), home("HOME", "/home/someone");
    EXPECT_EQ(SettingsStore::forCurrentUser().filePath(), "/home/someone/.config/Farrowind/HKEY_CURRENT_USER.reg");
}
