#pragma once
// The seventeen deletion passes: each removes the rows of one table whose reference names a release,
// link, user or person that no longer exists. One table of texts, one routine.
#include "cleanup/PassEngine.h"

#include <array>
#include <cstdint>
#include <optional>
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

// A later pass over the same rows, judged on the rows an earlier pass keeps while that pass walks
// them, so that a large table is read once for both.
struct LaterPass {
    const OrphanPass* pass = nullptr;
    CodeSet parents; // read when the earlier pass starts
    GatheredRows rows;
};

// Runs one pass; a pass with a listed column hands the deleted rows' names to the run's screenshot
// names. With `later`, later->pass is judged on every row this pass examines and keeps.
PassOutcome runOrphanPass(PassContext& run, const OrphanPass& pass, LaterPass* later = nullptr);
// Runs a pass judged during an earlier one: the same captions, counts, batches and changes as a
// walk of its own over the table as the earlier pass left it.
PassOutcome runJudgedPass(PassContext& run, const LaterPass& judged);

// The pass after kOrphanPasses[index] that can be judged during it: the next pass over the same
// table, with the same condition, no listed column, and a parent table no pass in between deletes
// from. Only where the site's keys change nothing, so that each pass's rows are as it would read them.
std::optional<std::size_t> judgedAlongWith(std::size_t index, bool siteKeysAct);

} // namespace cleanup
