#include "common/TextFile.h"

#include "common/Cp1251.h"

#include <cerrno>
#include <cstring>

namespace
{
[[noreturn]] void fail(const std::string& path, const char* what, int err)
{
    throw SystemError(err, std::string(what) + " " + path + ": " + std::strerror(err));
}
} // namespace

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
