#pragma once
// The window as the tests see it: every caption, message, layout switch, show and viewer call is
// recorded in order; the events a progress caption lets run can include a test's hook, as a user
// acting during an operation would.
#include "common/ProductInfo.h"
#include "ops/SiteWindow.h"

#include <functional>
#include <string>
#include <vector>

class RecordingWindow : public SiteWindow
{
  public:
    struct Message {
        MessageIcon icon;
        std::string text;
    };

    explicit RecordingWindow(ConnectionFields fields, std::string caption = std::string(kProductCaption))
        : fields(std::move(fields)), m_caption(std::move(caption))
    {
    }

    std::string caption() const override { return m_caption; }
    void setCaption(const std::string& text) override
    {
        m_caption = text;
        captions.push_back(text);
        events.push_back("caption:" + text);
    }
    void showProgress(const std::string& text) override
    {
        setCaption(text);
        ++processed;
        events.push_back("process");
        if (onProcessEvents)
            onProcessEvents();
    }
    void showMessage(MessageIcon icon, const std::string& text) override
    {
        messages.push_back({icon, text});
        events.push_back("message:" + text);
    }
    void setButtonLayout(ButtonLayout l) override
    {
        layout = l;
        events.push_back(l == ButtonLayout::Ready ? "layout:ready" : "layout:blocked");
    }
    ConnectionFields connectionFields() const override { return fields; }
    void statementWaiting(int seconds) override { waits.push_back(seconds); }
    void keepAlive() override { ++keptAlive; }
    void showWindow() override
    {
        ++shown;
        events.push_back("show");
    }
    bool openInTextViewer(const std::string& path) override
    {
        viewerCalls.push_back(path);
        events.push_back("viewer:" + path);
        return viewerStarts;
    }

    // Scripted state.
    ConnectionFields fields;
    bool viewerStarts = true;
    std::function<void()> onProcessEvents;

    // Recorded.
    ButtonLayout layout = ButtonLayout::Ready;
    std::vector<std::string> captions;
    std::vector<Message> messages;
    std::vector<std::string> viewerCalls;
    std::vector<std::string> events;
    int processed = 0;
    int shown = 0;
    std::vector<int> waits; // the seconds each report of a waiting statement gave
    int keptAlive = 0;

    int count(MessageIcon icon) const
    {
        int n = 0;
        for (const auto& m : messages)
            n += m.icon == icon;
        return n;
    }

  private:
    std::string m_caption;
};
