#include "cleanup/UndoArchive.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/SentChanges.h"
#include "common/TextFile.h"

#include <algorithm>
#include <chrono>
#include <fstream>

namespace cleanup
{
namespace
{
// Statements stay well under the client's and the server's packet limits (1 MiB at the least).
constexpr std::size_t kStatementBytes = 256 * 1024;

// Where a long text may be cut: never inside a UTF-8 character (hex digits come in pairs per byte).
std::size_t cutAt(const std::string& hex, std::size_t want, bool utf8)
{
    std::size_t at = std::min(hex.size(), want - want % 2);
    if (utf8)
        while (at > 2 && at < hex.size() && (std::stoi(hex.substr(at, 2), nullptr, 16) & 0xC0) == 0x80)
            at -= 2;
    return at;
}
} // namespace

UndoArchive::UndoArchive(db::Connection& c, CleanupChanges& next, std::string folder, std::time_t start)
    : m_conn(c), m_next(next), m_folder(std::move(folder)), m_start(start), m_images(c)
{
}

UndoArchive::~UndoArchive() = default;

std::optional<std::string> UndoArchive::path() const
{
    if (!m_file)
        return std::nullopt;
    return m_path;
}

void UndoArchive::open()
{
    if (m_file)
        return;
    const std::string database =
        headerName(fromHex(m_conn.query("SELECT HEX(DATABASE()) AS d").front().cell(0).value_or("")));
    const std::optional<ArchiveHeader> previous = newestUnfinishedArchive(m_folder, database);
    // Never overwrite an earlier archive: a second run in the same second gets a numbered name.
    const std::string base = m_folder + std::string(kArchivePrefix) + fileStamp(m_start);
    for (int n = 1;; ++n) {
        m_path = base + (n == 1 ? "" : "-" + std::to_string(n)) + ".sql";
        m_file = sysfiles::WrittenFile::open(m_path, sysfiles::WrittenFile::Mode::CreateNew);
        if (m_file)
            break;
        const int err = sysfiles::lastError();
        if (!sysfiles::WrittenFile::alreadyExists(err))
            throw SystemError(err, "Не удалось создать архив для отмены " + m_path + ": " + systemErrorText(err));
    }
    syncFolder(m_folder);
    // Temporal values are read in UTC and the archive restores them in UTC.
    m_conn.execute("SET time_zone='+00:00'");
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    write(std::string(kArchiveMark) + "\n" + std::string(kArchiveDatabase) + database + "\n" +
          std::string(kArchiveRun) + std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) +
          "\n" + (previous ? std::string(kArchivePrevious) + previous->path + "\n" : std::string()) +
          "-- Feed it to the mariadb client on that database, or run: tk_corvane restore FILE\n"
          "SET NAMES utf8mb4;\n"
          "SET SESSION sql_mode='NO_AUTO_VALUE_ON_ZERO', time_zone='+00:00', foreign_key_checks=0, unique_checks=0;\n");
    sync();
}

void UndoArchive::write(const std::string& text)
{
    if (!m_file->write(text)) {
        const int err = sysfiles::lastError();
        throw SystemError(err, "Не удалось записать архив для отмены " + m_path + ": " + systemErrorText(err));
    }
}

void UndoArchive::sync()
{
    if (!m_file->sync()) {
        const int err = sysfiles::lastError();
        throw SystemError(err, "Не удалось записать архив для отмены " + m_path + ": " + systemErrorText(err));
    }
}

void UndoArchive::finish()
{
    if (!m_file)
        return;
    write(std::string(kArchiveComplete) + "\n");
    sync();
}

bool outcomeUnknown(const db::DbError& e)
{
    // The driver's "server has gone away" and "lost connection", and any communication failure.
    return e.sqlState == "08S01" || e.nativeCode == 2006 || e.nativeCode == 2013;
}

namespace
{
// "INSERT INTO `t` (`a`,...) VALUES (...);" becomes "... ON DUPLICATE KEY UPDATE `a`=`a`;".
std::string inDoubt(const std::string& batch)
{
    std::string out;
    std::size_t from = 0;
    for (std::size_t end = batch.find('\n'); end != std::string::npos; from = end + 1, end = batch.find('\n', from)) {
        std::string line = batch.substr(from, end - from);
        const std::size_t open = line.find(" (`");
        if (line.starts_with("INSERT INTO ") && open != std::string::npos && line.ends_with(");")) {
            const std::size_t close = line.find('`', open + 3);
            const std::string first = line.substr(open + 2, close - open - 1);
            line.insert(line.size() - 1, std::string(kInDoubtInsertTail) + first + "=" + first);
        }
        out += line + "\n";
    }
    return out + batch.substr(from);
}
} // namespace

