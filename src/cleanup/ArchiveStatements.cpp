#include "cleanup/ArchiveStatements.h"

#include "cleanup/UndoArchive.h"
#include "common/SystemFiles.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <utility>

namespace cleanup
{
namespace
{
// An UPDATE that sets a column to a value it held (not one that appends to a list, =CONCAT(...))
// counts as a value put back.
bool setsAValue(const std::string& sql)
{
    return sql.starts_with("UPDATE ") && sql.find("=CONCAT(") == std::string::npos;
}

// The table an archive statement writes to, checked to be a plain name.
std::string tableOf(const std::string& sql)
{
    const std::size_t open = sql.find('`'), close = sql.find('`', open + 1);
    if (open == std::string::npos || close == std::string::npos)
        throw std::runtime_error("нет имени таблицы");
    const std::string name = sql.substr(open + 1, close - open - 1);
    if (name.empty() ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos)
        throw std::runtime_error("недопустимое имя таблицы «" + name + "»");
    return name;
}

// A row of an in-doubt batch that is itself still there (its key, the first column, holds a row) is
// back already; the rest go back with plain INSERTs, so that a row colliding with another on any
// unique key stops the restore instead of being passed over.
std::string withoutRowsBack(db::Connection& c, const std::string& sql, std::uint64_t& back)
{
    Pieces p = piecesOf(sql);
    const std::size_t tick = p.tail.find('`');
    if (p.head.empty() || tick == std::string::npos)
        return sql.substr(0, sql.size() - p.tail.size());
    const std::string key = p.tail.substr(tick, p.tail.find('`', tick + 1) - tick + 1);
    const std::string table = p.head.substr(12, p.head.find(' ', 12) - 12);
    std::vector<std::string> keys;
    for (const std::string& row : p.rows) {
        const std::string first = row.substr(0, row.find(','));
        keys.push_back(!first.empty() && first.find_first_not_of("-0123456789") == std::string::npos ? first : "");
    }
    std::string list;
    for (const std::string& k : keys)
        if (!k.empty())
            list += (list.empty() ? "" : ",") + k;
    std::set<std::string> present;
    if (!list.empty()) {
        const db::Rows rows = c.query("select " + key + " from " + table + " where " + key + " in (" + list + ")");
        for (std::size_t i = 0; i < rows.size(); ++i)
            present.insert(rows[i].cell(0).value_or(""));
    }
    std::string kept;
    for (std::size_t r = 0; r < p.rows.size(); ++r) {
        if (!keys[r].empty() && present.count(keys[r])) {
            ++back;
            continue;
        }
        kept += (kept.empty() ? "" : "),(") + p.rows[r];
    }
    return kept.empty() ? std::string() : p.head + "(" + kept + ")";
}

// The doubt of a batch that an abandoned restore had begun to put back: it ran.
constexpr const char* kBatchRan = "ran";

// Leaves out what an abandoned restore put back already: the statements before upToLine (the
// session settings stay) and the first upToRows rows of the one at it. A batch of unknown outcome it
// had begun counts as run: its rows go back where they are not there already.
void leaveOutRestored(Archive& a)
{
    const std::size_t line = a.header.upToLine;
    std::vector<Statement> kept;
    std::optional<Statement> batch; // the START TRANSACTION of the batch open at `line`
    bool crossed = false, ran = false;
    for (Statement& s : a.statements) {
        if (s.line < line) {
            if (s.sql.starts_with("SET SESSION "))
                kept.push_back(s);
            else if (s.sql == "START TRANSACTION")
                batch = s;
            else if (s.sql == "COMMIT")
                batch.reset();
            continue;
        }
        if (!std::exchange(crossed, true) && batch) {
            ran = !batch->doubt.empty();
            if (ran)
                batch->doubt = kBatchRan;
            kept.push_back(*batch);
        }
        if (s.line == line && a.header.upToRows > 0 && !ran) {
            Pieces p = piecesOf(s.sql);
            if (p.head.empty() || a.header.upToRows >= p.rows.size())
                continue;
            std::string rest;
            for (std::size_t r = a.header.upToRows; r < p.rows.size(); ++r)
                rest += (rest.empty() ? "" : "),(") + p.rows[r];
            s.sql = p.head + "(" + rest + ")" + p.tail;
            a.leftOut = a.header.upToRows;
        }
        kept.push_back(std::move(s));
    }
    a.statements = std::move(kept);
    a.rows = rowsOf(a);
    a.values = 0;
    for (const Statement& s : a.statements)
        a.values += setsAValue(s.sql) ? 1 : 0;
}

} // namespace

Archive load(const std::string& path)
{
    const auto header = readArchiveHeader(path);
    if (!header)
        throw std::runtime_error(path + ": это не архив отмены tk_corvane");
    Archive a{*header, {}, {}, 0, 0};
    std::ifstream in(sysfiles::pathOf(path), std::ios::binary);
    std::string line, doubt;
    for (std::size_t n = 1; std::getline(in, line); ++n) {
        if (line.starts_with(kArchiveInDoubt)) {
            doubt = line.substr(kArchiveInDoubt.size());
            const std::size_t space = doubt.find(' ');
            const std::string code = space == std::string::npos ? "" : doubt.substr(space + 1);
            if (space == std::string::npos || code.empty() || code.size() > 20 ||
                code.find_first_not_of("-0123456789") != std::string::npos || code.find('-', 1) != std::string::npos)
                throw std::runtime_error(path + ", строка " + std::to_string(n) + ": архив повреждён");
            tableOf("`" + doubt.substr(0, space) + "`");
            continue;
        }
        if (line.empty() || line.starts_with("--"))
            continue;
        if (line.back() != ';')
            throw std::runtime_error(path + ", строка " + std::to_string(n) + ": архив повреждён (оборванная строка)");
        if (line == "SET NAMES utf8mb4;")
            continue; // the restoring session speaks utf8mb4 already
        if (line.starts_with("INSERT INTO ")) {
            a.tables.insert(tableOf(line));
            for (std::size_t at = 0; at != std::string::npos; at = line.find("),(", at + 1))
                ++a.rows;
        } else if (line.starts_with("UPDATE ")) {
            a.tables.insert(tableOf(line));
            if (setsAValue(line))
                ++a.values;
        } else if (line != "START TRANSACTION;" && line != "COMMIT;" && !line.starts_with("SET SESSION ")) {
            throw std::runtime_error(path + ", строка " + std::to_string(n) + ": неизвестная строка архива");
        }
        line.pop_back();
        a.statements.push_back({n, line, line == "START TRANSACTION" ? std::exchange(doubt, {}) : std::string()});
    }
    if (a.header.upToLine > 0)
        leaveOutRestored(a);
    return a;
}

Pieces piecesOf(std::string sql)
{
    std::string tail;
    if (const std::size_t at = sql.rfind(kInDoubtInsertTail); at != std::string::npos) {
        tail = sql.substr(at);
        sql.erase(at);
    }
    const std::size_t values = sql.find(" VALUES (");
    if (!sql.starts_with("INSERT INTO ") || values == std::string::npos || sql.back() != ')')
        return {"", {sql + tail}};
    Pieces p{sql.substr(0, values + 8), {}, tail};
    const std::string body = sql.substr(values + 9, sql.size() - values - 10);
    for (std::size_t from = 0;;) {
        const std::size_t at = body.find("),(", from);
        p.rows.push_back(body.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            break;
        from = at + 3;
    }
    return p;
}

std::uint64_t rowsOf(const Archive& a)
{
    std::uint64_t n = 0;
    for (const Statement& s : a.statements)
        n += s.sql.starts_with("INSERT INTO ") ? piecesOf(s.sql).rows.size() : s.sql.starts_with("UPDATE ") ? 1 : 0;
    return n;
}

bool settleDoubts(db::Connection& c, Archive& a, std::size_t from)
{
    bool anew = false;
    std::vector<Statement> kept;
    for (std::size_t i = 0; i < a.statements.size(); ++i) {
        const Statement& s = a.statements[i];
        if (s.doubt.empty()) {
            kept.push_back(s);
            continue;
        }
        std::size_t end = i; // the batch's COMMIT, or the end
        while (end < a.statements.size() && a.statements[end].sql != "COMMIT")
            ++end;
        // A batch before `from` is applied already; one that `from` lies within was judged to have
        // run when it was begun, and the rest of it goes back without the rows that are back.
        const bool within = s.line < from && end > i + 1 && a.statements[end - 1].line >= from;
        if (s.line < from && !within) {
            kept.push_back(s);
            continue;
        }
        const std::size_t space = s.doubt.find(' ');
        const bool stillThere =
            !within && s.doubt != kBatchRan &&
            !c.query("select 1 from `" + s.doubt.substr(0, space) + "` where CODE=" + s.doubt.substr(space + 1))
                 .empty();
        if (!stillThere) {
            // Put back, but none of its rows twice and none over another row.
            kept.push_back(s);
            for (++i; i < end; ++i) {
                Statement row = a.statements[i];
                if (row.sql.starts_with("INSERT INTO ") && row.line >= from) {
                    std::uint64_t back = 0;
                    row.sql = withoutRowsBack(c, row.sql, back);
                    a.rows -= back;
                    anew = anew || row.line == from;
                    if (row.sql.empty())
                        continue;
                }
                kept.push_back(std::move(row));
            }
            if (i < a.statements.size())
                kept.push_back(a.statements[i]);
            continue;
        }
        // The server never ran it: nothing of it goes back.
        for (; i < end; ++i) {
            const std::string& sql = a.statements[i].sql;
            if (sql.starts_with("INSERT INTO "))
                a.rows -= piecesOf(sql).rows.size();
            else if (setsAValue(sql))
                --a.values;
        }
    }
    a.statements = std::move(kept);
    return anew;
}

std::string collisionOf(db::Connection& c, const std::string& sql, const db::DbError& e)
{
    constexpr std::string_view kPlain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    const std::string what = e.what();
    const std::size_t at = what.rfind("for key '");
    if (e.nativeCode != 1062 || at == std::string::npos)
        return {};
    std::string key = what.substr(at + 9);
    key.erase(std::min(key.find('\''), key.size()));
    key.erase(0, key.find('.') == std::string::npos ? 0 : key.find('.') + 1); // "table.key" on some servers
    const Pieces p = piecesOf(sql);
    const std::size_t open = p.head.find(" ("), close = p.head.rfind(") VALUES ");
    if (key.empty() || key.find_first_not_of(kPlain) != std::string::npos || open == std::string::npos ||
        close == std::string::npos || close < open)
        return {};
    const std::string table = tableOf(p.head);
    // The archive's own column list, as it names them.
    std::vector<std::string> columns;
    const std::string names = p.head.substr(open + 2, close - open - 2);
    for (std::size_t from = 0; from < names.size();) {
        const std::size_t end = std::min(names.find("`,`", from), names.size() - 1);
        columns.push_back(names.substr(from, end - from + 1));
        from = end + 2;
    }
    const db::Rows keyed =
        c.query("select COLUMN_NAME as n from information_schema.STATISTICS where TABLE_SCHEMA=DATABASE() and "
                "TABLE_NAME='" +
                table + "' and INDEX_NAME='" + key + "' order by SEQ_IN_INDEX");
    std::vector<std::size_t> parts;
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        const auto it = std::find(columns.begin(), columns.end(), "`" + keyed[i].text("n").value_or("") + "`");
        if (it == columns.end())
            return {};
        parts.push_back(static_cast<std::size_t>(it - columns.begin()));
    }
    std::string list;
    for (const std::string& column : columns)
        list += (list.empty() ? "" : ",") + column;
    const auto shown = [&](const db::Rows& rows) {
        std::string text;
        for (std::size_t k = 0; k < columns.size(); ++k)
            text += (k ? ", " : "") + columns[k].substr(1, columns[k].size() - 2) + "=" +
                    rows.front().cell(k).value_or("NULL");
        return text;
    };
    for (const std::string& row : p.rows) {
        // Its values: numbers, NULL, quoted dates and hex, none holding a comma.
        std::vector<std::string> values;
        for (std::size_t from = 0; from <= row.size();) {
            const std::size_t end = std::min(row.find(',', from), row.size());
            values.push_back(row.substr(from, end - from));
            from = end + 1;
        }
        if (values.size() != columns.size() || parts.empty())
            return {};
        std::string where;
        for (const std::size_t k : parts)
            where += (where.empty() ? "" : " and ") + columns[k] + "=" + values[k];
        const db::Rows other = c.query("select " + list + " from `" + table + "` where " + where + " limit 1");
        if (other.empty())
            continue;
        std::string archived;
        for (std::size_t k = 0; k < columns.size(); ++k)
            archived += (k ? "," : "") + values[k] + " as " + columns[k];
        return "Таблица " + table + ", уникальный ключ " + key + ": восстанавливаемая строка (" +
               shown(c.query("select " + archived)) + ") совпала бы с другой строкой (" + shown(other) + ").";
    }
    return {};
}

} // namespace cleanup
