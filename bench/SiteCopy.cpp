#include "SiteCopy.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace bench
{
namespace
{
std::string quoted(const std::string& name)
{
    if (!plainName(name))
        throw std::invalid_argument("name unusable in SQL: '" + name + "'");
    return "`" + name + "`";
}

std::string qualified(const std::string& database, const std::string& table)
{
    return quoted(database) + "." + quoted(table);
}

TableState stateOf(db::Connection& c, const std::string& database, const std::string& table)
{
    TableState s;
    s.present = true;
    s.rows = c.query("SELECT COUNT(*) AS N FROM " + qualified(database, table)).front().optInt("N").value_or(0);
    // EXTENDED reads every row even where the engine keeps a running checksum of its own.
    const auto sum = c.query("CHECKSUM TABLE " + qualified(database, table) + " EXTENDED");
    const auto& value = sum.front().text("Checksum");
    if (!value)
        throw std::runtime_error("the server gave no checksum for " + database + "." + table);
    s.checksum = *value;
    return s;
}

void requireDatabase(db::Connection& c, const std::string& database)
{
    quoted(database);
    if (c.query("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" + database + "'").empty())
        throw std::invalid_argument("no database " + database);
}
} // namespace

bool plainName(const std::string& name)
{
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
    });
}

std::vector<std::string> baseTables(db::Connection& c, const std::string& database)
{
    quoted(database);
    const auto rows = c.query("SELECT TABLE_NAME AS T FROM information_schema.TABLES WHERE TABLE_SCHEMA='" + database +
                              "' AND TABLE_TYPE='BASE TABLE' ORDER BY TABLE_NAME");
    std::vector<std::string> tables;
    tables.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        tables.push_back(*rows[i].text("T"));
    return tables;
}

void copySite(db::Connection& c, const std::string& from, const std::string& to)
{
    quoted(from);
    quoted(to);
    if (from == to)
        throw std::invalid_argument("a database cannot be copied onto itself: " + from);
    const auto schema = c.query("SELECT DEFAULT_CHARACTER_SET_NAME AS CS, DEFAULT_COLLATION_NAME AS CO"
                                " FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" +
                                from + "'");
    if (schema.empty())
        throw std::invalid_argument("no database " + from + " to copy");
    const std::string charset = *schema.front().text("CS");
    const std::string collation = *schema.front().text("CO");

    c.execute("DROP DATABASE IF EXISTS " + quoted(to));
    c.execute("CREATE DATABASE " + quoted(to) + " CHARACTER SET " + charset + " COLLATE " + collation);

    // Rows go in with the values they have: a zero stays a zero instead of taking the next number.
    // Without key and unique checks InnoDB fills an empty table in bulk, building each index by
    // sorting once (the rows come from a table that has the same keys, so nothing is lost by it).
    c.execute("SET @tk_copy_mode=@@SESSION.sql_mode, @tk_copy_fk=@@SESSION.foreign_key_checks,"
              " @tk_copy_uc=@@SESSION.unique_checks");
    c.execute("SET SESSION sql_mode=CONCAT_WS(',',NULLIF(@@SESSION.sql_mode,''),'NO_AUTO_VALUE_ON_ZERO'),"
              " SESSION foreign_key_checks=0, SESSION unique_checks=0");
    try {
        for (const std::string& table : baseTables(c, from)) {
            c.execute("CREATE TABLE " + qualified(to, table) + " LIKE " + qualified(from, table));
            c.execute("INSERT INTO " + qualified(to, table) + " SELECT * FROM " + qualified(from, table));
        }
    } catch (...) {
        try {
            c.execute("SET SESSION sql_mode=@tk_copy_mode, SESSION foreign_key_checks=@tk_copy_fk,"
                      " SESSION unique_checks=@tk_copy_uc");
        } catch (...) {
        }
        throw;
    }
    c.execute("SET SESSION sql_mode=@tk_copy_mode, SESSION foreign_key_checks=@tk_copy_fk,"
              " SESSION unique_checks=@tk_copy_uc");
}

std::vector<TableComparison> compareSites(db::Connection& c, const std::string& first, const std::string& second)
{
    requireDatabase(c, first);
    requireDatabase(c, second);
    // A database always equals itself; asking that is a mistake in the caller's names.
    if (first == second)
        throw std::invalid_argument("a database compared with itself: " + first);
    std::map<std::string, TableComparison> byName;
    for (const std::string& table : baseTables(c, first)) {
        auto& entry = byName[table];
        entry.table = table;
        entry.first = stateOf(c, first, table);
    }
    for (const std::string& table : baseTables(c, second)) {
        auto& entry = byName[table];
        entry.table = table;
        entry.second = stateOf(c, second, table);
    }
    std::vector<TableComparison> result;
    result.reserve(byName.size());
    for (auto& [name, entry] : byName)
        result.push_back(std::move(entry));
    return result;
}

} // namespace bench