template <typename Pass> void UndoArchive::guarded(const std::string& batch, Pass&& pass, const std::string& firstRow)
{
    const std::optional<std::int64_t> before = m_file->position();
    const auto cutBack = [&] {
        if (before && m_file->truncate(*before))
            m_file->sync();
    };
    try {
        write(batch);
        sync();
        pass();
        m_changed = true;
    } catch (const db::DbError& e) {
        if (!outcomeUnknown(e)) {
            // The server did not take the batch: a replay must not put its rows back a second time.
            cutBack();
            throw;
        }
        // The server may yet have run it: the batch stays, says how to tell, and leaves rows that are
        // still there as they are.
        cutBack();
        if (!firstRow.empty())
            write(std::string(kArchiveInDoubt) + firstRow + "\n");
        write(inDoubt(batch));
        sync();
        m_changed = true;
        throw;
    } catch (...) {
        cutBack();
        throw;
    }
}

std::string UndoArchive::whereKey(std::string_view table, const RowImage& row)
{
    const std::vector<ImageColumn>& columns = m_images.columns(table);
    std::string where;
    for (std::size_t k : m_images.primaryKey(table))
        where += (where.empty() ? " WHERE " : " AND ") + quotedName(columns[k].name) + "=" +
                 exactLiteral(columns[k], row[k]);
    return where;
}

void UndoArchive::restoreEarlier(std::string_view table, std::vector<RowImage>& rows)
{
    const auto changed = m_changedBefore.find(table);
    if (changed == m_changedBefore.end())
        return;
    for (RowImage& row : rows)
        if (const auto it = changed->second.find(m_images.keyOf(table, row)); it != changed->second.end())
            for (const auto& [k, value] : it->second)
                row[k] = value;
}

void UndoArchive::rememberChanged(const ServerChanges& follows)
{
    // Only the first value of a column counts: it is the one the site had before the run.
    for (const ServerChange& change : follows)
        if (!change.deleted)
            for (const RowImage& row : change.before)
                for (std::size_t k : change.columns)
                    m_changedBefore[change.table][m_images.keyOf(change.table, row)].emplace(k, row[k]);
}

void UndoArchive::appendInserts(std::string& batch, std::string_view table, std::vector<RowImage> rows)
{
    // A row the server's keys rewrote earlier in the run goes back as it was before that.
    restoreEarlier(table, rows);
    const std::vector<ImageColumn>& columns = m_images.columns(table);
    const bool keyed = !m_images.primaryKey(table).empty();
    std::string names;
    for (std::size_t k = 0; k < columns.size(); ++k)
        names += (k ? "," : "") + quotedName(columns[k].name);
    const std::string head = "INSERT INTO " + quotedName(table) + " (" + names + ") VALUES ";
    std::string statement;
    std::vector<std::string> tails; // the rest of values too long for one statement
    for (const RowImage& row : rows) {
        std::string values;
        for (std::size_t k = 0; k < columns.size(); ++k) {
            std::string value = literal(columns[k], row[k]);
            const bool hex = columns[k].inHex();
            if (hex && value.size() > kStatementBytes / 2 && keyed) {
                // A long value goes in parts: the first here, the others appended by updates.
                const std::string& h = *row[k];
                const bool utf8 = columns[k].charset.starts_with("utf8");
                std::size_t at = cutAt(h, kStatementBytes / 2, utf8);
                const std::string intro = columns[k].kind == ImageColumn::Text ? "_" + columns[k].charset + " " : "";
                value = intro + "X'" + h.substr(0, at) + "'";
                const std::string where = whereKey(table, row);
                while (at < h.size()) {
                    const std::size_t next = at + cutAt(h.substr(at), kStatementBytes / 2, utf8);
                    // Only onto the parts before it: a replay of a batch that never ran leaves the row alone.
                    tails.push_back("UPDATE " + quotedName(table) + " SET " + quotedName(columns[k].name) + "=CONCAT(" +
                                    quotedName(columns[k].name) + "," + intro + "X'" + h.substr(at, next - at) + "')" +
                                    where + " AND LENGTH(" + quotedName(columns[k].name) +
                                    ")=" + std::to_string(at / 2) + ";\n");
                    at = next;
                }
            }
            values += (k ? "," : "") + value;
        }
        if (!statement.empty() && statement.size() + values.size() > kStatementBytes) {
            batch += statement + ";\n";
            statement.clear();
        }
        statement += (statement.empty() ? head : ",") + std::string("(") + values + ")";
    }
    if (!statement.empty())
        batch += statement + ";\n";
    for (const std::string& t : tails)
        batch += t;
}

