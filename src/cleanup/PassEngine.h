#pragma once
// What every cleanup pass shares: its title in the caption, the examined and affected counters with
// the progress caption every 250 examined rows, the run's connection and changes, the record of the
// rows the run has removed, and the parent codes a pass tests against.
//
// A pass reads its parents' codes once and its row list a page at a time, decides in memory row by
// row, and sends its changes in batches. A caption never runs ahead of the database: the captions
// that fall due while a batch is being gathered wait until the batch has been sent, and then appear
// in order, each with the numbers it would have had, each followed by the processing of pending
// events.
#include "cleanup/CleanupChanges.h"
#include "cleanup/CodeSet.h"
#include "cleanup/KeyActions.h"
#include "cleanup/ScreenshotList.h"
#include "db/Connection.h"
#include "db/KeyPages.h"
#include "ops/SiteWindow.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cleanup
{

// Every cleanup pass refreshes its caption after this many examined rows.
inline constexpr std::uint64_t kRefreshEvery = 250;
// Pending changes are sent once they name this many rows or values...
inline constexpr std::size_t kBatchChanges = 2000;
// ...or once this many rows have been examined since the last batch, so the caption keeps moving.
inline constexpr std::uint64_t kBatchRows = 50000;

class PassProgress
{
  public:
    // Shows the bare title and lets pending events run.
    PassProgress(SiteWindow& window, std::string_view title);

    // Counts one more examined row. When the count reaches a multiple of the interval, the caption
    // is due with the affected number so far, which does not include this row; it waits for
    // showDue.
    void examine();
    void countAffected(std::uint64_t n = 1) { m_affected += n; }
    // True when enough rows have been examined since the last showDue that the pending changes
    // should go now.
    bool batchDue() const { return m_sinceShown >= kBatchRows; }
    // Shows the captions that fell due, in order. Call it only once everything they report is sent.
    void showDue();

    std::uint64_t examined() const { return m_examined; }
    std::uint64_t affected() const { return m_affected; }

  private:
    SiteWindow& m_window;
    std::string m_suffix;
    std::uint64_t m_examined = 0;
    std::uint64_t m_affected = 0;
    std::uint64_t m_sinceShown = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_due; // examined, affected
};

// The codes this run has removed, table by table. In a run that sends its changes the rows are
// gone from the server as well; the record lets a run whose changes are not sent see the site as
// if they were.
class RemovedRows
{
  public:
    void add(std::string_view table, CodeList codes);
    const CodeSet& of(std::string_view table) const;
    bool empty() const { return m_tables.empty(); }

  private:
    std::map<std::string, CodeSet, std::less<>> m_tables;
};

// Whole-number values the site's keys rewrote in rows this run has not removed: row CODE -> column
// -> new value (nullopt: NULL). Like the removed rows, it lets a run that sends nothing judge later
// rows as the server would hold them.
using RewrittenValues = std::map<std::int64_t, std::map<std::string, std::optional<std::int64_t>, std::less<>>>;

struct PassContext {
    db::Connection& conn;    // every read goes here
    CleanupChanges& changes; // every change goes here
    ScreenshotNames& names;  // the file names of deleted screenshot rows go here
    SiteWindow& window;
    std::size_t pageRows = db::kPageRows;     // rows per page of a row list
    KeyActions* keys = nullptr;               // the site's keys that act on the run's changes; null: none do
    std::size_t batchChanges = kBatchChanges; // changes at the most in one batch (one statement)
    std::function<void()> beforeBatch{};      // called before each batch goes (replicas may hold it up)
    // Where set, the next page of a row list is read on the run's second session while the page
    // before it is judged and its changes go. Only where no site key acts on the run's changes: a
    // pass then changes no row of its table but those of the pages it was given.
    db::PageAhead pageAhead{};
    RemovedRows removed{};
    std::map<std::string, RewrittenValues, std::less<>> rewritten{}; // by table
    // Where set, a parent table is read by the first pass that tests against it and its codes are
    // held for the passes after it. Only where nothing but the run changes the site until the run
    // ends: the site is blocked and no trigger fires on the run's changes. What the run itself
    // removes from a parent table is taken out of the held codes each time they are handed out.
    bool holdParents = false;
    std::map<std::string, CodeSet, std::less<>> heldParents{};
};

// What the site's keys do with the rows of a change, less rows the run removed before (a run that
// sends nothing still finds them on the server); nothing where no key acts. Where keys act, a run
// that changes the site first locks the change's rows in a transaction its change commits, and reads
// what follows locked too: no row the server will remove with them escapes the archive.
ServerChanges deleteFollows(PassContext& run, std::string_view table, CodeList codes);
ServerChanges rewriteFollows(PassContext& run, std::string_view table, std::string_view column, CodeList codes,
                             const std::string& newValue);
// Once the change is made: counted, and the rows deleted recorded as removed.
void recordFollows(PassContext& run, const ServerChanges& follows);

// Every CODE of the table, less the rows this run has removed from it. Nothing changes a parent
// table while a pass runs (the site is blocked and the passes delete from other tables), so one
// read at the start of the pass answers every existence question of that pass; with holdParents,
// one read answers those of the whole run.
CodeSet readCodes(PassContext& run, std::string_view table);

// How a pass walks its row list, page by page: the rows an earlier pass removed are skipped; every
// other row is counted as examined and then judged; the changes judging queues are sent once
// kBatchChanges are pending, once kBatchRows rows have been examined since the last send, and at the
// end; the captions that fell due are shown after each send. A page starts after the last CODE of
// the one before it, so nothing is missed; it is read after the changes queued from that one may have
// gone, or, through pageAhead, while they go.
struct PageColumns {
    std::size_t code = 0;            // CODE
    bool codesUnsigned = false;      // the kind of the table's CODE
    std::vector<std::size_t> judged; // the judged columns, in the order RowJudge names them
    std::vector<std::string_view> names;
    const RewrittenValues* rewritten = nullptr; // the table's values rewritten by the site's keys

    // The k-th judged value of row i, as the site holds it now.
    std::optional<std::int64_t> value(const db::IntRows& page, std::size_t i, std::size_t k) const;
};
struct RowJudge {
    db::PagedList list;                   // the row list
    std::vector<std::string_view> judged; // the columns the judge reads
    std::function<std::size_t(const db::IntRows&, const PageColumns&, std::size_t)> judge; // queues; how many
    std::function<void(bool codesUnsigned)> send; // sends what is queued (called only when something is)
};
void walkRows(PassContext& run, PassProgress& progress, const CodeSet& removedEarlier, const RowJudge& pass);

// The rows a later pass takes, judged while an earlier pass walked the same list: how many rows it
// examines, and the place among them and the CODE of each row it takes, in the list's order. Both
// grow along the list, so each taken row is held as the two steps from the one before it, a few
// bytes a row: on a large site the later pass may take hundreds of thousands.
class GatheredRows
{
  public:
    // One more examined row: taken with its CODE, or kept.
    void take(std::int64_t code);
    void keep() { ++m_examined; }

    std::uint64_t examined() const { return m_examined; }
    bool codesUnsigned = false;

    // The taken rows in order, each read once.
    class Reader
    {
      public:
        explicit Reader(const GatheredRows& rows) : m_rows(rows) {}
        // The place and CODE of the next taken row; false after the last.
        bool next(std::uint64_t& place, std::int64_t& code);

      private:
        const GatheredRows& m_rows;
        std::size_t m_at = 0;
        std::uint64_t m_place = 0, m_code = 0;
    };

  private:
    void put(std::uint64_t step);

    std::uint64_t m_examined = 0;
    std::uint64_t m_lastPlace = 0, m_lastCode = 0; // of the last taken row (0 before the first)
    std::vector<std::uint8_t> m_steps;             // per taken row: place step, then CODE step
};
// Takes those rows as walkRows would have: the same examined and affected counts, captions and
// batches, with take queueing one row's change.
void replayRows(PassContext& run, PassProgress& progress, const GatheredRows& rows,
                const std::function<void(std::int64_t code)>& take, const std::function<void(bool)>& send);

} // namespace cleanup
