#include "cleanup/OrphanPasses.h"

#include "cleanup/PassEngine.h"
#include "cleanup/ScreenshotList.h"

#include <optional>
#include <vector>

namespace cleanup
{
namespace
{
constexpr std::string_view kBaseExists = "select CODE from tbl_base where CODE=";
constexpr std::string_view kUserExists = "select CODE from tbl_user where CODE=";
} // namespace

// clang-format off
const std::array<OrphanPass, 17> kOrphanPasses{{
    {"Удаляем ссылки раздач, которых уже нет",
     "select CODE,BASECODE from tbl_link", {"BASECODE"}, kBaseExists,
     "delete from tbl_link where CODE=", "Удалено ссылок раздач, которых нет: "},
    {"Удаляем статистику скачивания ссылок которых уже нет",
     "select CODE,LINKCODE from tbl_stat", {"LINKCODE"}, "select CODE from tbl_link where CODE=",
     "delete from tbl_stat where CODE=", "Удалено записей скачивания ссылок, которых нет: "},
    {"Удаляем статистику скачивания по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_stat", {"USERCODE"}, kUserExists,
     "delete from tbl_stat where CODE=", "Удалено записей скачивания по пользователям, которых нет: "},
    {"Удаляем статистику голосования по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_votes", {"BASECODE"}, kBaseExists,
     "delete from tbl_votes where CODE=", "Удалено записей голосования по раздачам, которых нет: "},
    {"Удаляем видеоролики по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_tube", {"BASECODE"}, kBaseExists,
     "delete from tbl_tube where CODE=", "Удалено видеороликов по раздачам, которых нет: "},
    {"Удаляем статистику голосования по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_votes", {"USERCODE"}, kUserExists,
     "delete from tbl_votes where CODE=", "Удалено записей голосования по пользователям, которых нет: "},
    {"Удаляем комментарии пользователей которых уже нет",
     "select CODE,WHOADD from tbl_comment", {"WHOADD"}, kUserExists,
     "delete from tbl_comment where CODE=", "Удалено комментариев пользователей, которых нет: "},
    {"Удаляем комментарии по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_comment", {"BASECODE"}, kBaseExists,
     "delete from tbl_comment where CODE=", "Удалено комментариев по раздачам, которых нет: "},
    {"Удаляем из облака тегов по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_tags", {"BASECODE"}, kBaseExists,
     "delete from tbl_tags where CODE=", "Удалено из облака тегов по раздачам, которых нет: "},
    {"Удаляем из наблюдения раздачи которых уже нет",
     "select CODE,BASECODE from tbl_fav", {"BASECODE"}, kBaseExists,
     "delete from tbl_fav where CODE=", "Удалено из наблюдения раздачи, которых нет: "},
    {"Удаляем связки по раздачам которых уже нет",
     "select CODE,FIRSTCODE,SECONDCODE from tbl_cross", {"FIRSTCODE", "SECONDCODE"}, kBaseExists,
     "delete from tbl_cross where CODE=", "Удалено связок по раздачам, которых нет: "},
    {"Удаляем связки с персоналиями по раздачам которых уже нет",
     "select CODE,SECONDCODE from tbl_cross2", {"SECONDCODE"}, kBaseExists,
     "delete from tbl_cross2 where CODE=", "Удалено связок с персоналиями по раздачам, которых нет: "},
    {"Удаляем связки с персоналиями которых уже нет",
     "select CODE,FIRSTCODE from tbl_cross2", {"FIRSTCODE"}, "select CODE from tbl_persona where CODE=",
     "delete from tbl_cross2 where CODE=", "Удалено связок с персоналиями, которых нет: "},
    {"Удаляем скриншоты по раздачам которых уже нет",
     "select CODE,BASECODE,POSTER from tbl_poster where BASECODE>0", {"BASECODE"}, kBaseExists,
     "delete from tbl_poster where CODE=", "Удалено скриншотов по раздачам, которых нет: ", "POSTER"},
    {"Удаляем историю поиска по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_search where USERCODE<>-1", {"USERCODE"}, kUserExists,
     "delete from tbl_search where CODE=", "Удалено записей в истории поиска по пользователям, которых нет: "},
    {"Удаляем раздачи под наблюдением по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_fav where USERCODE<>-1", {"USERCODE"}, kUserExists,
     "delete from tbl_fav where CODE=", "Удалено раздачи под наблюдением по пользователям, которых нет: "},
    {"Удаляем историю заказов по пользователям которых уже нет",
     "select CODE,WHOADD from tbl_wanted where WHOADD<>-1", {"WHOADD"}, kUserExists,
     "delete from tbl_wanted where CODE=", "Удалено записей в историю заказов по пользователям, которых нет: "},
}};
// clang-format on

PassOutcome runOrphanPass(db::Connection& c, SiteWindow& window, const OrphanPass& pass, const std::string& appFolder)
{
    PassProgress progress(window, pass.title);
    // The list is created anew before the rows are read, so a pass that deletes nothing still
    // replaces a list left by an earlier run.
    std::optional<ScreenshotList> list;
    if (!pass.listedColumn.empty())
        list.emplace(appFolder + std::string(kScreenshotListName));

    const db::Rows rows = c.query(pass.rowQuery);
    const std::size_t codeCol = rows.column("CODE");
    std::vector<std::size_t> refCols;
    for (std::string_view ref : pass.references)
        if (!ref.empty())
            refCols.push_back(rows.column(ref));
    const std::size_t listedCol = list ? rows.column(pass.listedColumn) : 0;
    const std::string deleteStatement(pass.deleteStatement);

    progress.walk(rows, [&](const db::Rows::Row& row) {
        bool orphan = false;
        for (std::size_t col : refCols) {
            if (parentMissing(c, pass.existsQuery, row.cell(col))) {
                orphan = true;
                break;
            }
        }
        if (!orphan)
            return;
        progress.countAffected();
        c.execute(deleteStatement + codeText(row.cell(codeCol).value_or("")));
        if (list)
            list->add(row.cell(listedCol));
    });

    PassOutcome outcome{progress.affected(), 0};
    if (list) {
        list->close();
        outcome.listed = list->listed();
    }
    return outcome;
}

} // namespace cleanup
