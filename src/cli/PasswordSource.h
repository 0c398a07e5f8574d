#pragma once
// Where a run without a window takes the password from: TK_CORVANE_PASSWORD, else the first line
// of a file, else a prompt that does not echo when standard input is a terminal, else none.
#include <optional>
#include <string>

namespace cli
{

// Throws UsageError when the file cannot be read.
std::string commandLinePassword(const std::optional<std::string>& passwordFile);

} // namespace cli
