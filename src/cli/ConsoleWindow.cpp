#include "cli/ConsoleWindow.h"

#include "common/ProductInfo.h"
#include "common/TextCodec.h"

#include <cerrno>
#include <unistd.h>

std::string toTerminalEncoding(const std::string& utf8)
{
    return locale::fromUtf8(utf8);
}

ConsoleWindow::ConsoleWindow(ConnectionFields fields, bool quiet, std::FILE* out, std::FILE* err)
    : m_fields(std::move(fields)), m_quiet(quiet), m_out(out), m_err(err), m_errIsTerminal(::isatty(::fileno(err))),
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
        std::fprintf(m_err, "\r\033[K%s", toTerminalEncoding(text).c_str());
        m_lineOpen = true;
        std::fflush(m_err);
        return;
    }
    // Without a terminal, counting lines at most once a second; titles and waits always.
    const auto now = std::chrono::steady_clock::now();
    if (!always && now - m_lastLine < std::chrono::seconds(1))
        return;
    m_lastLine = now;
    std::fprintf(m_err, "%s\n", toTerminalEncoding(text).c_str());
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
    std::fputs(toTerminalEncoding(lines).c_str(), to);
    std::fflush(to);
}

bool ConsoleWindow::openInTextViewer(const std::string&)
{
    // Nothing is opened without a screen; the closing message names the list.
    return true;
}