void UndoArchive::appendServerChanges(std::string& batch, const ServerChanges& follows)
{
    for (const ServerChange& change : follows) {
        if (change.deleted) {
            appendInserts(batch, change.table, change.before);
            continue;
        }
        const std::vector<ImageColumn>& columns = m_images.columns(change.table);
        std::vector<RowImage> before = change.before;
        restoreEarlier(change.table, before);
        for (const RowImage& row : before) {
            std::string set;
            for (std::size_t k : change.columns)
                set += (set.empty() ? "" : ",") + quotedName(columns[k].name) + "=" + literal(columns[k], row[k]);
            batch += "UPDATE " + quotedName(change.table) + " SET " + set + whereKey(change.table, row) + ";\n";
        }
    }
}

template <typename Part, typename Pass>
void UndoArchive::archived(CodeList codes, const ServerChanges& follows, Part&& part, Pass&& pass,
                           const std::string& firstRow)
{
    if (codes.empty())
        return;
    try {
        open();
        std::string batch = "START TRANSACTION;\n";
        for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement)
            part(batch, codes.part(from, std::min(kCodesPerStatement, codes.size() - from)));
        appendServerChanges(batch, follows);
        batch += "COMMIT;\n";
        guarded(batch, pass, firstRow);
    } catch (...) {
        // A batch whose change never went leaves no transaction open behind it.
        m_next.abandonBatch();
        throw;
    }
    rememberChanged(follows);
}

std::vector<CodeList> UndoArchive::withinBound(std::string_view table, CodeList codes)
{
    if (m_images.widestImage(table) * codes.size() <= kBatchImageBytes)
        return {codes}; // its columns cannot hold more
    std::map<std::int64_t, std::uint64_t> bytes;
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement)
        bytes.merge(m_images.imageBytes(
            table, "CODE in (" + codes.part(from, std::min(kCodesPerStatement, codes.size() - from)).joined() + ")"));
    std::vector<CodeList> parts;
    std::size_t start = 0;
    std::uint64_t held = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const auto row = bytes.find(codes.codes[i]);
        const std::uint64_t size = row == bytes.end() ? 0 : row->second; // a row already gone holds nothing
        if (i > start && held + size > kBatchImageBytes) {
            parts.push_back(codes.part(start, i - start));
            start = i;
            held = 0;
        }
        held += size;
    }
    parts.push_back(codes.part(start, codes.size() - start));
    return parts;
}

void UndoArchive::deleteRows(std::string_view table, CodeList codes, const ServerChanges& follows)
{
    // Rows locked for their change, and what the server's keys do with them, belong to the batch as a
    // whole: such a batch goes in one piece.
    const bool whole = m_locked || !follows.empty();
    m_locked = false;
    // Where nothing else goes with the rows, the delete itself reads them, in a transaction that
    // commits once they are on disk: the images are those of exactly the rows removed, and no read of
    // their own goes before it.
    const bool returning = !whole && m_next.deletesReturning();
    for (const CodeList& part : whole ? std::vector<CodeList>{codes} : withinBound(table, codes)) {
        const std::string firstRow = std::string(table) + " " + part.part(0, 1).joined();
        if (returning) {
            const std::string list = m_images.selectList(table);
            archived(
                part, follows,
                [&](std::string& batch, CodeList some) {
                    std::vector<db::Rows> removed;
                    m_images.onNamingSession(table, [&] { removed = m_next.deleteReturning(table, some, list); });
                    for (const db::Rows& rows : removed)
                        appendInserts(batch, table, m_images.images(table, rows));
                },
                [&] { m_next.commitBatch(); }, firstRow);
            continue;
        }
        archived(
            part, follows,
            [&](std::string& batch, CodeList some) {
                appendInserts(batch, table, m_images.read(table, "CODE in (" + some.joined() + ")"));
            },
            [&] { m_next.deleteRows(table, part, follows); }, firstRow);
    }
}

void UndoArchive::replaceAuthor(std::string_view table, std::string_view column, CodeList codes,
                                const std::string& firstUser, const ServerChanges& follows)
{
    m_locked = false;
    archived(
        codes, follows,
        [&](std::string& batch, CodeList part) {
            const db::Rows rows = m_conn.query("select CODE as c, " + quotedName(column) + " as v from " +
                                               quotedName(table) + " where CODE in (" + part.joined() + ")");
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const auto old = rows[r].text("v");
                batch += "UPDATE " + quotedName(table) + " SET " + quotedName(column) + "=" +
                         (old ? checkedNumber(*old) : std::string("NULL")) + " WHERE " + quotedName("CODE") + "=" +
                         checkedNumber(rows[r].text("c").value_or("")) + ";\n";
            }
        },
        [&] { m_next.replaceAuthor(table, column, codes, firstUser, follows); });
}

} // namespace cleanup
