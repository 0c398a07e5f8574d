#include "HeadlessWindow.h"

#include "common/ProductInfo.h"

HeadlessWindow::HeadlessWindow(ConnectionFields fields) : m_fields(std::move(fields)), m_caption(kProductCaption) {}

void HeadlessWindow::setCaption(const std::string& text)
{
    m_caption = text;
    ++m_captionsSet;
}

void HeadlessWindow::showProgress(const std::string& text)
{
    setCaption(text);
    ++m_eventRuns;
}

bool HeadlessWindow::openInTextViewer(const std::string& path)
{
    m_viewerFiles.push_back(path);
    return true;
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
