#pragma once
// What one operation did, for the frame to show: the operations never touch the window's layout,
// message box or viewer themselves.
#include "ops/SiteWindow.h"

#include <optional>
#include <string>

struct Report {
    Report() = default;
    Report(MessageIcon icon, std::string text, std::optional<ButtonLayout> layout = std::nullopt)
        : icon(icon), text(std::move(text)), layout(layout)
    {
    }

    MessageIcon icon = MessageIcon::Information;
    // The closing message, lines ended by '\n'; empty: no message.
    std::string text;
    // The layout the window switches to, if it changes.
    std::optional<ButtonLayout> layout;
    // A file to open in the desktop's text viewer; when no viewer starts, ifNotOpened is added to
    // the message as a line of its own.
    struct View {
        std::string path;
        std::string ifNotOpened;
    };
    std::optional<View> view;
    // Show and activate the window before the message (the long operations do).
    bool showWindow = false;
    // The operation ran to its end but a file it should have written is missing (the message says which).
    bool filesFailed = false;
};
