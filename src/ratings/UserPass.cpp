#include "ratings/UserPass.h"

#include "ratings/RecountPass.h"

#include <array>
#include <string_view>

namespace
{
struct UserStatistic {
    std::string_view valueSql;  // the user's CODE is appended; count1 is the value, NULL meaning 0
    std::string_view updateSql; // value, " where CODE=" and the user's CODE are appended
};

// In the order they are computed. VOTES is summed separately, release by release.
// clang-format off
constexpr std::array kUserStatistics{
    UserStatistic{"select COUNT(CODE) as count1 from tbl_stat where USERCODE=",   "update tbl_user set DOWNHIM="},
    UserStatistic{"select COUNT(CODE) as count1 from tbl_base where WHOADD=",     "update tbl_user set LINKS="},
    UserStatistic{"select COUNT(CODE) as count1 from tbl_link where WHOADD=",     "update tbl_user set ALTLINKS="},
    UserStatistic{"select COUNT(CODE) as count1 from tbl_persona where WHOADD=",  "update tbl_user set PERSONA="},
    UserStatistic{"select COUNT(CODE) as count1 from tbl_base where WHOMODER=",   "update tbl_user set MODERS="},
    UserStatistic{"select SUM(DOWN) as count1 from tbl_link where WHOADD=",       "update tbl_user set DOWNUS="},
};
// clang-format on

constexpr std::string_view kTitle = "Обновляем рейтинг по пользователям";

void updateIfPositive(db::Connection& conn, std::string_view updateSql, Fixed4 value, const std::string& code)
{
    if (value.isPositive())
        conn.execute(std::string(updateSql) + value.toString() + " where CODE=" + code);
}

// The votes cast for the user's releases, taken from tbl_votes release by release; a release
// whose votes add up to less than 0 lowers the sum.
Fixed4 voteSum(db::Connection& conn, const std::string& userCode)
{
    Fixed4 sum;
    const db::Rows releases = conn.query("select CODE from tbl_base where WHOADD=" + userCode);
    const std::size_t codeColumn = releases.column("CODE");
    for (std::size_t i = 0; i < releases.size(); ++i)
        sum += aggregateValue(conn, "select SUM(VOTES) as count1 from tbl_votes where BASECODE=" +
                                        releases[i].cell(codeColumn).value());
    return sum;
}
} // namespace

std::string ratingStatement(const RatingCoefficients& k, const std::string& userCode)
{
    return "update tbl_user set RATINGS=(VOTES*" + k.votes + "+PERSONA*" + k.persona + "+LINKS*" + k.links +
           "+ALTLINKS*" + k.altLinks + "+DOWNUS*" + k.down + "-DOWNHIM*" + k.down + ") where CODE=" + userCode;
}

void runUserPass(db::Connection& conn, SiteWindow& window, const RatingCoefficients& k)
{
    showProgress(window, std::string(kTitle));
    conn.execute("update tbl_user set MODERS=0,PERSONA=0,RATINGS=0,VOTES=0,LINKS=0,ALTLINKS=0,DOWNUS=0,DOWNHIM=0");
    const std::string total = std::to_string(aggregateTotal(conn, "select COUNT(CODE) as count1 from tbl_user"));
    const std::string suffix = " - " + std::string(kTitle);

    const db::Rows users = conn.query("select * from tbl_user order by CODE");
    const std::size_t codeColumn = users.column("CODE");
    const std::size_t loginColumn = users.column("LOGIN");
    std::uint64_t counter = 0;
    for (std::size_t i = 0; i < users.size(); ++i) {
        ++counter;
        const std::string& code = users[i].cell(codeColumn).value();
        // A NULL login leaves nothing between the two dashes.
        showProgress(window,
                     std::to_string(counter) + "/" + total + " - " + users[i].cell(loginColumn).value_or("") + suffix);
        for (const UserStatistic& s : kUserStatistics)
            updateIfPositive(conn, s.updateSql, aggregateValue(conn, std::string(s.valueSql) + code), code);
        updateIfPositive(conn, "update tbl_user set VOTES=", voteSum(conn, code), code);
        conn.execute(ratingStatement(k, code));
    }
}
