#include "HeadlessWindow.h"

#include <algorithm>

HeadlessWindow::HeadlessWindow(ConnectionFields fields, std::string caption)
    : m_fields(std::move(fields)), m_caption(std::move(caption))
{
}

void HeadlessWindow::setCaption(const std::string& text)
{
    m_caption = text;
    ++m_captionsSet;
}

bool HeadlessWindow::openInTextViewer(const std::string& path)
{
    m_viewerFiles.push_back(path);
    return true;
}

bool HeadlessWindow::anyCritical() const
{
    return std::any_of(m_messages.begin(), m_messages.end(),
                       [](const Message& m) { return m.icon == MessageIcon::Critical; });
}

const char* iconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return "information";
    case MessageIcon::Critical:
        return "critical";
    case MessageIcon::Exclamation:
        return "exclamation";
    }
    return "?";
}
