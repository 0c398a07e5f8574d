#pragma once
// The site's four denormalised counters, recounted from the rows they summarise. Every pass has
// the same shape and differs only in its texts and how often it refreshes the caption.
#include "common/SiteWindow.h"
#include "db/Connection.h"
#include "ratings/Fixed4.h"

#include <array>
#include <cstdint>
#include <string_view>

struct RecountPass {
    std::string_view title;       // the caption when the pass starts; " - " + title ends its progress captions
    std::string_view resetSql;    // sets the counter to 0 in every row
    std::string_view totalSql;    // count1: the number shown after the '/' of the caption
    std::string_view rowsSql;     // CODE of every row to recount
    std::string_view rowValueSql; // the row's CODE is appended; count1 is its new value, NULL meaning 0
    std::string_view updateSql;   // value, " where CODE=" and the row's CODE are appended
    std::uint64_t refreshEvery;   // the caption shows the progress after every N-th row
};

// In running order: release downloads sum the link downloads written by the first pass.
// clang-format off
inline constexpr std::array kRecountPasses{
    RecountPass{"Пересчитываем скачивание ссылок",
                "update tbl_link set DOWN=0",
                "select COUNT(CODE) as count1 from tbl_link",
                "select CODE from tbl_link",
                "select COUNT(CODE) as count1 from tbl_stat where LINKCODE=",
                "update tbl_link set DOWN=", 5},
    RecountPass{"Пересчитываем скачивание раздач",
                "update tbl_base set DOWN=0",
                "select COUNT(CODE) as count1 from tbl_base",
                "select CODE from tbl_base",
                "select SUM(DOWN) as count1 from tbl_link where BASECODE=",
                "update tbl_base set DOWN=", 25},
    RecountPass{"Пересчитываем голоса за раздачи",
                "update tbl_base set VOTES=0",
                "select COUNT(CODE) as count1 from tbl_base",
                "select CODE from tbl_base",
                "select SUM(VOTES) as count1 from tbl_votes where BASECODE=",
                "update tbl_base set VOTES=", 25},
    RecountPass{"Пересчитываем связки персоналий",
                "update tbl_persona set LINKS=0",
                "select COUNT(CODE) as count1 from tbl_persona",
                "select CODE from tbl_persona",
                "select COUNT(CODE) as count1 from tbl_cross2 where FIRSTCODE=",
                "update tbl_persona set LINKS=", 25},
};
// clang-format on

// Runs one pass on the connection, showing its progress in the window's caption. Only rows whose
// new value is above 0 are updated; the reset has already set the others.
void runRecountPass(db::Connection& conn, SiteWindow& window, const RecountPass& pass);

// count1 of a single-row aggregate; NULL (a SUM over no rows) is 0.
Fixed4 aggregateValue(db::Connection& conn, const std::string& sql);
// count1 of a COUNT query as a whole number; NULL is 0.
std::int64_t aggregateTotal(db::Connection& conn, std::string_view sql);
