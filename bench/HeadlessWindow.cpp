#include "HeadlessWindow.h"

#include "common/ProductInfo.h"

#include <algorithm>

HeadlessWindow::HeadlessWindow(ConnectionFields fields) : m_fields(std::move(fields)), m_caption(kProductCaption) {}

void HeadlessWindow::setCaption(const std::string& text)
{
    m_caption = text;
    ++m_captionsSet;
}

void HeadlessWindow::showProgress(const std::string& text)
{
    setCaption(text);
    eventsRun();
}

void HeadlessWindow::eventsRun()
{
    ++m_eventRuns;
    const auto now = std::chrono::steady_clock::now();
    if (m_lastEvents && now - *m_lastEvents > m_longestPause) {
        m_longestPause = now - *m_lastEvents;
        m_longestPauseAfter = m_captionAtLastEvents;
    }
    m_lastEvents = now;
    m_captionAtLastEvents = m_caption;
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
