#pragma once
// The main window for a run without a screen: captions and event runs are counted and the longest
// pause between two event runs measured, messages kept for printing afterwards, the connection
// fields fixed, and the text viewer never started.
#include "ops/SiteWindow.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class HeadlessWindow : public SiteWindow
{
  public:
    struct Message {
        MessageIcon icon;
        std::string text;
    };

    explicit HeadlessWindow(ConnectionFields fields);

    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& text) override;
    void showProgress(const std::string& text) override;
    void keepAlive() override { eventsRun(); }
    void statementWaiting(int) override { eventsRun(); }
    void showMessage(MessageIcon icon, const std::string& text) override { m_messages.push_back({icon, text}); }
    void setButtonLayout(ButtonLayout) override {}
    ConnectionFields connectionFields() const override { return m_fields; }
    void showWindow() override { ++m_shows; }
    // Records the file and reports the viewer as started, so the operation goes its usual way.
    bool openInTextViewer(const std::string& path) override;

    std::uint64_t captionsSet() const { return m_captionsSet; }
    std::uint64_t eventRuns() const { return m_eventRuns; }
    // The longest stretch between two points where a window would have run its events.
    std::chrono::steady_clock::duration longestPause() const { return m_longestPause; }
    // The caption shown when the longest pause began.
    const std::string& longestPauseAfter() const { return m_longestPauseAfter; }
    int shows() const { return m_shows; }
    const std::vector<Message>& messages() const { return m_messages; }
    const std::vector<std::string>& viewerFiles() const { return m_viewerFiles; }

  private:
    void eventsRun();

    ConnectionFields m_fields;
    std::optional<std::chrono::steady_clock::time_point> m_lastEvents;
    std::chrono::steady_clock::duration m_longestPause{};
    std::string m_longestPauseAfter, m_captionAtLastEvents;
    std::string m_caption;
    std::uint64_t m_captionsSet = 0;
    std::uint64_t m_eventRuns = 0;
    int m_shows = 0;
    std::vector<Message> m_messages;
    std::vector<std::string> m_viewerFiles;
};

// "information", "critical" or "exclamation".
const char* iconName(MessageIcon icon);
