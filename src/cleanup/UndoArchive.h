#pragma once
// Before a change reaches the site, the rows it deletes (whole) and the authorship values it
// replaces are written to an SQL file that puts them back when fed to the mariadb client:
//   mariadb <database> < cleanup-undo-20261206-153000.sql
// or through `tk_corvane restore`. Every value is read in a form that cannot lose a byte (hex for
// text and binary, exact numbers and dates) and written as a literal of its own column's kind, so
// the file restores exactly whatever the tables' character sets; it sets up its own session
// (character set, sql_mode, time zone, foreign-key checks) and keeps every statement well under the
// client's packet limit. Each batch is on disk before it is passed on, or, where the delete itself
// reads the rows it removes, before its transaction commits; a batch the server refused is cut off
// the file again, so a replay never puts back a row that was not deleted. A batch whose fate
// is unknown (the connection was lost while it ran) stays, marked with the table and code of its
// first deleted row: a restore looks that row up and puts the batch back only where it is gone. A run that ends
// normally marks its archive complete. No file is made for a run that changes nothing.
#include "cleanup/CleanupChanges.h"
#include "cleanup/RowImages.h"
#include "common/SystemFiles.h"
#include "db/Connection.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cleanup
{

// The lines every archive starts with, and the one it ends with when its run ended normally.
inline constexpr std::string_view kArchiveMark = "-- tk_corvane undo archive";
inline constexpr std::string_view kArchiveDatabase = "-- database: ";
inline constexpr std::string_view kArchiveRun = "-- run: ";
inline constexpr std::string_view kArchivePrevious = "-- previous unfinished run: ";
inline constexpr std::string_view kArchiveComplete = "-- complete";
// Appended once the archive has been put back: "-- restored: YYYY-MM-DD HH:MM:SS".
inline constexpr std::string_view kArchiveRestored = "-- restored: ";
// Appended when a restore that goes in parts (on a cluster node) begins: "-- restore begun: <set>",
// the set of archives it was started with, so that an unfinished restore can name its files.
inline constexpr std::string_view kArchiveRestoreBegun = "-- restore begun: ";
// Appended when an unfinished restore is abandoned part-way through this archive: "-- restored up
// to: <line> <rows> YYYY-MM-DD HH:MM:SS". Every statement before that line is back, and the first
// rows of the one at it; a later restore of the archive puts back only the rest.
inline constexpr std::string_view kArchiveRestoredUpTo = "-- restored up to: ";
// "-- outcome unknown: <table> <code>" before a batch whose statement may or may not have run. Its
// INSERTs end in kInDoubtInsertTail and a column's name assigned to itself: a row that is still there
// is left as it is, so that the mariadb client replays such a batch whatever became of it.
inline constexpr std::string_view kArchiveInDoubt = "-- outcome unknown: ";
inline constexpr std::string_view kInDoubtInsertTail = " ON DUPLICATE KEY UPDATE ";

// What the rows of one batch may hold in their images, at the most: the rows, their images, their
// INSERTs and the batch's text are in memory at once. A batch of longer rows goes in parts, each
// archived and sent on its own; a single row longer than this is a part by itself.
inline constexpr std::uint64_t kBatchImageBytes = 4ull << 20;

// Whether a failed statement may still have run: the connection was lost while it was at the server.
bool outcomeUnknown(const db::DbError& e);

class UndoArchive : public CleanupChanges
{
  public:
    // folder ends in '/'; the file is named after the start time.
    UndoArchive(db::Connection& c, CleanupChanges& next, std::string folder, std::time_t start);
    ~UndoArchive() override;

    // Each batch holds the tool's rows and values and, after them, the rows the server's keys
    // delete or rewrite with them (parents before children), so one batch puts back all of it.
    void deleteRows(std::string_view table, CodeList codes, const ServerChanges& follows) override;
    void replaceAuthor(std::string_view table, std::string_view column, CodeList codes, const std::string& firstUser,
                       const ServerChanges& follows) override;
    bool lockRows(std::string_view table, CodeList codes) override
    {
        m_locked = m_next.lockRows(table, codes);
        return m_locked;
    }
    void abandonBatch() noexcept override
    {
        m_locked = false;
        m_next.abandonBatch();
    }

    // The run ended normally: the archive is marked complete.
    void finish();
    // The file's path once something was archived.
    std::optional<std::string> path() const;
    // Whether a batch has been passed on and taken by the server.
    bool changed() const { return m_changed; }

  private:
    void open();
    void write(const std::string& text);
    void sync();
    void appendInserts(std::string& batch, std::string_view table, std::vector<RowImage> rows);
    void appendServerChanges(std::string& batch, const ServerChanges& follows);
    // " WHERE" and the row's primary key.
    std::string whereKey(std::string_view table, const RowImage& row);
    // Values the server's keys rewrote earlier in this run, put back into rows archived later.
    void rememberChanged(const ServerChanges& follows);
    void restoreEarlier(std::string_view table, std::vector<RowImage>& rows);
    // The codes in parts whose rows' images hold kBatchImageBytes at the most.
    std::vector<CodeList> withinBound(std::string_view table, CodeList codes);
    // A batch is written and synced, then passed on; if that fails it is cut off the file again.
    // firstRow: "<table> <code>" of the batch's first deleted row; empty where the batch deletes
    // nothing and can be replayed whatever became of it.
    template <typename Pass> void guarded(const std::string& batch, Pass&& pass, const std::string& firstRow);
    // One batch in one transaction: each part of the codes as part writes it, then what follows by the
    // server's keys; passed on once it is on disk.
    template <typename Part, typename Pass>
    void archived(CodeList codes, const ServerChanges& follows, Part&& part, Pass&& pass,
                  const std::string& firstRow = {});

    db::Connection& m_conn;
    CleanupChanges& m_next;
    std::string m_folder;
    std::time_t m_start;
    std::string m_path;
    RowImages m_images;
    // table -> row key -> column -> the value before the server's keys first rewrote it
    std::map<std::string, std::map<std::string, std::map<std::size_t, std::optional<std::string>>>, std::less<>>
        m_changedBefore;
    std::optional<sysfiles::WrittenFile> m_file;
    bool m_changed = false;
    bool m_locked = false; // the next batch's rows are locked in a transaction its change commits
};

} // namespace cleanup
