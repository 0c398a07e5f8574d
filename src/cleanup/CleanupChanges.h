#pragma once
// Every change the cleanup makes to the site goes through this interface: the passes decide what
// goes, an implementation decides what becomes of it. The real one sends the statements; another
// could send nothing and only look, or keep a copy of each row before passing the change on.
#include <cstdint>
#include <span>
#include <string_view>

namespace cleanup
{

class CleanupChanges
{
  public:
    virtual ~CleanupChanges() = default;
    // Removes the rows of the table with these codes.
    virtual void deleteRows(std::string_view table, std::span<const std::int64_t> codes) = 0;
    // Sets the authorship column of the rows with these codes to the first user.
    virtual void replaceAuthor(std::string_view table, std::string_view column, std::span<const std::int64_t> codes,
                               std::int64_t firstUser) = 0;
};

} // namespace cleanup
