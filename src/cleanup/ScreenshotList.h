#pragma once
// The file names of the screenshot rows the cleanup deleted, for the administrator to remove the
// image files by hand (the tool deletes no image file).
#include "common/TextFile.h"

#include <cstdint>
#include <cstdio>
#include <memory>
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
    // One name per deleted row, in the order the rows were deleted, exactly as stored (UTF-8; NULL
    // for a row without a file name).
    virtual void add(const std::optional<std::string>& poster) = 0;
    // The screenshot pass is over.
    virtual void finish() = 0;
    std::uint64_t listed() const { return m_listed; }

  protected:
    std::uint64_t m_listed = 0;
};

// Two lists. bad_sreen.txt, for the site's own tools: created anew when the pass starts, with its
// heading and a separator, one cp1251 line per name, the separator again at the end. A name it
// cannot hold exactly (a character outside cp1251, a line break or NUL, NULL) gets a marked line
// pointing to the other list. The exact list of the run, UTF-8, kept beside the run's archive and
// never replaced by a later run: every name as stored, one per line; a line starting with '\' is
// escaped: "\N" is NULL, "\e" starts a name whose backslashes are doubled and whose control
// characters are written \xHH (so is a name that starts with '\' or '#').
class ScreenshotList : public ScreenshotNames
{
  public:
    ScreenshotList(std::string path, std::string exactPath) : m_path(std::move(path)), m_exactPath(std::move(exactPath))
    {
    }
    void start() override;
    void add(const std::optional<std::string>& poster) override;
    void finish() override;
    const std::string& path() const { return m_path; }
    // The screenshot pass has begun the list (so an earlier one is gone).
    bool started() const { return m_started; }
    // The exact list, once a name was written to it.
    std::optional<std::string> exactPath() const;
    // Names bad_sreen.txt could not hold, found only in the exact list.
    std::uint64_t onlyExact() const { return m_onlyExact; }

  private:
    std::string m_path, m_exactPath;
    std::optional<Cp1251File> m_file;
    std::optional<sysfiles::WrittenFile> m_exact;
    std::uint64_t m_exactLines = 0, m_onlyExact = 0;
    bool m_started = false;
};

// A name as the exact list writes it (see ScreenshotList).
std::string exactListLine(const std::optional<std::string>& name);

// The names kept in memory only, for a run that writes no file.
class CollectedScreenshotNames : public ScreenshotNames
{
  public:
    void start() override { m_names.clear(); }
    void add(const std::optional<std::string>& poster) override
    {
        m_names.push_back(exactListLine(poster));
        ++m_listed;
    }
    void finish() override {}
    const std::vector<std::string>& names() const { return m_names; }

  private:
    std::vector<std::string> m_names;
};

} // namespace cleanup
