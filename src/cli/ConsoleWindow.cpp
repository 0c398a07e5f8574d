#include "cli/ConsoleWindow.h"

#include "common/ProductInfo.h"
#include "common/Terminal.h"

ConsoleWindow::ConsoleWindow(ConnectionFields fields, bool quiet, std::FILE* out, std::FILE* err)
    : m_fields(std::move(fields)), m_quiet(quiet), m_out(out), m_err(err), m_errIsTerminal(terminal::isTerminal(err)),
      m_caption(kProductCaption)
{
}

ConsoleWindow::~ConsoleWindow()
{
    endProgress();
}

void ConsoleWindow::setCaption(const std::string& text)
{
    m_caption = text;
    endProgress();
}

void ConsoleWindow::showProgress(const std::string& text)
{
    m_caption = text;
    progressLine(text, false);
}

void ConsoleWindow::showTitle(const std::string& text)
{
    m_caption = text;
    progressLine(text, true);
}

void ConsoleWindow::statementWaiting(int seconds)
{
    if (seconds > 0)
        progressLine("ждём блокировку (" + std::to_string(seconds) + " с): " + m_caption, true);
}

void ConsoleWindow::progressLine(const std::string& text, bool always)
{
    if (m_quiet)
        return;
    if (m_errIsTerminal) {
        terminal::write(m_err, "\r\033[K" + text);
        m_lineOpen = true;
        std::fflush(m_err);
        return;
    }
    // Without a terminal, counting lines at most once a second; titles and waits always.
    const auto now = std::chrono::steady_clock::now();
    if (!always && now - m_lastLine < std::chrono::seconds(1))
        return;
    m_lastLine = now;
    terminal::write(m_err, text + "\n");
    std::fflush(m_err);
}

void ConsoleWindow::endProgress()
{
    if (m_lineOpen) {
        std::fputs("\n", m_err);
        std::fflush(m_err);
        m_lineOpen = false;
    }
}

void ConsoleWindow::showMessage(MessageIcon icon, const std::string& text)
{
    endProgress();
    std::FILE* to = icon == MessageIcon::Information ? m_out : m_err;
    std::string lines = text;
    if (!lines.empty() && lines.back() != '\n')
        lines += '\n';
    terminal::write(to, lines);
    std::fflush(to);
}

bool ConsoleWindow::openInTextViewer(const std::string&)
{
    // Nothing is opened without a screen; the closing message names the list.
    return true;
}
