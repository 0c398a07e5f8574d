// The system's files and this process on POSIX systems.
#include "common/SystemFiles.h"

#include "common/TextCodec.h"
#include "common/TextFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace sysfiles
{

char pathSeparator()
{
    return '/';
}

int lastError()
{
    return errno;
}

std::string errorText(int number)
{
    char buf[256];
    const std::string text = ::strerror_r(number, buf, sizeof buf);
    return locale::toUtf8(text);
}

std::optional<WrittenFile> WrittenFile::open(const std::string& path, Mode mode)
{
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    flags |= mode == Mode::CreateNew ? O_EXCL : mode == Mode::Append ? O_APPEND : O_TRUNC;
    const int fd = ::open(path.c_str(), flags, mode == Mode::Append ? 0644 : 0600);
    if (fd < 0)
        return std::nullopt;
    return WrittenFile(fd);
}

bool WrittenFile::alreadyExists(int error)
{
    return error == EEXIST;
}

WrittenFile::WrittenFile(std::intptr_t handle) : m_handle(handle) {}
WrittenFile::WrittenFile(WrittenFile&& other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}
WrittenFile& WrittenFile::operator=(WrittenFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}
WrittenFile::~WrittenFile()
{
    close();
}

bool WrittenFile::write(std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(static_cast<int>(m_handle), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WrittenFile::sync()
{
    return ::fsync(static_cast<int>(m_handle)) == 0;
}

std::optional<std::int64_t> WrittenFile::position()
{
    const off_t at = ::lseek(static_cast<int>(m_handle), 0, SEEK_CUR);
    return at < 0 ? std::nullopt : std::optional<std::int64_t>(at);
}

bool WrittenFile::truncate(std::int64_t length)
{
    return ::ftruncate(static_cast<int>(m_handle), length) == 0 &&
           ::lseek(static_cast<int>(m_handle), length, SEEK_SET) == length;
}

bool WrittenFile::close()
{
    if (m_handle < 0)
        return true;
    const int fd = static_cast<int>(std::exchange(m_handle, -1));
    return ::close(fd) == 0;
}

bool syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int err = errno;
    ::close(fd);
    errno = err;
    return synced;
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool makeFolder(const std::string& folder)
{
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool canWriteIn(const std::string& folder)
{
    return ::access(folder.c_str(), W_OK) == 0;
}

int overwriteError(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return errno == ENOENT ? 0 : errno;
}

FileLock::FileLock(const std::string& lockPath) : m_handle(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
{
    if (m_handle < 0) {
        const int err = errno;
        throw SystemError(err, "Не удалось открыть файл " + lockPath + ": " + errorText(err));
    }
    while (::flock(static_cast<int>(m_handle), LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int err = errno;
            ::close(static_cast<int>(m_handle));
            throw SystemError(err, "Не удалось заблокировать файл " + lockPath + ": " + errorText(err));
        }
    }
}

FileLock::~FileLock()
{
    ::close(static_cast<int>(m_handle));
}

std::tm localTime(std::time_t when)
{
    std::tm tm{};
    ::localtime_r(&when, &tm);
    return tm;
}

std::string executablePath()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

long processId()
{
    return static_cast<long>(::getpid());
}

void endProcessNow(int status)
{
    ::_exit(status);
}

std::string hostName()
{
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host;
}

} // namespace sysfiles
