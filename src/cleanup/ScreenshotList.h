#pragma once
// The list of screenshot files whose rows the cleanup deleted, for the administrator to remove the
// image files by hand (the tool deletes no image file).
#include "common/TextFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cleanup
{

inline constexpr std::string_view kScreenshotListName = "bad_sreen.txt";

class ScreenshotList
{
  public:
    // Creates the file anew and writes its heading and the separator under it.
    explicit ScreenshotList(std::string path);
    // One line per deleted row, in the order the rows were deleted. A row without a file name
    // still gets its line, an empty one.
    void add(const std::optional<std::string>& poster);
    // Writes the closing separator and closes the file.
    void close();
    std::uint64_t listed() const { return m_listed; }

  private:
    Cp1251File m_file;
    std::uint64_t m_listed = 0;
};

} // namespace cleanup
