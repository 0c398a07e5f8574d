#include "cleanup/ScreenshotList.h"

#include "common/TextCodec.h"

#include <algorithm>
#include <cerrno>

namespace cleanup
{
namespace
{
constexpr std::string_view kHeading =
    "Список скриншотов раздач, которых уже нет. Скриншоты можно (и нужно) удалить физически.\r\n";
// As long as the heading: 87 characters.
constexpr std::string_view kSeparator =
    "=======================================================================================\r\n";
} // namespace

void ScreenshotList::start()
{
    m_listed = 0;
    m_started = true;
    m_file.emplace(m_path);
    m_file->write(kHeading);
    m_file->write(kSeparator);
}

std::string exactListLine(const std::optional<std::string>& name)
{
    if (!name)
        return "\\N";
    const bool plain = !name->starts_with('\\') && !name->starts_with('#') &&
                       std::none_of(name->begin(), name->end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
    if (plain)
        return *name;
    static const char* digits = "0123456789ABCDEF";
    std::string line = "\\e";
    for (char c : *name) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\')
            line += "\\\\";
        else if (b < 0x20 || b == 0x7F)
            line += std::string("\\x") + digits[b >> 4] + digits[b & 15];
        else
            line += c;
    }
    return line;
}

std::optional<std::string> ScreenshotList::exactPath() const
{
    if (!m_exact)
        return std::nullopt;
    return m_exactPath;
}

void ScreenshotList::add(const std::optional<std::string>& poster)
{
    if (!m_exact) {
        m_exact = sysfiles::WrittenFile::open(m_exactPath, sysfiles::WrittenFile::Mode::Append);
        if (!m_exact) {
            const int err = sysfiles::lastError();
            throw SystemError(err, "Не удалось создать файл " + m_exactPath + ": " + systemErrorText(err));
        }
    }
    const std::string exact = exactListLine(poster) + "\n";
    ++m_exactLines;
    if (!m_exact->write(exact)) {
        const int err = sysfiles::lastError();
        throw SystemError(err, "Не удалось записать файл " + m_exactPath + ": " + systemErrorText(err));
    }
    // bad_sreen.txt takes the name only when cp1251 holds it exactly.
    const bool held = poster && cp1251::toUtf8(cp1251::fromUtf8(*poster)) == *poster &&
                      poster->find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
    if (held) {
        m_file->write(*poster + "\r\n");
    } else {
        ++m_onlyExact;
        m_file->write("(имя только в точном списке " + m_exactPath + ", строка " + std::to_string(m_exactLines) +
                      ")\r\n");
    }
    ++m_listed;
}

void ScreenshotList::finish()
{
    m_file->write(kSeparator);
    m_file->close();
    m_file.reset();
}

} // namespace cleanup
