#pragma once
// Two copies of one site, so that two ways of doing the same job start from the same rows, and the
// check that they ended with the same rows. Both work on one server through one connection whose
// account may read and create every database involved.
#include "db/Connection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench
{

// True for a database or table name that can go into SQL text between backquotes as it is.
bool plainName(const std::string& name);

// The base tables of a database, by name.
std::vector<std::string> baseTables(db::Connection& c, const std::string& database);

// Drops `to` if it exists and makes it again as a copy of `from`: the same default character set
// and collation, every base table with its definition and every row, values unchanged (a zero in an
// AUTO_INCREMENT column stays zero). Throws std::invalid_argument for unusable names or a database
// copied onto itself, DbError when the server refuses.
void copySite(db::Connection& c, const std::string& from, const std::string& to);

// One table as seen in one database.
struct TableState {
    bool present = false;
    std::int64_t rows = 0;
    std::string checksum; // the server's CHECKSUM TABLE of the rows
};

struct TableComparison {
    std::string table;
    TableState first, second;

    bool same() const
    {
        return first.present && second.present && first.rows == second.rows && first.checksum == second.checksum;
    }
};

// Every base table of either database, by name, with its row count and checksum in both. The
// checksum covers every column of every row and does not depend on the order the rows were
// written in, so two databases whose tables hold the same rows compare equal whichever way the
// rows got there. Throws std::invalid_argument when a database does not exist or both names are
// the same, DbError when the server refuses.
std::vector<TableComparison> compareSites(db::Connection& c, const std::string& first, const std::string& second);

} // namespace bench
