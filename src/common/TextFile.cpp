#include "common/TextFile.h"

#include "common/TextCodec.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{
[[noreturn]] void fail(const std::string& path, const char* what, int err)
{
    throw SystemError(err, std::string(what) + " " + path + ": " + systemErrorText(err));
}
} // namespace

std::string systemErrorText(int number)
{
    char buf[256];
    const std::string text = ::strerror_r(number, buf, sizeof buf);
    return locale::toUtf8(text);
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        throw SystemError(err, "Не удалось записать папку " + folder + ": " + systemErrorText(err));
    }
    ::close(fd);
}

Cp1251File::Cp1251File(std::string path) : m_path(std::move(path))
{
    errno = 0;
    m_out.open(m_path, std::ios::binary | std::ios::trunc);
    if (!m_out)
        fail(m_path, "Не удалось создать файл", errno ? errno : EIO);
}

void Cp1251File::write(std::string_view utf8)
{
    const std::string bytes = cp1251::fromUtf8(utf8);
    errno = 0;
    m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!m_out)
        fail(m_path, "Не удалось записать файл", errno ? errno : EIO);
}

void Cp1251File::close()
{
    if (!m_out.is_open())
        return;
    errno = 0;
    m_out.close();
    if (m_out.fail())
        fail(m_path, "Не удалось записать файл", errno ? errno : EIO);
}

void writeCp1251File(const std::string& path, std::string_view utf8)
{
    Cp1251File file(path);
    file.write(utf8);
    file.close();
}
