#include "common/ExecutableFolder.h"

#include <climits>
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
