#include "common/TextFile.h"

#include "common/SystemFiles.h"
#include "common/TextCodec.h"

namespace
{
[[noreturn]] void fail(const std::string& path, const char* what, int err)
{
    throw SystemError(err, std::string(what) + " " + path + ": " + systemErrorText(err));
}
} // namespace

std::string systemErrorText(int number)
{
    return sysfiles::errorText(number);
}

void syncFolder(const std::string& folder)
{
    if (!sysfiles::syncFolder(folder)) {
        const int err = sysfiles::lastError();
        throw SystemError(err, "Не удалось записать папку " + folder + ": " + systemErrorText(err));
    }
}

Cp1251File::Cp1251File(std::string path) : m_path(std::move(path))
{
    m_out = sysfiles::WrittenFile::open(m_path, sysfiles::WrittenFile::Mode::Replace);
    if (!m_out)
        fail(m_path, "Не удалось создать файл", sysfiles::lastError());
}

Cp1251File::~Cp1251File()
{
    if (m_out && !m_pending.empty())
        m_out->write(m_pending);
}

void Cp1251File::write(std::string_view utf8)
{
    m_pending += cp1251::fromUtf8(utf8);
    if (m_pending.size() >= kFlushAt)
        flush();
}

void Cp1251File::flush()
{
    if (!m_out->write(m_pending))
        fail(m_path, "Не удалось записать файл", sysfiles::lastError());
    m_pending.clear();
}

void Cp1251File::close()
{
    if (!m_out)
        return;
    flush();
    if (!m_out->close())
        fail(m_path, "Не удалось записать файл", sysfiles::lastError());
    m_out.reset();
}

void writeCp1251File(const std::string& path, std::string_view utf8)
{
    Cp1251File file(path);
    file.write(utf8);
    file.close();
}
