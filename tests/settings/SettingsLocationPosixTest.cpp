// Without a system registry the store is a file in the user's configuration folder.
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(SettingsLocation, FollowsXdgConfigHome)
{
    ::setenv("XDG_CONFIG_HOME", "/tmp/tk_xdg_a", 1);
    EXPECT_EQ(SettingsStore::forCurrentUser().filePath(), "/tmp/tk_xdg_a/Farrowind/HKEY_CURRENT_USER.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SettingsStore::forCurrentUser().filePath(), "/home/someone/.config/Farrowind/HKEY_CURRENT_USER.reg");
}
