#pragma once
// Before a batch of the cleanup is sent: the rows the site's foreign keys will delete or rewrite
// with it, read as they are now, in an order that restores (parents before children), and what
// each table loses or has rewritten over the whole run. A key that would refuse the batch stops it
// first, with the key's name.
#include "cleanup/CleanupChanges.h"
#include "cleanup/CleanupReport.h"
#include "cleanup/RowImages.h"
#include "cleanup/SiteKeys.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup
{

// A batch would run into a key that refuses it while a row references what it removes or rewrites.
struct KeyConflict : std::runtime_error {
    KeyConflict(const ForeignKey& key, bool deleting);
    std::string pass; // the title of the pass that met it, once known
};

class KeyActions
{
  public:
    KeyActions(db::Connection& c, std::vector<ForeignKey> reached);

    // What follows when the rows with these codes go, or when the column of these rows is rewritten.
    // Throws KeyConflict when a key would refuse it. lock: the rows reached are read "for update",
    // inside the caller's transaction.
    ServerChanges beforeDelete(std::string_view table, CodeList codes, bool lock = false);
    ServerChanges beforeRewrite(std::string_view table, std::string_view column, CodeList codes,
                                const std::string& newValue, bool lock = false);

    // Counts the changes as done, per table, in the order tables were first met, and hands the codes
    // of rows deleted from tables keyed by CODE to removed, for the run's record of removed rows.
    void count(const ServerChanges& done, const std::function<void(const std::string&, CodeList)>& removed);
    const std::vector<KeyCount>& counts() const { return m_counts; }
    const std::vector<ImageColumn>& columns(const std::string& table) { return m_images.columns(table); }
    // Where a table's primary key is a whole-number CODE: its index in the images, and its kind.
    std::optional<std::pair<std::size_t, bool>> codeOf(const std::string& table);

  private:
    ServerChanges follow(std::string table, std::vector<RowImage> rows, std::vector<std::size_t> rewritten,
                         std::vector<std::optional<std::string>> after);
    // The changes that follow each part of kCodesPerStatement codes.
    ServerChanges inParts(std::string_view table, CodeList codes, const std::vector<std::size_t>& rewritten,
                          const std::vector<std::optional<std::string>>& after);

    db::Connection& m_conn;
    RowImages m_images;
    std::vector<ForeignKey> m_keys;
    std::vector<KeyCount> m_counts;
    bool m_lock = false; // within beforeDelete or beforeRewrite asked to lock
};

} // namespace cleanup
