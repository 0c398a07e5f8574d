#pragma once
// The window's part in a run without a screen: captions become progress on standard error,
// information goes to standard output, errors to standard error, all in the terminal's encoding.
#include "ops/SiteWindow.h"

#include <chrono>
#include <cstdio>
#include <string>

class ConsoleWindow : public SiteWindow
{
  public:
    ConsoleWindow(ConnectionFields fields, bool quiet, std::FILE* out = stdout, std::FILE* err = stderr);
    ~ConsoleWindow() override;

    std::string caption() const override { return m_caption; }
    // The caption put back at the end of an operation: the progress is over.
    void setCaption(const std::string& text) override;
    void showProgress(const std::string& text) override;
    void showTitle(const std::string& text) override;
    void statementWaiting(int seconds) override;
    void showMessage(MessageIcon icon, const std::string& text) override;
    void setButtonLayout(ButtonLayout layout) override { m_layout = layout; }
    ConnectionFields connectionFields() const override { return m_fields; }
    void showWindow() override {}
    // Nothing is opened without a screen: the closing message names the file instead.
    bool openInTextViewer(const std::string& path) override;

    ButtonLayout layout() const { return m_layout; }
    // Ends a progress line rewritten in place, so the next output starts on a fresh line.
    void endProgress();

  private:
    void progressLine(const std::string& text, bool always);

    ConnectionFields m_fields;
    bool m_quiet;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_errIsTerminal;
    bool m_lineOpen = false;
    std::string m_caption;
    ButtonLayout m_layout = ButtonLayout::Ready;
    std::chrono::steady_clock::time_point m_lastLine{};
};
