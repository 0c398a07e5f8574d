#pragma once
// The file names of the screenshot rows the cleanup deleted, for the administrator to remove the
// image files by hand (the tool deletes no image file).
#include "common/TextFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup
{

inline constexpr std::string_view kScreenshotListName = "bad_sreen.txt";

// Where the screenshot pass puts the names of the rows it deletes.
class ScreenshotNames
{
  public:
    virtual ~ScreenshotNames() = default;
    // The screenshot pass starts, before it reads its rows.
    virtual void start() = 0;
    // One name per deleted row, in the order the rows were deleted; a row without a file name
    // still counts, with an empty name.
    virtual void add(const std::optional<std::string>& poster) = 0;
    // The screenshot pass is over.
    virtual void finish() = 0;
    std::uint64_t listed() const { return m_listed; }

  protected:
    std::uint64_t m_listed = 0;
};

// The list file in the tool's folder: created anew when the pass starts, with its heading and a
// separator; one line per name; the separator again at the end.
class ScreenshotList : public ScreenshotNames
{
  public:
    explicit ScreenshotList(std::string path) : m_path(std::move(path)) {}
    void start() override;
    void add(const std::optional<std::string>& poster) override;
    void finish() override;
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
    std::optional<Cp1251File> m_file;
};

// The names kept in memory only, for a run that writes no file.
class CollectedScreenshotNames : public ScreenshotNames
{
  public:
    void start() override { m_names.clear(); }
    void add(const std::optional<std::string>& poster) override
    {
        m_names.push_back(poster.value_or(""));
        ++m_listed;
    }
    void finish() override {}
    const std::vector<std::string>& names() const { return m_names; }

  private:
    std::vector<std::string> m_names;
};

} // namespace cleanup
