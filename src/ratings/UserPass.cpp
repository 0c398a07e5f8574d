#include "ratings/UserPass.h"

#include "ratings/RecountPass.h"

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace
{
struct UserStatistic {
    std::string_view column;
    GroupedValues values;         // k is the user's CODE; none: those of the statistic before
    std::string_view value = "v"; // the grouped column that holds the statistic
    // On a second session it is grouped when the counter pass with this index starts: that pass
    // writes nothing it reads, and the value columns it reads are final by then.
    std::size_t at = 0;
};

// One grouping of tbl_link by WHOADD gives both ALTLINKS and DOWNUS. VOTES adds up the vote sums
// of the user's releases one release at a time, each rounded as a sum of its own, negative ones
// included; only the total must be above 0 to be written.
// clang-format off
constexpr std::array kUserStatistics{
    UserStatistic{"DOWNHIM",  {"USERCODE as k, COUNT(CODE) as v from tbl_stat where USERCODE", " group by USERCODE"}},
    UserStatistic{"LINKS",    {"WHOADD as k, COUNT(CODE) as v from tbl_base where WHOADD", " group by WHOADD"}},
    UserStatistic{"ALTLINKS", {"WHOADD as k, COUNT(CODE) as v, ROUND(SUM(DOWN),4) as w from tbl_link where WHOADD",
                               " group by WHOADD"}, "v", 3},
    UserStatistic{"DOWNUS",   {}, "w"},
    UserStatistic{"PERSONA",  {"WHOADD as k, COUNT(CODE) as v from tbl_persona where WHOADD", " group by WHOADD"}},
    UserStatistic{"MODERS",   {"WHOMODER as k, COUNT(CODE) as v from tbl_base where WHOMODER", " group by WHOMODER"}},
    UserStatistic{"VOTES",    {"WHOADD as k, SUM(r) as v from (select b.WHOADD, ROUND(SUM(v.VOTES),4) as r "
                               "from tbl_base b join tbl_votes v on v.BASECODE=b.CODE where b.WHOADD",
                               " group by b.CODE, b.WHOADD) releases group by WHOADD"}, "v", 3},
};
// clang-format on
static_assert(std::ranges::count_if(kUserStatistics, [](const UserStatistic& s) {
                  return !s.values.columns.empty();
              }) == UserStatistics::kGrouped);

// On a second session the release vote sums are grouped first, when the first pass starts (the votes
// are written by no pass): the release downloads pass then writes both counters of a release from
// there, and VOTES adds them up.
constexpr std::size_t kReleaseVotesAt = 0;

constexpr std::string_view kTitle = "Обновляем рейтинг по пользователям";
} // namespace

std::string ratingStatement(const RatingCoefficients& k, const std::string& selection)
{
    return "update tbl_user set RATINGS=(VOTES*" + k.votes + "+PERSONA*" + k.persona + "+LINKS*" + k.links +
           "+ALTLINKS*" + k.altLinks + "+DOWNUS*" + k.down + "-DOWNHIM*" + k.down + ") where CODE" + selection;
}

namespace
{
// One statement writes all seven statistics of a run of users: each column takes its value where
// that is above 0 and 0 otherwise, so every user row is written once, and only where a statistic
// changes.
std::string statisticsStatement(const std::array<std::unique_ptr<GroupedSource>, UserStatistics::kGrouped>& sources,
                                const std::string& selection)
{
    std::string joins, sets, s;
    std::size_t source = 0;
    for (const UserStatistic& statistic : kUserStatistics) {
        if (!statistic.values.columns.empty()) {
            s = "s" + std::to_string(source);
            joins += " left join " + sources[source++]->source(selection) + " " + s + " on " + s + ".k=t.CODE";
        }
        const std::string column(statistic.column), value = s + "." + std::string(statistic.value);
        sets += std::string(sets.empty() ? "" : ",") + "t." + column + "=if(" + value + ">0," + value + ",0)";
    }
    return "update tbl_user t" + joins + " set " + sets + " where t.CODE" + selection;
}

const UserStatistic& grouped(std::size_t statistic)
{
    std::size_t n = 0;
    for (const UserStatistic& s : kUserStatistics)
        if (!s.values.columns.empty() && n++ == statistic)
            return s;
    throw std::out_of_range("no such user statistic");
}
} // namespace

