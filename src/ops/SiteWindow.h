#pragma once
// What the operations' frame needs of the main window, and nothing more. The Qt window implements
// it; the command line implements it on the console; tests implement it with a recorder.
#include "db/SiteConnection.h"

#include <string>

enum class MessageIcon { Information, Critical, Exclamation };

// Ready: test and block enabled. Blocked: block disabled; unblock, recount and cleanup enabled.
enum class ButtonLayout { Ready, Blocked };

using ConnectionFields = db::ConnectionFields;

class SiteWindow
{
  public:
    virtual ~SiteWindow() = default;

    virtual std::string caption() const = 0;
    // Puts a caption back (the frame does this once, when an operation ends).
    virtual void setCaption(const std::string& text) = 0;
    // A long operation's progress: the caption becomes the text, then pending window events run.
    // The only place a long operation yields.
    virtual void showProgress(const std::string& text) = 0;
    // A pass's title: shown as progress is, but never left out where progress is thinned.
    virtual void showTitle(const std::string& text) { showProgress(text); }
    // A statement is still running on the server: pending events run, so the window repaints and
    // answers while it waits (called about every 100 ms of a statement).
    virtual void keepAlive() {}
    // A statement has waited `seconds` for the server (a lock held elsewhere, mostly); 0: the wait is
    // over. The window says so, and lets pending events run.
    virtual void statementWaiting(int seconds) { (void)seconds; }
    // A modal box with one OK button, titled with the application title; lines end in '\n'.
    virtual void showMessage(MessageIcon icon, const std::string& text) = 0;
    // A modal question with Yes and No, titled with the application title; true for Yes. Where
    // nobody can answer, the answer is No.
    virtual bool confirm(const std::string& text)
    {
        (void)text;
        return false;
    }
    virtual void setButtonLayout(ButtonLayout layout) = 0;
    // The four field texts as they are on screen now, with the stored connection settings.
    virtual ConnectionFields connectionFields() const = 0;
    // How this window's user turns TLS on, for a message: an option, a setting.
    virtual std::string tlsHint() const { return "запустите с параметром --ssl"; }
    // How this window's user puts a cleanup back from its undo archive, for the closing message.
    virtual std::string undoHint(const std::string& archivePath) const
    {
        return "tk_corvane restore \"" + archivePath + "\"";
    }
    // Shows and activates the (already visible) window.
    virtual void showWindow() = 0;
    // Starts the desktop's text viewer on the file without waiting for it.
    // Returns false when no viewer could be started.
    virtual bool openInTextViewer(const std::string& path) = 0;
};
