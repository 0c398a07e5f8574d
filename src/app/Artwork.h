#pragma once
// The window's icon and its two cursors, drawn at start-up.
#include <QCursor>
#include <QIcon>

QIcon windowIcon();
// An arrow, hot spot at its top-left corner: over the window's background.
QCursor arrowCursor();
// A pointing hand, hot spot at (12, 1): over the buttons.
QCursor handCursor();
