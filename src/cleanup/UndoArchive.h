#pragma once
// Before a change reaches the site, the rows it deletes (whole) and the authorship values it
// replaces are written to an SQL file that puts them back when fed to the mariadb client:
//   mariadb <database> < cleanup-undo-20261206-153000.sql
// The file is UTF-8 and names its character set at the top; it is flushed to disk before each batch
// of changes is passed on, so a run cut short still has everything it did in the file. No file is
// made for a run that changes nothing.
#include "cleanup/CleanupChanges.h"
#include "db/Connection.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace cleanup
{

class UndoArchive : public CleanupChanges
{
  public:
    // folder ends in '/'; the file is named after the start time.
    UndoArchive(db::Connection& c, CleanupChanges& next, std::string folder, std::time_t start);
    ~UndoArchive() override;

    void deleteRows(std::string_view table, std::span<const std::int64_t> codes) override;
    void replaceAuthor(std::string_view table, std::string_view column, std::span<const std::int64_t> codes,
                       std::int64_t firstUser) override;

    // The file's path once something was archived.
    std::optional<std::string> path() const;

  private:
    void open();
    void write(const std::string& text);
    void sync();

    db::Connection& m_conn;
    CleanupChanges& m_next;
    std::string m_folder;
    std::time_t m_start;
    std::string m_path;
    struct Close {
        void operator()(std::FILE* f) const noexcept { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Close> m_file;
};

// A value as a MariaDB string literal (or NULL), safe whatever the server's escaping mode.
std::string sqlLiteral(const std::optional<std::string>& value);

} // namespace cleanup
