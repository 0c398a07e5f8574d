#pragma once
// Every change the cleanup makes to the site goes through this interface: the passes decide what
// goes, an implementation decides what becomes of it. The real one sends the statements; another
// could send nothing and only look, or keep a copy of each row before passing the change on.
#include "db/Rows.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

class CleanupChanges
{
  public:
    virtual ~CleanupChanges() = default;
    // Removes the rows of the table with these codes.
    virtual void deleteRows(std::string_view table, CodeList codes) = 0;
    // Sets the authorship column of the rows with these codes to the first user (decimal text).
    virtual void replaceAuthor(std::string_view table, std::string_view column, CodeList codes,
                               const std::string& firstUser) = 0;
};

} // namespace cleanup
