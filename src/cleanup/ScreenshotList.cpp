#include "cleanup/ScreenshotList.h"

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
    m_file.emplace(m_path);
    m_file->write(kHeading);
    m_file->write(kSeparator);
}

void ScreenshotList::add(const std::optional<std::string>& poster)
{
    m_file->write(poster.value_or("") + "\r\n");
    ++m_listed;
}

void ScreenshotList::finish()
{
    m_file->write(kSeparator);
    m_file->close();
    m_file.reset();
}

} // namespace cleanup
