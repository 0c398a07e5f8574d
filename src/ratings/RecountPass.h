#pragma once
// The site's four denormalised counters, recounted from the rows they summarise. Every pass has
// the same shape and differs only in its texts and how often it refreshes the caption.
#include "db/Connection.h"
#include "db/KeyPages.h"
#include "ops/OperationRunner.h"
#include "ops/SiteWindow.h"
#include "ratings/CodeRuns.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A grouped query giving k (a record code) and v (its new value) for the codes of one run of rows:
// "select ", columns (up to the grouped code column), the run's selection (see CodeRuns) and
// suffix, joined. Sums are rounded to four decimals on the server, so a fractional sum lands in the
// counter exactly as its four-decimal text would; counts and whole sums stay whole.
struct GroupedValues {
    std::string_view columns;
    std::string_view suffix;
};

struct RecountPass {
    std::string_view title;     // the caption when the pass starts; " - " + title ends its progress captions
    std::string_view totalSql;  // the number of rows, for the captions
    std::string_view table;     // the table whose counter is recounted
    std::string_view column;    // the counter
    GroupedValues values;       // the new value of every row that has one above 0; the others get 0
    std::uint64_t refreshEvery; // the caption shows the progress after every N-th row
};

// In running order: release downloads sum the link downloads written by the first pass.
// clang-format off
inline constexpr std::array kRecountPasses{
    RecountPass{"Пересчитываем скачивание ссылок",
                "select COUNT(CODE) as count1 from tbl_link",
                "tbl_link", "DOWN",
                {"LINKCODE as k, COUNT(CODE) as v from tbl_stat where LINKCODE", " group by LINKCODE"}, 5},
    RecountPass{"Пересчитываем скачивание раздач",
                "select COUNT(CODE) as count1 from tbl_base",
                "tbl_base", "DOWN",
                {"BASECODE as k, ROUND(SUM(DOWN),4) as v from tbl_link where BASECODE", " group by BASECODE"}, 25},
    RecountPass{"Пересчитываем голоса за раздачи",
                "select COUNT(CODE) as count1 from tbl_base",
                "tbl_base", "VOTES",
                {"BASECODE as k, ROUND(SUM(VOTES),4) as v from tbl_votes where BASECODE", " group by BASECODE"}, 25},
    RecountPass{"Пересчитываем связки персоналий",
                "select COUNT(CODE) as count1 from tbl_persona",
                "tbl_persona", "LINKS",
                {"FIRSTCODE as k, COUNT(CODE) as v from tbl_cross2 where FIRSTCODE", " group by FIRSTCODE"}, 25},
};
// clang-format on

// The two passes that recount a release's counters, downloads then vote sums.
inline constexpr std::size_t kReleaseDownloadsPass = 1;
inline constexpr std::size_t kReleaseVotesPass = 2;

// Where the grouped values of a run come from. Computed once for the whole table into a temporary
// table keyed by k, they cost one scan of the summarised table, or of an index that holds every
// column they need (a run that grouped its own rows through an index would fetch each of them by its
// primary key, and without an index would scan the table once per run), and each run then joins on
// that key. Where the account may not create temporary tables, each run groups its own rows. Either
// way a run gets the very values its rows' own grouped query gives.
class GroupedSource
{
  public:
    // inMemory: the MEMORY engine is tried first. A Galera node that bounds the rows of a write set
    // refuses an update that joins a MEMORY table ("Galera replication not supported").
    GroupedSource(db::Connection& conn, const GroupedValues& values, std::string name, bool inMemory = true);
    ~GroupedSource();
    GroupedSource(const GroupedSource&) = delete;
    GroupedSource& operator=(const GroupedSource&) = delete;

    // The temporary table, or empty where each run groups its own rows.
    const std::string& table() const { return m_table; }
    // What to join for the run a selection names: the temporary table, or the run's grouped query.
    std::string source(const std::string& selection) const;

  private:
    db::Connection& m_conn;
    const GroupedValues& m_values;
    std::string m_table; // the temporary table, or empty
};

// A counter a write sets, and its grouped values.
struct Counter {
    std::string_view column;
    const GroupedSource& values;
};

// The statement that writes the final value of every counter given into each row of the run a
// selection names: its grouped value where that is above 0, else 0. Each row is written once, in one
// statement, so the server changes (and logs) only the rows whose counters were wrong. The selection
// is repeated for the updated table, so that the server reads only the run's rows of it.
std::string counterUpdate(std::string_view table, const std::vector<Counter>& counters, const std::string& selection);

// The grouped values are kept in memory where the server lets a session table grow to this size,
// else on disk; on disk always on a Galera node that bounds the rows of a write set.
inline bool groupedInMemory(const ServerFacts& server)
{
    return !server.galera || server.maxWriteSetRows == 0;
}
inline constexpr std::uint64_t kGroupedInMemoryBytes = 256ull << 20;

// How a recount walks its tables: rows per statement, and rows per page of a row list.
struct RecountSizes {
    Chunking chunking{kChunkRows, kStatementTarget};
    std::size_t pageRows = db::kPageRows;
};

// The total of a pass's captions: the count its query gives, 0 for NULL.
std::uint64_t readTotal(db::Connection& conn, std::string_view totalSql);

// Runs one pass on the connection, in runs of rows per statement, showing its progress in the
// window's caption after the rows it names are done. beside is called when the pass starts, every
// earlier pass done, to queue work on the second session.
void runRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass, const RecountSizes& sizes,
                    const std::function<void()>& beside = {});

// The steps of runRecountPass, for a pass whose grouped values may be made elsewhere. The start
// shows the pass's caption, calls beside and gives the total for the progress captions; the grouping
// makes the pass's temporary table on conn ("tk_recount_" + table + "_" + column), for the write and
// for anything later on conn that sums them again; the write walks the table on conn, where the
// counters' values can be read, and sets them in every row: the pass's own counter and any other of
// the same table grouped there, or none where an earlier pass has written this one's counter with its
// own, and the captions follow the rows that are done already.
std::string startRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass,
                             const std::function<void()>& beside);
std::unique_ptr<GroupedSource> groupRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass);
void writeRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass,
                      const std::vector<Counter>& counters, const std::string& total, const RecountSizes& sizes);
