#include "common/ExecutableFolder.h"

#include <gtest/gtest.h>

TEST(FilesFolder, BesideAnOwnCopyElseInTheUsersDataFolder)
{
    struct Case {
        const char* label;
        std::string exeFolder;
        bool writable;
        std::string want;
    };
    const Case cases[] = {
        {"build tree of the user's own", "/home/u/src/build/", true, "/home/u/src/build/"},
        {"folder the user cannot write", "/opt/tools/", false, "/home/u/.local/share/tk_corvane/"},
        {"installed under the prefix, even when writable", "/usr/bin/", true, "/home/u/.local/share/tk_corvane/"},
        {"a folder merely starting like the prefix", "/usrlocal/bin/", true, "/usrlocal/bin/"},
    };
    for (const Case& c : cases) {
        const FilesFolderRule rule{"/usr", [&](const std::string&) { return c.writable; }, "/home/u/.local/share/"};
        EXPECT_EQ(chooseFilesFolder(c.exeFolder, rule), c.want) << c.label;
    }
}
