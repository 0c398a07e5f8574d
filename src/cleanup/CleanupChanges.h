#pragma once
// Every change the cleanup makes to the site goes through this interface: the passes decide what
// goes, an implementation decides what becomes of it. The real one sends the statements; another
// could send nothing and only look, or keep a copy of each row before passing the change on.
#include "cleanup/RowImages.h"
#include "db/Rows.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup
{

// Codes of one table's rows, with the kind of its CODE column.
struct CodeList {
    std::span<const std::int64_t> codes;
    bool isUnsigned = false;

    std::size_t size() const { return codes.size(); }
    bool empty() const { return codes.empty(); }
    CodeList part(std::size_t from, std::size_t count) const { return {codes.subspan(from, count), isUnsigned}; }
    // "1,2,3": the codes as decimal text for an IN list.
    std::string joined() const
    {
        std::string list;
        for (std::int64_t code : codes)
            list += (list.empty() ? "" : ",") + db::wholeText(code, isUnsigned);
        return list;
    }
};

// What the server's own foreign keys do in one table when a change is sent: rows they delete, or
// columns of rows they rewrite (SET NULL, ON UPDATE CASCADE), each row as it was before.
struct ServerChange {
    std::string table;                // UTF-8
    bool deleted = false;             // rows deleted; otherwise the columns below rewritten
    std::vector<std::size_t> columns; // the rewritten columns, as indexes into the table's image columns
    std::vector<RowImage> before;
    std::vector<std::optional<std::string>> after; // each rewritten column's new value, as images hold it
};
// In the order a restore puts them back: parents before children.
using ServerChanges = std::vector<ServerChange>;

class CleanupChanges
{
  public:
    virtual ~CleanupChanges() = default;
    // Removes the rows of the table with these codes; the server does what follows by itself.
    virtual void deleteRows(std::string_view table, CodeList codes, const ServerChanges& follows) = 0;
    // Sets the authorship column of the rows with these codes to the first user (decimal text).
    virtual void replaceAuthor(std::string_view table, std::string_view column, CodeList codes,
                               const std::string& firstUser, const ServerChanges& follows) = 0;
    // Before a batch the site's keys act on: a run that changes the site opens a transaction and locks
    // the batch's rows, so that no row comes to reference them between the read of what the keys will
    // do and the change, which then commits it. Returns whether it did.
    virtual bool lockRows(std::string_view table, CodeList codes)
    {
        (void)table;
        (void)codes;
        return false;
    }
    // The batch ends before its change went: an open transaction is rolled back.
    virtual void abandonBatch() noexcept {}

    // Where these changes can, a delete hands back what it read of the rows it removed, so that they
    // need no read of their own: deleteReturning opens a transaction (or goes on in the one it
    // opened for the batch) and deletes the rows with these codes, returning the columns of the
    // select list for each row it removed, one result per statement; commitBatch then commits it,
    // and abandonBatch rolls it back. Only where deletesReturning says so.
    virtual bool deletesReturning() const { return false; }
    virtual std::vector<db::Rows> deleteReturning(std::string_view table, CodeList codes, const std::string& selectList)
    {
        (void)table;
        (void)codes;
        (void)selectList;
        return {};
    }
    virtual void commitBatch() {}
};

} // namespace cleanup
