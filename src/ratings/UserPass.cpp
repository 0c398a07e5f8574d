#include "ratings/UserPass.h"

#include "ratings/RecountPass.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace
{
struct UserStatistic {
    std::string_view column;
    GroupedValues values;         // k is the user's CODE; none: those of the statistic before
    std::string_view value = "v"; // the grouped column that holds the statistic
};

// One grouping of tbl_link by WHOADD gives both ALTLINKS and DOWNUS. VOTES adds up the vote sums
// of the user's releases one release at a time, each rounded as a sum of its own, negative ones
// included; only the total must be above 0 to be written.
// clang-format off
constexpr std::array kUserStatistics{
    UserStatistic{"DOWNHIM",  {"USERCODE as k, COUNT(CODE) as v from tbl_stat where USERCODE", " group by USERCODE"}},
    UserStatistic{"LINKS",    {"WHOADD as k, COUNT(CODE) as v from tbl_base where WHOADD", " group by WHOADD"}},
    UserStatistic{"ALTLINKS", {"WHOADD as k, COUNT(CODE) as v, ROUND(SUM(DOWN),4) as w from tbl_link where WHOADD",
                               " group by WHOADD"}},
    UserStatistic{"DOWNUS",   {}, "w"},
    UserStatistic{"PERSONA",  {"WHOADD as k, COUNT(CODE) as v from tbl_persona where WHOADD", " group by WHOADD"}},
    UserStatistic{"MODERS",   {"WHOMODER as k, COUNT(CODE) as v from tbl_base where WHOMODER", " group by WHOMODER"}},
    UserStatistic{"VOTES",    {"WHOADD as k, SUM(r) as v from (select b.WHOADD, ROUND(SUM(v.VOTES),4) as r "
                               "from tbl_base b join tbl_votes v on v.BASECODE=b.CODE where b.WHOADD",
                               " group by b.CODE, b.WHOADD) releases group by WHOADD"}},
};
// clang-format on

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
// that is above 0 and otherwise keeps the 0 of the reset, as seven statements of their own would
// leave it, while every user row is written once.
std::string statisticsStatement(const std::vector<std::unique_ptr<GroupedSource>>& sources,
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
        sets += std::string(sets.empty() ? "" : ",") + "t." + column + "=if(" + value + ">0," + value + ",t." + column +
                ")";
    }
    return "update tbl_user t" + joins + " set " + sets + " where t.CODE" + selection;
}
} // namespace

void runUserPass(OperationRunner& runner, db::Connection& conn, const RatingCoefficients& k,
                 const GroupedSource* releaseVotes, const RecountSizes& sizes)
{
    SiteWindow& window = runner.window();
    window.showTitle(std::string(kTitle));
    const std::string suffix = " - " + std::string(kTitle);
    std::string total;
    std::vector<std::unique_ptr<GroupedSource>> sources;
    const std::string fromReleases = "b.WHOADD as k, SUM(r.v) as v from tbl_base b join " +
                                     (releaseVotes ? releaseVotes->table() : "") + " r on r.k=b.CODE where b.WHOADD";
    const GroupedValues votesFromReleases{fromReleases, " group by b.WHOADD"};
    // The reset writes tbl_user only; the total and the statistics read the other tables.
    runner.alongside(
        conn, "update tbl_user set MODERS=0,PERSONA=0,RATINGS=0,VOTES=0,LINKS=0,ALTLINKS=0,DOWNUS=0,DOWNHIM=0", [&] {
            total = std::to_string(readTotal(conn, "select COUNT(CODE) as count1 from tbl_user"));
            for (const UserStatistic& s : kUserStatistics) {
                if (s.values.columns.empty())
                    continue;
                const bool reuse = releaseVotes && s.column == "VOTES";
                sources.push_back(std::make_unique<GroupedSource>(conn, reuse ? votesFromReleases : s.values,
                                                                  "tk_user_" + std::string(s.column)));
            }
        });
    RunLength length(sizes.chunking);
    std::uint64_t counter = 0;
    // The logins are for the captions only; the codes go into the statements as checked whole numbers.
    db::forEachTextPage(conn, {"CODE,LOGIN", "tbl_user", ""}, sizes.pageRows, [&](const db::Rows& users) {
        const std::size_t codeColumn = users.column("CODE");
        const std::size_t loginColumn = users.column("LOGIN");
        walkRuns(
            users.size(),
            [&](std::size_t i) {
                const db::Whole code = db::parseWhole(users[i].cell(codeColumn).value_or(""));
                return db::wholeText(code.bits, code.isUnsigned);
            },
            length,
            [&](const std::string& selection) {
                // Each rating reads the statistics just written for its users.
                conn.execute(statisticsStatement(sources, selection));
                conn.execute(ratingStatement(k, selection));
            },
            [&](std::size_t row) {
                // A NULL login leaves nothing between the two dashes.
                window.showProgress(std::to_string(++counter) + "/" + total + " - " +
                                    users[row].cell(loginColumn).value_or("") + suffix);
            });
    });
}
