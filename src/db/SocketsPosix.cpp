// The process's sockets on Linux: /proc/self/fd lists them.
#include "db/ConnectionSockets.h"

#include <sys/socket.h>
#include <sys/stat.h>

#include <charconv>
#include <csignal>
#include <filesystem>
#include <string>

namespace sockets
{

std::set<int> streamSockets()
{
    std::set<int> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string name = entry.path().filename().string();
        int fd = -1;
        struct stat st {
        };
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc() || ::fstat(fd, &st) != 0 ||
            !S_ISSOCK(st.st_mode))
            continue;
        int type = 0;
        socklen_t len = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_STREAM)
            found.insert(fd);
    }
    return found;
}

bool canCut()
{
    return true;
}

void cut(int socket)
{
    // What the driver writes on that socket later (its goodbye) must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    ::shutdown(socket, SHUT_RDWR);
}

} // namespace sockets
