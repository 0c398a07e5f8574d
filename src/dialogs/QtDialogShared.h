#pragma once
// What the Qt dialog files share: paths and buffers as the dialog records hold them.
#include "dialogs/AnsiText.h"

#include <QDir>
#include <QString>

#include <cstddef>
#include <string>

namespace dialogs
{

// A Qt path as the records hold it: native separators, in the records' code page.
inline std::string nativePath(const QString& path)
{
    return toAnsi(QDir::toNativeSeparators(path));
}

// Writes `text` and NULs into a buffer of `capacity` characters; false when it does not fit.
inline bool fillBuffer(std::string& buffer, std::size_t capacity, const std::string& text)
{
    if (text.size() + 1 > capacity)
        return false;
    buffer = text + std::string(capacity - text.size(), '\0');
    return true;
}

} // namespace dialogs