void UserStatistics::group(db::Connection& conn, std::size_t statistic, const GroupedSource* releaseVotes)
{
    const UserStatistic& s = grouped(statistic);
    const GroupedValues* values = &s.values;
    if (s.column == "VOTES" && releaseVotes && !releaseVotes->table().empty()) {
        m_votesFrom = "b.WHOADD as k, SUM(r.v) as v from tbl_base b join " + releaseVotes->table() +
                      " r on r.k=b.CODE where b.WHOADD";
        m_votesFromReleases = {m_votesFrom, " group by b.WHOADD"};
        values = &m_votesFromReleases;
    }
    m_sources[statistic] = std::make_unique<GroupedSource>(conn, *values, "tk_user_" + std::string(s.column),
                                                           groupedInMemory(m_runner.server()));
}

void UserStatistics::prepareAt(std::size_t pass)
{
    if (pass == 0)
        m_side.queue([](db::Connection& side) {
            // Only where the grouped values are kept: failing, they go to disk.
            side.execute("SET SESSION max_heap_table_size=" + std::to_string(kGroupedInMemoryBytes));
        });
    if (pass == kReleaseVotesAt)
        m_releaseVotesJob = m_side.queue([this](db::Connection& side) {
            m_releaseVotes = groupRecountPass(m_runner, side, kRecountPasses[kReleaseVotesPass]);
        });
    for (std::size_t i = 0; i < kGrouped; ++i)
        if (grouped(i).at == pass)
            m_ready[i] = m_side.queue([this, i](db::Connection& side) { group(side, i, m_releaseVotes.get()); });
}

std::optional<UserStatistics::MadeAhead> UserStatistics::releaseVotes()
{
    if (!m_releaseVotesJob)
        return std::nullopt;
    try {
        m_side.wait(*m_releaseVotesJob);
    } catch (const db::DbError&) {
        return std::nullopt; // kept for meetReleaseVotesError
    }
    db::Connection& side = m_side.here();
    return MadeAhead{side, *m_releaseVotes};
}

void UserStatistics::meetReleaseVotesError()
{
    if (m_releaseVotesJob)
        m_side.wait(*m_releaseVotesJob);
}

void UserStatistics::write(db::Connection& conn, const RatingCoefficients& k, const GroupedSource* releaseVotes,
                           const RecountSizes& sizes)
{
    OperationRunner& runner = m_runner;
    SiteWindow& window = runner.window();
    window.showTitle(std::string(kTitle));
    const std::string suffix = " - " + std::string(kTitle);
    // The second session took every grouping or none.
    const bool prepared = m_ready.front().has_value();
    const std::string total = std::to_string(readTotal(conn, "select COUNT(CODE) as count1 from tbl_user"));
    if (prepared) {
        // An error of a grouping made ahead is met where grouping in turn would have met it.
        for (const auto& ready : m_ready)
            m_side.wait(*ready);
    } else {
        for (std::size_t i = 0; i < kGrouped; ++i)
            group(conn, i, releaseVotes);
    }
    // The users are written where their statistics are.
    db::Connection& users = prepared ? m_side.here() : conn;
    RunLength length(sizes.chunking, runner.rowsPerStatement(kMaxChunkRows));
    std::uint64_t counter = 0;
    // The logins are for the captions only; the codes go into the statements as checked whole numbers.
    db::forEachTextPage(users, {"CODE,LOGIN", "tbl_user", ""}, sizes.pageRows, [&](const db::Rows& page) {
        const std::size_t codeColumn = page.column("CODE");
        const std::size_t loginColumn = page.column("LOGIN");
        walkRuns(
            page.size(),
            [&](std::size_t i) {
                const db::Whole code = db::parseWhole(page[i].cell(codeColumn).value_or(""));
                return db::wholeText(code.bits, code.isUnsigned);
            },
            length,
            [&](const std::string& selection) {
                // Each rating reads the statistics just written for its users.
                runner.beforeBatch();
                users.execute(statisticsStatement(m_sources, selection));
                users.execute(ratingStatement(k, selection));
            },
            [&](std::size_t row) {
                // A NULL login leaves nothing between the two dashes.
                window.showProgress(std::to_string(++counter) + "/" + total + " - " +
                                    page[row].cell(loginColumn).value_or("") + suffix);
            });
    });
}
