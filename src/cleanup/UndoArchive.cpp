#include "cleanup/UndoArchive.h"

#include "cleanup/SentChanges.h"
#include "common/TextFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cleanup
{
namespace
{
std::string codeList(std::span<const std::int64_t> codes)
{
    std::string list;
    for (std::int64_t code : codes) {
        if (!list.empty())
            list += ',';
        list += std::to_string(code);
    }
    return list;
}

std::string stamp(std::time_t t)
{
    std::tm local{};
    ::localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}
} // namespace

std::string sqlLiteral(const std::optional<std::string>& value)
{
    if (!value)
        return "NULL";
    std::string out = "'";
    for (const char c : *value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\'':
            out += "''";
            break;
        case '\0':
            out += "\\0";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\x1A':
            out += "\\Z";
            break;
        default:
            out += c;
        }
    }
    return out + "'";
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
    // Never overwrite an earlier archive: a second run in the same second gets a numbered name.
    const std::string base = m_folder + "cleanup-undo-" + stamp(m_start);
    for (int n = 1;; ++n) {
        m_path = base + (n == 1 ? "" : "-" + std::to_string(n)) + ".sql";
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_file.reset(::fdopen(fd, "w"));
            break;
        }
        if (errno != EEXIST)
            throw SystemError(errno, "Не удалось создать архив для отмены " + m_path + ": " + std::strerror(errno));
    }
    write("-- tk_corvane: what one cleanup run deleted and replaced. Feed it to the mariadb client on the\n"
          "-- same database to put everything back.\n"
          "SET NAMES utf8mb4;\n"
          "SET SESSION sql_mode = REPLACE(@@SESSION.sql_mode, 'NO_BACKSLASH_ESCAPES', '');\n");
    sync();
}

void UndoArchive::write(const std::string& text)
{
    if (std::fwrite(text.data(), 1, text.size(), m_file.get()) != text.size())
        throw SystemError(errno, "Не удалось записать архив для отмены " + m_path + ": " + std::strerror(errno));
}

void UndoArchive::sync()
{
    if (std::fflush(m_file.get()) != 0 || ::fsync(::fileno(m_file.get())) != 0)
        throw SystemError(errno, "Не удалось записать архив для отмены " + m_path + ": " + std::strerror(errno));
}

void UndoArchive::deleteRows(std::string_view table, std::span<const std::int64_t> codes)
{
    if (codes.empty())
        return;
    open();
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement) {
        const auto part = codes.subspan(from, std::min(kCodesPerStatement, codes.size() - from));
        const db::Rows rows =
            m_conn.query("select * from " + std::string(table) + " where CODE in (" + codeList(part) + ")");
        std::string columns;
        for (const std::string& name : rows.columns())
            columns += (columns.empty() ? "`" : ",`") + name + "`";
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::string values;
            for (std::size_t c = 0; c < rows.columns().size(); ++c)
                values += (c == 0 ? "" : ",") + sqlLiteral(rows[r].cell(c));
            write("INSERT INTO " + std::string(table) + " (" + columns + ") VALUES (" + values + ");\n");
        }
    }
    sync();
    m_next.deleteRows(table, codes);
}

void UndoArchive::replaceAuthor(std::string_view table, std::string_view column, std::span<const std::int64_t> codes,
                                std::int64_t firstUser)
{
    if (codes.empty())
        return;
    open();
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement) {
        const auto part = codes.subspan(from, std::min(kCodesPerStatement, codes.size() - from));
        const db::IntRows rows = m_conn.queryInts("select CODE," + std::string(column) + " from " + std::string(table) +
                                                  " where CODE in (" + codeList(part) + ")");
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const auto old = rows.at(r, 1);
            write("UPDATE " + std::string(table) + " SET " + std::string(column) + "=" +
                  (old ? std::to_string(*old) : std::string("NULL")) + " WHERE CODE=" + std::to_string(*rows.at(r, 0)) +
                  ";\n");
        }
    }
    sync();
    m_next.replaceAuthor(table, column, codes, firstUser);
}

} // namespace cleanup
