#include "cleanup/UndoArchive.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/SentChanges.h"
#include "common/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace cleanup
{
namespace
{
// Statements stay well under the client's and the server's packet limits (1 MiB at the least).
constexpr std::size_t kStatementBytes = 256 * 1024;

UndoArchive::Column::Kind kindOf(const std::string& type, const std::string& charset)
{
    using C = UndoArchive::Column;
    static const char* const numbers[] = {"tinyint", "smallint", "mediumint", "int", "integer",
                                          "bigint",  "decimal",  "numeric",   "year"};
    static const char* const temporal[] = {"date", "time", "datetime", "timestamp"};
    static const char* const texts[] = {"char",     "varchar", "tinytext", "text", "mediumtext",
                                        "longtext", "enum",    "set",      "json"};
    const auto in = [&](const auto& list) {
        return std::find(std::begin(list), std::end(list), type) != std::end(list);
    };
    if (in(numbers))
        return C::Number;
    if (type == "float" || type == "double" || type == "real")
        return C::Float;
    if (type == "bit")
        return C::Bit;
    if (in(temporal))
        return C::Temporal;
    if (in(texts) && !charset.empty() && charset != "binary")
        return C::Text;
    return C::Binary;
}

// What the server is asked for: a form of the value that cannot lose a byte on the way.
std::string selectExpression(const UndoArchive::Column& c)
{
    const std::string name = quotedName(c.name);
    switch (c.kind) {
    case UndoArchive::Column::Number:
        return name;
    case UndoArchive::Column::Float:
        return "CAST(" + name + " AS DOUBLE)"; // a FLOAT's exact value, which a FLOAT takes back unchanged
    case UndoArchive::Column::Bit:
        return "CAST(" + name + " AS UNSIGNED)";
    case UndoArchive::Column::Temporal:
        return "CAST(" + name + " AS CHAR)";
    default:
        return "HEX(" + name + ")";
    }
}

// A literal of the column's kind; throws when the server's text is not of the form it must have.
std::string literal(const UndoArchive::Column& c, const std::optional<std::string>& value)
{
    if (!value)
        return "NULL";
    switch (c.kind) {
    case UndoArchive::Column::Number:
    case UndoArchive::Column::Float:
    case UndoArchive::Column::Bit:
        return checkedNumber(*value);
    case UndoArchive::Column::Temporal:
        return "'" + checkedTemporal(*value) + "'";
    case UndoArchive::Column::Text:
        return "_" + c.charset + " X'" + checkedHex(*value) + "'";
    default:
        return "X'" + checkedHex(*value) + "'";
    }
}

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

std::string quotedName(std::string_view name)
{
    std::string out = "`";
    for (char c : name)
        out += c == '`' ? std::string("``") : std::string(1, c);
    return out + "`";
}

UndoArchive::UndoArchive(db::Connection& c, CleanupChanges& next, std::string folder, std::time_t start)
    : m_conn(c), m_next(next), m_folder(std::move(folder)), m_start(start)
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
    const std::string base = m_folder + "cleanup-undo-" + fileStamp(m_start);
    for (int n = 1;; ++n) {
        m_path = base + (n == 1 ? "" : "-" + std::to_string(n)) + ".sql";
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_file.reset(::fdopen(fd, "w"));
            break;
        }
        if (errno != EEXIST)
            throw SystemError(errno, "Не удалось создать архив для отмены " + m_path + ": " + systemErrorText(errno));
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
    if (std::fwrite(text.data(), 1, text.size(), m_file.get()) != text.size())
        throw SystemError(errno, "Не удалось записать архив для отмены " + m_path + ": " + systemErrorText(errno));
}

void UndoArchive::sync()
{
    if (std::fflush(m_file.get()) != 0 || ::fsync(::fileno(m_file.get())) != 0)
        throw SystemError(errno, "Не удалось записать архив для отмены " + m_path + ": " + systemErrorText(errno));
}

void UndoArchive::finish()
{
    if (!m_file)
        return;
    write(std::string(kArchiveComplete) + "\n");
    sync();
}

const std::vector<UndoArchive::Column>& UndoArchive::columnsOf(std::string_view table)
{
    if (const auto it = m_columns.find(table); it != m_columns.end())
        return it->second;
    // Names come as hex, so that no character of theirs is lost on the cp1251 session.
    const db::Rows rows = m_conn.query(
        "select HEX(COLUMN_NAME) as n, DATA_TYPE as t, IFNULL(CHARACTER_SET_NAME,'') as c, IS_GENERATED as g "
        "from information_schema.COLUMNS where TABLE_SCHEMA=DATABASE() and TABLE_NAME='" +
        std::string(table) + "' order by ORDINAL_POSITION");
    std::vector<Column> columns;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].text("g").value_or("NEVER") != "NEVER")
            continue; // generated: the server computes it again
        Column c;
        c.name = fromHex(checkedHex(rows[i].text("n").value_or("")));
        c.charset = checkedCharset(rows[i].text("c").value_or(""));
        c.kind = kindOf(rows[i].text("t").value_or(""), c.charset);
        columns.push_back(std::move(c));
    }
    return m_columns.emplace(std::string(table), std::move(columns)).first->second;
}

