#pragma once
// What the operations need of the main window, and nothing more. The Qt window implements it;
// tests implement it with a recorder; a headless front end could too.
#include <string>

enum class MessageIcon { Information, Critical, Exclamation };

// Ready: test and block enabled. Blocked: block disabled; unblock, recount and cleanup enabled.
enum class ButtonLayout { Ready, Blocked };

struct ConnectionFields {
    std::string server;
    std::string user;
    std::string password;
    std::string database;
};

class SiteWindow
{
  public:
    virtual ~SiteWindow() = default;

    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;
    // Lets the window repaint and take input while a long operation runs.
    virtual void processEvents() = 0;
    // A modal box with one OK button, titled with the application title.
    virtual void showMessage(MessageIcon icon, const std::string& text) = 0;
    virtual void setButtonLayout(ButtonLayout layout) = 0;
    // The four field texts as they are on screen now.
    virtual ConnectionFields connectionFields() const = 0;
    // Shows and activates the (already visible) window.
    virtual void showWindow() = 0;
    // Starts the desktop's text viewer on the file without waiting for it.
    // Returns false when no viewer could be started.
    virtual bool openInTextViewer(const std::string& path) = 0;
};

// Sets the caption and then lets pending window events run: the only place a long operation yields.
inline void showProgress(SiteWindow& window, const std::string& caption)
{
    window.setCaption(caption);
    window.processEvents();
}
