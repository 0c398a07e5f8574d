#pragma once
// The file behind the settings store, in the familiar registry export layout:
//   [HKEY_CURRENT_USER\Software\Farrowind\tk_corvane\Temp]
//   "Path"="/opt/tk_corvane/"
// A value path is a key path, a backslash and the value's name (an empty name is the key's default
// value, written @). Key and value names compare case-insensitively. Lines the parser does not
// understand are carried through every rewrite unchanged, so a damaged file never loses what it held.
#include <optional>
#include <string>

namespace RegFile
{

std::optional<std::string> read(const std::string& file, const std::string& valuePath);
// Throws SystemError when the file cannot be written.
void write(const std::string& file, const std::string& valuePath, const std::string& value);
// Deleting a value that is not there does nothing; failures are ignored.
void remove(const std::string& file, const std::string& valuePath) noexcept;

// Case folding used for key and value names (ASCII and Cyrillic letters).
std::string foldCase(const std::string& utf8);

} // namespace RegFile
