#pragma once
// An undo archive read back: its statements in order, the rows and values it puts back, and the
// batches whose outcome was unknown when its run ended, settled against the site as it stands.
#include "cleanup/ArchiveText.h"
#include "db/Connection.h"
#include "db/DbError.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace cleanup
{

struct Statement {
    std::size_t line;
    std::string sql;
    // On a batch's START TRANSACTION whose outcome was unknown: "<table> <code>" of its first row.
    std::string doubt = {};
};

struct Archive {
    ArchiveHeader header;
    std::vector<Statement> statements;
    std::set<std::string> tables;
    std::uint64_t rows = 0, values = 0;
    // Rows of the statement at header.upToLine left out as back already: a restore in parts counts
    // its progress in that statement from the statement's first row all the same.
    std::size_t leftOut = 0;
};

// Reads an archive whole; a file that is no archive, or that ends in the middle of a statement, is
// refused with the reason (std::runtime_error).
Archive load(const std::string& path);

// The rows of a multi-row INSERT ("(..),(..)"), or the statement whole as one piece; hex, numbers and
// dates never hold "),(".
struct Pieces {
    std::string head; // up to and with "VALUES "
    std::vector<std::string> rows;
    std::string tail = {}; // " ON DUPLICATE KEY UPDATE ..." of a batch whose outcome was unknown
};
Pieces piecesOf(std::string sql);

// The rows an archive's INSERTs put back.
std::uint64_t rowsOf(const Archive& a);

// A batch whose outcome was unknown when its run ended is put back only where its first row is gone
// (a batch is one statement: all of it ran, or none), and then none of its rows twice and none over
// another row. Statements before line `from` are applied already; a batch that `from` lies within
// ran, and the rest of it goes back without the rows that are back. Returns true when the statement
// at `from` lost such rows: it goes back from its first remaining row, not from a count of rows.
bool settleDoubts(db::Connection& c, Archive& a, std::size_t from);

// For an INSERT of a restore that the server refused on a unique key: the table, the key, the row
// being put back and the row in its way, each in full; empty where it cannot tell. Asked before the
// transaction is rolled back, so that a row put back earlier in it is seen too.
std::string collisionOf(db::Connection& c, const std::string& sql, const db::DbError& e);

} // namespace cleanup
