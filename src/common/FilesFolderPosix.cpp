// Where an installed copy writes its files on POSIX systems: the user's XDG data folder.
#include "common/ExecutableFolder.h"
#include "common/SystemFiles.h"

#include <cstdlib>

FilesFolderRule currentFilesFolderRule()
{
    std::string dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        dataHome = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dataHome = std::string(home) + "/.local/share";
    else
        dataHome = "/tmp";
    return FilesFolderRule{TK_INSTALL_PREFIX, sysfiles::canWriteIn, dataHome, '/', false};
}
