// The recalculation against an independent computation: random small sites are built twice, the
// tool recounts one copy and plain whole-table GROUP BY statements written here recount the
// other; the two databases must then agree row for row, and the captions must follow from the
// row counts alone.
#include "ratings/RatingRecalc.h"

#include "support/RecordingWindow.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace
{
struct Site {
    std::vector<std::string> inserts;
    std::array<std::string, 5> weights; // RAT_DOWN, RAT_VOTES, RAT_LINKS, RAT_PERSONA, RAT_ALTLINKS as used
    std::vector<std::string> logins;    // in ascending CODE order; "" for NULL
    std::array<std::size_t, 4> rows{};  // users, releases, links, persons
};

// Parents first. Columns: c the row's own code, s a stale counter, n a login, v a vote, and u, b, l,
// p a reference to a user, release, link or person.
struct Table {
    const char* insert;
    const char* columns;
    int maxRows;
};
const Table kTables[] = {
    {"tbl_user (CODE,LOGIN,MODERS,PERSONA,RATINGS,VOTES,LINKS,ALTLINKS,DOWNUS,DOWNHIM)", "cnssssssss", 12},
    {"tbl_base (CODE,DOWN,VOTES,WHOADD,WHOMODER)", "cssuu", 30},
    {"tbl_link (CODE,BASECODE,DOWN,WHOADD)", "cbsu", 45},
    {"tbl_persona (CODE,LINKS,WHOADD)", "csu", 9},
    {"tbl_stat (LINKCODE,USERCODE)", "lu", 150},
    {"tbl_votes (BASECODE,USERCODE,VOTES)", "buv", 70},
    {"tbl_cross2 (FIRSTCODE,SECONDCODE)", "pb", 25},
};

// Codes with gaps, rows inserted in shuffled order; references that are NULL, -1, 0, missing or
// real; whole votes, or eighths in DECIMAL columns when fractions is set.
Site randomSite(unsigned draw, bool noUsers, bool fractions)
{
    std::mt19937 rng(draw);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Site s;
    if (fractions)
        s.inserts = {"alter table tbl_votes modify VOTES DECIMAL(10,3) NOT NULL DEFAULT 0",
                     "alter table tbl_base modify VOTES DECIMAL(12,4) NOT NULL DEFAULT 0"};
    std::array<std::vector<int>, 4> codes;
    const char* names[] = {"Иван", "petr", "Ёжик_01", "anna"};
    for (std::size_t i = 0; i < std::size(kTables); ++i) {
        const int count = i > 0 ? below(kTables[i].maxRows) : noUsers ? 0 : 1 + below(kTables[i].maxRows);
        std::vector<std::string> rows;
        for (int r = 0, code = 1 + below(3); r < count; ++r, code += 1 + below(4)) {
            std::string row;
            for (const char* k = kTables[i].columns; *k; ++k) {
                std::string v;
                const int pick = below(8);
                if (*k == 'c') {
                    codes[i].push_back(code);
                    v = std::to_string(code);
                } else if (*k == 's') {
                    v = std::to_string(pick);
                } else if (*k == 'v') {
                    v = std::to_string(below(11) - 4) + (fractions ? "/8" : "");
                } else if (*k == 'n') {
                    s.logins.push_back(pick < 6 ? names[pick % 4] : "");
                    v = pick < 6 ? "'" + std::string(names[pick % 4]) + "'" : "NULL";
                } else {
                    const auto& parents = codes[std::string_view("ublp").find(*k)];
                    const char* fixed[] = {"NULL", "-1", "0"};
                    v = pick < 3 ? fixed[pick]
                        : pick == 3 || parents.empty()
                            ? std::to_string(500 + below(5)) // no such row
                            : std::to_string(parents[below(static_cast<int>(parents.size()))]);
                }
                row += (row.empty() ? "(" : ",") + v;
            }
            rows.push_back(row + ")");
        }
        std::shuffle(rows.begin(), rows.end(), rng);
        for (const auto& r : rows)
            s.inserts.push_back("insert into " + std::string(kTables[i].insert) + " values " + r);
        if (i < 4)
            s.rows[i] = rows.size();
    }
    // Each weight as VALUESTR, or NULL with a VALUEINT to write back, or empty (weighs 0).
    const char* params[] = {"RAT_DOWN", "RAT_VOTES", "RAT_LINKS", "RAT_PERSONA", "RAT_ALTLINKS"};
    const char* texts[] = {"1", "0.5", "-1", "2", "0.25", "1.5", ""};
    for (int i = 0; i < 5; ++i) {
        const int pick = below(9);
        const std::string text = pick < 7 ? texts[pick] : "";
        s.weights[i] = pick >= 7 ? std::to_string(below(4)) : text.empty() ? "0" : text;
        s.inserts.push_back(std::string("insert into tbl_conf (PARAM,VALUEINT,VALUESTR) values ('") + params[i] +
                            (pick >= 7 ? "'," + s.weights[i] + ",NULL)" : "',9,'" + text + "')"));
    }
    return s;
}

// The whole job as whole-table statements: resets, then the grouped values of the rows that have
// one above 0, pass by pass; the weights go into the rating as literal numbers.
void recountBySets(TestDatabase& t, const Site& s)
{
    t.exec("update tbl_conf set VALUESTR=VALUEINT where VALUESTR is null");
    t.exec("update tbl_link set DOWN=0");
    t.exec("update tbl_link l join (select LINKCODE c, count(*) n from tbl_stat group by LINKCODE) x "
           "on x.c=l.CODE set l.DOWN=x.n");
    t.exec("update tbl_base set DOWN=0, VOTES=0");
    t.exec("update tbl_base b join (select BASECODE c, sum(DOWN) n from tbl_link group by BASECODE) x "
           "on x.c=b.CODE set b.DOWN=x.n where x.n>0");
    t.exec("update tbl_base b join (select BASECODE c, sum(VOTES) n from tbl_votes group by BASECODE) x "
           "on x.c=b.CODE set b.VOTES=x.n where x.n>0");
    t.exec("update tbl_persona set LINKS=0");
    t.exec("update tbl_persona p join (select FIRSTCODE c, count(*) n from tbl_cross2 group by FIRSTCODE) x "
           "on x.c=p.CODE set p.LINKS=x.n");
    t.exec("update tbl_user u set "
           "DOWNHIM=(select count(*) from tbl_stat where USERCODE=u.CODE),"
           "LINKS=(select count(*) from tbl_base where WHOADD=u.CODE),"
           "ALTLINKS=(select count(*) from tbl_link where WHOADD=u.CODE),"
           "PERSONA=(select count(*) from tbl_persona where WHOADD=u.CODE),"
           "MODERS=(select count(*) from tbl_base where WHOMODER=u.CODE),"
           "DOWNUS=(select ifnull(sum(DOWN),0) from tbl_link where WHOADD=u.CODE),"
           "VOTES=greatest(0,(select ifnull(sum(v.VOTES),0) from tbl_votes v join tbl_base b on b.CODE=v.BASECODE "
           "where b.WHOADD=u.CODE))");
    const auto& k = s.weights;
    t.exec("update tbl_user set RATINGS=(VOTES*" + k[1] + "+PERSONA*" + k[3] + "+LINKS*" + k[2] + "+ALTLINKS*" + k[4] +
           "+DOWNUS*" + k[0] + "-DOWNHIM*" + k[0] + ")");
}

// What each pass writes, by its title.
const std::tuple<const char*, const char*, const char*> kWritten[] = {
    {"Пересчитываем скачивание ссылок", "tbl_link", "DOWN"},
    {"Пересчитываем скачивание раздач", "tbl_base", "DOWN"},
    {"Пересчитываем голоса за раздачи", "tbl_base", "VOTES"},
    {"Пересчитываем связки персоналий", "tbl_persona", "LINKS"},
    {"Обновляем рейтинг по пользователям", "tbl_user",
     "concat_ws(',',MODERS,PERSONA,RATINGS,VOTES,LINKS,ALTLINKS,DOWNUS,DOWNHIM)"},
};

std::vector<std::string> expectedCaptions(const Site& s, const std::string& saved)
{
    std::vector<std::string> out{"Получаем размер рейтинг-балов"};
    auto pass = [&](const std::string& title, std::size_t total, std::size_t every) {
        out.push_back(title);
        for (std::size_t n = every; n <= total; n += every)
            out.push_back(std::to_string(n) + "/" + std::to_string(total) + " - " + title);
    };
    pass("Пересчитываем скачивание ссылок", s.rows[2], 5);
    pass("Пересчитываем скачивание раздач", s.rows[1], 25);
    pass("Пересчитываем голоса за раздачи", s.rows[1], 25);
    pass("Пересчитываем связки персоналий", s.rows[3], 25);
    out.push_back("Обновляем рейтинг по пользователям");
    for (std::size_t i = 0; i < s.logins.size(); ++i)
        out.push_back(std::to_string(i + 1) + "/" + std::to_string(s.logins.size()) + " - " + s.logins[i] +
                      " - Обновляем рейтинг по пользователям");
    out.push_back(saved);
    return out;
}

// Every row of the tables the recalculation writes, NULLs visible.
std::vector<std::string> snapshot(TestDatabase& t)
{
    std::vector<std::string> rows;
    for (const char* sql :
         {"select concat_ws('|',CODE,DOWN,VOTES) from tbl_base order by CODE",
          "select concat_ws('|',CODE,DOWN,ifnull(BASECODE,'-'),ifnull(WHOADD,'-')) from tbl_link order by CODE",
          "select concat_ws('|',CODE,LINKS) from tbl_persona order by CODE",
          "select concat_ws('|',CODE,ifnull(LOGIN,'-'),MODERS,PERSONA,RATINGS,VOTES,LINKS,ALTLINKS,DOWNUS,DOWNHIM) "
          "from tbl_user order by CODE",
          "select concat_ws('|',PARAM,ifnull(VALUEINT,'-'),ifnull(VALUESTR,'-')) from tbl_conf order by PARAM"})
        for (auto& r : t.column(sql))
            rows.push_back(std::move(r));
    for (const char* table : {"tbl_stat", "tbl_votes", "tbl_cross2"})
        rows.push_back(table + std::string(" ") +
                       t.conn().query(std::string("checksum table ") + table).front().text("Checksum").value_or("?"));
    return rows;
}
} // namespace