template <typename Pass> void UndoArchive::guarded(const std::string& batch, Pass&& pass)
{
    const long before = std::ftell(m_file.get());
    try {
        write(batch);
        sync();
        pass();
        m_changed = true;
    } catch (...) {
        // The server did not take the batch: a replay must not put its rows back a second time.
        std::fflush(m_file.get());
        if (before >= 0 && ::ftruncate(::fileno(m_file.get()), before) == 0) {
            std::fseek(m_file.get(), before, SEEK_SET);
            ::fsync(::fileno(m_file.get()));
        }
        throw;
    }
}

void UndoArchive::deleteRows(std::string_view table, CodeList codes)
{
    if (codes.empty())
        return;
    open();
    const std::vector<Column>& columns = columnsOf(table);
    std::string select, names;
    std::size_t codeColumn = columns.size();
    for (std::size_t k = 0; k < columns.size(); ++k) {
        select += (k ? "," : "") + selectExpression(columns[k]);
        names += (k ? "," : "") + quotedName(columns[k].name);
        if (columns[k].name == "CODE")
            codeColumn = k;
    }
    const bool utf8Names = std::any_of(columns.begin(), columns.end(), [](const Column& c) {
        return std::any_of(c.name.begin(), c.name.end(),
                           [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; });
    });
    const std::string head = "INSERT INTO " + quotedName(table) + " (" + names + ") VALUES ";
    std::string batch = "START TRANSACTION;\n";
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement) {
        const CodeList part = codes.part(from, std::min(kCodesPerStatement, codes.size() - from));
        // A name outside cp1251 is sent on a utf8mb4 session for this one read.
        if (utf8Names)
            m_conn.useUtf8Session(true);
        const db::Rows rows =
            m_conn.query("select " + select + " from " + quotedName(table) + " where CODE in (" + part.joined() + ")");
        if (utf8Names)
            m_conn.useUtf8Session(false);
        std::string statement;
        std::vector<std::string> tails; // the rest of values too long for one statement
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::string values;
            for (std::size_t k = 0; k < columns.size(); ++k) {
                std::string value = literal(columns[k], rows[r].cell(k));
                const bool hex = columns[k].kind == Column::Text || columns[k].kind == Column::Binary;
                if (hex && value.size() > kStatementBytes / 2 && codeColumn < columns.size()) {
                    // A long value goes in parts: the first here, the others appended by updates.
                    const std::string& h = *rows[r].cell(k);
                    const bool utf8 = columns[k].charset.starts_with("utf8");
                    std::size_t at = cutAt(h, kStatementBytes / 2, utf8);
                    const std::string intro = columns[k].kind == Column::Text ? "_" + columns[k].charset + " " : "";
                    value = intro + "X'" + h.substr(0, at) + "'";
                    const std::string where =
                        " WHERE " + quotedName("CODE") + "=" + literal(columns[codeColumn], rows[r].cell(codeColumn));
                    while (at < h.size()) {
                        const std::size_t next = at + cutAt(h.substr(at), kStatementBytes / 2, utf8);
                        tails.push_back("UPDATE " + quotedName(table) + " SET " + quotedName(columns[k].name) +
                                        "=CONCAT(" + quotedName(columns[k].name) + "," + intro + "X'" +
                                        h.substr(at, next - at) + "')" + where + ";\n");
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
    batch += "COMMIT;\n";
    guarded(batch, [&] { m_next.deleteRows(table, codes); });
}

void UndoArchive::replaceAuthor(std::string_view table, std::string_view column, CodeList codes,
                                const std::string& firstUser)
{
    if (codes.empty())
        return;
    open();
    std::string batch = "START TRANSACTION;\n";
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement) {
        const CodeList part = codes.part(from, std::min(kCodesPerStatement, codes.size() - from));
        const db::Rows rows = m_conn.query("select CODE as c, " + quotedName(column) + " as v from " +
                                           quotedName(table) + " where CODE in (" + part.joined() + ")");
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const auto old = rows[r].text("v");
            batch += "UPDATE " + quotedName(table) + " SET " + quotedName(column) + "=" +
                     (old ? checkedNumber(*old) : std::string("NULL")) + " WHERE " + quotedName("CODE") + "=" +
                     checkedNumber(rows[r].text("c").value_or("")) + ";\n";
        }
    }
    batch += "COMMIT;\n";
    guarded(batch, [&] { m_next.replaceAuthor(table, column, codes, firstUser); });
}

} // namespace cleanup
