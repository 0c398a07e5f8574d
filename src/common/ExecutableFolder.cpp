#include "common/ExecutableFolder.h"

#include "common/ProductInfo.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

std::string executableFolder()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string("./");
    path.erase(path.rfind('/') + 1);
    while (path.size() > 1 && path.ends_with("//"))
        path.pop_back();
    return path;
}

namespace
{
bool isUnder(const std::string& folder, std::string prefix)
{
    if (prefix.empty())
        return false;
    if (!prefix.ends_with('/'))
        prefix += '/';
    return prefix == "/" || folder.starts_with(prefix);
}
} // namespace

std::string chooseFilesFolder(const std::string& exeFolder, const FilesFolderRule& rule)
{
    if (!isUnder(exeFolder, rule.installPrefix) && rule.writable(exeFolder))
        return exeFolder;
    std::string folder = rule.dataHome;
    while (folder.size() > 1 && folder.ends_with('/'))
        folder.pop_back();
    return folder + "/" + std::string(kProductName) + "/";
}

FilesFolderRule currentFilesFolderRule()
{
    std::string dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        dataHome = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dataHome = std::string(home) + "/.local/share";
    else
        dataHome = "/tmp";
    return FilesFolderRule{TK_INSTALL_PREFIX, [](const std::string& f) { return ::access(f.c_str(), W_OK) == 0; },
                           dataHome};
}

bool makeFolders(const std::string& folder)
{
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos == folder.size() || folder[pos] == '/') {
            const std::string part = folder.substr(0, pos);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}
