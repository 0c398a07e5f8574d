#pragma once
// Platform strings are narrow: the tool's ANSI code page is cp1251.
#include <QString>

#include <string>
#include <string_view>

namespace dialogs
{

// A character the code page cannot hold becomes '?'; NUL characters are kept.
std::string toAnsi(const QString& text);
QString fromAnsi(std::string_view bytes);
// The text before the first NUL of a buffer (all of it when there is none).
std::string_view beforeNul(std::string_view buffer);

} // namespace dialogs
