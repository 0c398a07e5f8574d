#pragma once
// The seventeen deletion passes: each removes the rows of one table whose reference names a release,
// link, user or person that no longer exists. One table of texts, one routine.
#include "cleanup/PassEngine.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace cleanup
{

struct OrphanPass {
    std::string_view title;
    // The row list: these columns of the table's rows that meet the condition (empty: every row),
    // read a page at a time in order of CODE, the order rows are examined, counted and listed in.
    std::string_view columns;
    std::string_view condition;
    std::string_view table; // the rows go from here
    // Reference columns tested in order; the row goes as soon as one names a missing parent, and is
    // deleted and counted once. The second is empty where a table has one reference.
    std::array<std::string_view, 2> references;
    std::string_view parentTable; // the references name a CODE of this table
    std::string_view summaryLabel;
    // When set, this column of every deleted row goes to the screenshot list.
    std::string_view listedColumn{};
};

// In the order the run takes them.
extern const std::array<OrphanPass, 17> kOrphanPasses;

struct PassOutcome {
    std::uint64_t affected = 0;
    std::uint64_t listed = 0;
};

// Runs one pass; a pass with a listed column hands the deleted rows' names to the run's screenshot names.
PassOutcome runOrphanPass(PassContext& run, const OrphanPass& pass);

} // namespace cleanup