TEST(RatingDifferential, RandomSitesAgreeWithWholeTableStatements)
{
    TK_REQUIRE_TEST_SERVER();
    const std::string saved(kProductCaption);
    struct Case {
        unsigned draw;
        std::size_t chunkRows, pageRows; // runs end at page ends too
        bool noUsers, fractions;
        // A hosting account: one session at a time, no temporary tables, so every grouping runs in
        // turn and every run groups its own rows.
        bool restricted = false;
    };
    const Case cases[] = {{1, 1, 1, false, false},       {2, 3, 4, false, true},        {3, 7, 5, false, false},
                          {4, 2000, 2000, false, true},  {5, 4, 3, false, false, true}, {6, 2, 1, true, false},
                          {7, 5, 11, false, true, true}, {8, 25, 10, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("draw " + std::to_string(c.draw) + ", runs of " + std::to_string(c.chunkRows) + ", pages of " +
                     std::to_string(c.pageRows));
        const Site site = randomSite(c.draw, c.noUsers, c.fractions);
        TestDatabase tool("rat_diff_tool");
        TestDatabase reference("rat_diff_ref");
        for (const auto& sql : site.inserts) {
            tool.exec(sql);
            reference.exec(sql);
        }
        if (c.draw % 2 == 0)
            tool.dropSecondaryIndexes(); // the tool must not depend on them
        recountBySets(reference, site);
        const ConnectionFields fields =
            c.restricted ? tool.account("tk_one", {"select, update on {db}.*"}, "with max_user_connections 1")
                         : tool.fields();
        RecordingWindow w(fields, saved);
        // A progress caption never runs ahead of the database: when "n/total - ..." shows, the pass's
        // first n rows (ascending CODE) already hold their final values.
        w.onProcessEvents = [&] {
            const std::string& caption = w.caption();
            for (const auto& [title, table, value] : kWritten) {
                if (!caption.ends_with(std::string(" - ") + title))
                    continue;
                const std::string sql = std::string("select ") + value + " from " + table + " order by CODE limit " +
                                        caption.substr(0, caption.find('/'));
                EXPECT_EQ(tool.column(sql), reference.column(sql)) << caption;
            }
        };
        OperationRunner runner(w);
        ASSERT_EQ(recalculateRatings(runner, RecountSizes{Chunking{c.chunkRows}, c.pageRows}).status, RunStatus::Done)
            << (w.messages.empty() ? "" : w.messages[0].text);

        EXPECT_EQ(snapshot(tool), snapshot(reference));
        EXPECT_EQ(w.captions, expectedCaptions(site, saved));
        // Events run after every caption but the saved one, which the window's show follows.
        EXPECT_EQ(w.processed + 1, static_cast<int>(w.captions.size()));
        EXPECT_EQ(w.events.back(), "message:Рейтинги пересчитаны");
    }
}
