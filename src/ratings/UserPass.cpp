#include "ratings/UserPass.h"

#include "ratings/CodeChunks.h"
#include "ratings/RecountPass.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace
{
struct UserStatistic {
    std::string_view column;
    GroupedValues values; // k is the user's CODE
};

// In the order they are computed. VOTES adds up the vote sums of the user's releases one release
// at a time, each rounded as a sum of its own, negative ones included; only the total must be
// above 0 to be written.
// clang-format off
constexpr std::array kUserStatistics{
    UserStatistic{"DOWNHIM",  {"select USERCODE as k, COUNT(CODE) as v from tbl_stat where USERCODE", " group by USERCODE"}},
    UserStatistic{"LINKS",    {"select WHOADD as k, COUNT(CODE) as v from tbl_base where WHOADD", " group by WHOADD"}},
    UserStatistic{"ALTLINKS", {"select WHOADD as k, COUNT(CODE) as v from tbl_link where WHOADD", " group by WHOADD"}},
    UserStatistic{"PERSONA",  {"select WHOADD as k, COUNT(CODE) as v from tbl_persona where WHOADD", " group by WHOADD"}},
    UserStatistic{"MODERS",   {"select WHOMODER as k, COUNT(CODE) as v from tbl_base where WHOMODER", " group by WHOMODER"}},
    UserStatistic{"DOWNUS",   {"select WHOADD as k, ROUND(SUM(DOWN),4) as v from tbl_link where WHOADD", " group by WHOADD"}},
    UserStatistic{"VOTES",    {"select WHOADD as k, SUM(r) as v from (select b.WHOADD, ROUND(SUM(v.VOTES),4) as r "
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

void runUserPass(db::Connection& conn, SiteWindow& window, const RatingCoefficients& k, Chunking chunking)
{
    window.showTitle(std::string(kTitle));
    conn.execute("update tbl_user set MODERS=0,PERSONA=0,RATINGS=0,VOTES=0,LINKS=0,ALTLINKS=0,DOWNUS=0,DOWNHIM=0");
    const std::string suffix = " - " + std::string(kTitle);

    // The logins are for the captions only; the codes go into the statements as integers.
    const db::Rows users = conn.query("select CODE, LOGIN from tbl_user order by CODE");
    const std::size_t codeColumn = users.column("CODE");
    const std::size_t loginColumn = users.column("LOGIN");
    std::vector<std::int64_t> codes;
    codes.reserve(users.size());
    bool isUnsigned = false;
    for (std::size_t i = 0; i < users.size(); ++i) {
        const db::Whole code = db::parseWhole(users[i].cell(codeColumn).value());
        codes.push_back(code.bits);
        isUnsigned = isUnsigned || code.isUnsigned;
    }
    const CodeChunks list(std::move(codes), isUnsigned);
    const std::string total = std::to_string(list.size());

    std::vector<std::unique_ptr<GroupedSource>> sources;
    for (const UserStatistic& s : kUserStatistics)
        sources.push_back(std::make_unique<GroupedSource>(conn, s.values, "tk_user_" + std::string(s.column)));
    list.walk(
        chunking,
        [&](const std::string& selection) {
            // Each rating reads the statistics just written for its user.
            for (std::size_t i = 0; i < kUserStatistics.size(); ++i)
                conn.execute(sources[i]->update("tbl_user", kUserStatistics[i].column, selection));
            conn.execute(ratingStatement(k, selection));
        },
        [&](std::size_t row) {
            // A NULL login leaves nothing between the two dashes.
            window.showProgress(std::to_string(row + 1) + "/" + total + " - " +
                                users[row].cell(loginColumn).value_or("") + suffix);
        });
}
