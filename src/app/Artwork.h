#pragma once
// The window's icon and its two cursors, drawn at start-up.
#include <QCursor>
#include <QIcon>
#include <QPixmap>

#include <array>

// The sizes the product's icon is drawn in, for the window and for the desktop's icon theme.
inline constexpr std::array kIconSizes{16, 32, 48, 64, 128, 256};
// The product's icon at one size.
QPixmap productPixmap(int size);
// The product's icon at every size of kIconSizes: the window's icon.
QIcon productIcon();
// An arrow, hot spot at its top-left corner: over the window's background.
QCursor arrowCursor();
// A pointing hand, hot spot at (12, 1): over the buttons.
QCursor handCursor();
