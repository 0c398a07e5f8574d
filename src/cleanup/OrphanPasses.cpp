#include "cleanup/OrphanPasses.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/ScreenshotList.h"
#include "cleanup/SentChanges.h"

#include <map>

#include <optional>
#include <vector>

namespace cleanup
{

// clang-format off
const std::array<OrphanPass, 17> kOrphanPasses{{
    {"Удаляем ссылки раздач, которых уже нет",
     "select CODE,BASECODE from tbl_link", "tbl_link", {"BASECODE"}, "tbl_base",
     "Удалено ссылок раздач, которых нет: "},
    {"Удаляем статистику скачивания ссылок которых уже нет",
     "select CODE,LINKCODE from tbl_stat", "tbl_stat", {"LINKCODE"}, "tbl_link",
     "Удалено записей скачивания ссылок, которых нет: "},
    {"Удаляем статистику скачивания по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_stat", "tbl_stat", {"USERCODE"}, "tbl_user",
     "Удалено записей скачивания по пользователям, которых нет: "},
    {"Удаляем статистику голосования по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_votes", "tbl_votes", {"BASECODE"}, "tbl_base",
     "Удалено записей голосования по раздачам, которых нет: "},
    {"Удаляем видеоролики по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_tube", "tbl_tube", {"BASECODE"}, "tbl_base",
     "Удалено видеороликов по раздачам, которых нет: "},
    {"Удаляем статистику голосования по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_votes", "tbl_votes", {"USERCODE"}, "tbl_user",
     "Удалено записей голосования по пользователям, которых нет: "},
    {"Удаляем комментарии пользователей которых уже нет",
     "select CODE,WHOADD from tbl_comment", "tbl_comment", {"WHOADD"}, "tbl_user",
     "Удалено комментариев пользователей, которых нет: "},
    {"Удаляем комментарии по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_comment", "tbl_comment", {"BASECODE"}, "tbl_base",
     "Удалено комментариев по раздачам, которых нет: "},
    {"Удаляем из облака тегов по раздачам которых уже нет",
     "select CODE,BASECODE from tbl_tags", "tbl_tags", {"BASECODE"}, "tbl_base",
     "Удалено из облака тегов по раздачам, которых нет: "},
    {"Удаляем из наблюдения раздачи которых уже нет",
     "select CODE,BASECODE from tbl_fav", "tbl_fav", {"BASECODE"}, "tbl_base",
     "Удалено из наблюдения раздачи, которых нет: "},
    {"Удаляем связки по раздачам которых уже нет",
     "select CODE,FIRSTCODE,SECONDCODE from tbl_cross", "tbl_cross", {"FIRSTCODE", "SECONDCODE"}, "tbl_base",
     "Удалено связок по раздачам, которых нет: "},
    {"Удаляем связки с персоналиями по раздачам которых уже нет",
     "select CODE,SECONDCODE from tbl_cross2", "tbl_cross2", {"SECONDCODE"}, "tbl_base",
     "Удалено связок с персоналиями по раздачам, которых нет: "},
    {"Удаляем связки с персоналиями которых уже нет",
     "select CODE,FIRSTCODE from tbl_cross2", "tbl_cross2", {"FIRSTCODE"}, "tbl_persona",
     "Удалено связок с персоналиями, которых нет: "},
    {"Удаляем скриншоты по раздачам которых уже нет",
     "select CODE,BASECODE,POSTER from tbl_poster where BASECODE>0", "tbl_poster", {"BASECODE"}, "tbl_base",
     "Удалено скриншотов по раздачам, которых нет: ", "POSTER"},
    {"Удаляем историю поиска по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_search where USERCODE<>-1", "tbl_search", {"USERCODE"}, "tbl_user",
     "Удалено записей в истории поиска по пользователям, которых нет: "},
    {"Удаляем раздачи под наблюдением по пользователям которых уже нет",
     "select CODE,USERCODE from tbl_fav where USERCODE<>-1", "tbl_fav", {"USERCODE"}, "tbl_user",
     "Удалено раздачи под наблюдением по пользователям, которых нет: "},
    {"Удаляем историю заказов по пользователям которых уже нет",
     "select CODE,WHOADD from tbl_wanted where WHOADD<>-1", "tbl_wanted", {"WHOADD"}, "tbl_user",
     "Удалено записей в историю заказов по пользователям, которых нет: "},
}};
// clang-format on

namespace
{
// A pass's row list, its whole-number columns kept compactly. The screenshot pass's query also
// names the file name column; it is read with the rest (the query stays as it is, and so does its
// order) but left out: the exact names are read as the rows go.
db::IntRows readRowList(db::Connection& c, const OrphanPass& pass)
{
    if (pass.listedColumn.empty())
        return c.queryInts(pass.rowQuery);
    const db::Rows rows = c.query(pass.rowQuery);
    const std::size_t listedCol = rows.column(pass.listedColumn);
    std::vector<std::string> names;
    std::vector<std::size_t> numberCols;
    for (std::size_t k = 0; k < rows.columns().size(); ++k) {
        if (k != listedCol) {
            names.push_back(rows.columns()[k]);
            numberCols.push_back(k);
        }
    }
    std::vector<std::int64_t> values;
    std::vector<bool> nulls, unsignedColumns(numberCols.size(), false);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t j = 0; j < numberCols.size(); ++j) {
            const auto& cell = rows[i].cell(numberCols[j]);
            const db::Whole v = cell ? db::parseWhole(*cell) : db::Whole{};
            values.push_back(v.bits);
            nulls.push_back(!cell);
            // A value past the signed range shows the column is unsigned; below it the two agree.
            unsignedColumns[j] = unsignedColumns[j] || v.isUnsigned;
        }
    }
    return db::IntRows(std::move(names), std::move(values), std::move(nulls), std::move(unsignedColumns));
}

// The listed column of the rows with these codes, in their order, exactly as stored: read as the
// hex of its UTF-8 form, which no session character set can spoil.
std::vector<std::optional<std::string>> exactNames(db::Connection& c, const OrphanPass& pass, CodeList codes)
{
    std::map<std::int64_t, std::optional<std::string>> byCode;
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement) {
        const std::string list = codes.part(from, std::min(kCodesPerStatement, codes.size() - from)).joined();
        const db::Rows rows =
            c.query("select CODE as c, HEX(CONVERT(" + std::string(pass.listedColumn) + " USING utf8mb4)) as n from " +
                    std::string(pass.table) + " where CODE in (" + list + ")");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto hex = rows[i].text("n");
            byCode[db::parseWhole(rows[i].text("c").value_or("")).bits] =
                hex ? std::optional<std::string>(fromHex(checkedHex(*hex))) : std::nullopt;
        }
    }
    std::vector<std::optional<std::string>> names;
    for (std::int64_t code : codes.codes)
        names.push_back(byCode[code]);
    return names;
}
} // namespace

PassOutcome runOrphanPass(PassContext& run, const OrphanPass& pass)
{
    PassProgress progress(run.window, pass.title);
    // The list starts before the rows are read, so a pass that deletes nothing still replaces a
    // list left by an earlier run.
    ScreenshotNames* list = pass.listedColumn.empty() ? nullptr : &run.names;
    if (list)
        list->start();

    const db::IntRows numbers = readRowList(run.conn, pass);
    const std::size_t codeCol = numbers.column("CODE");
    std::vector<std::size_t> refCols;
    for (std::string_view ref : pass.references)
        if (!ref.empty())
            refCols.push_back(numbers.column(ref));
    const CodeSet parents = readCodes(run, pass.parentTable);
    // A copy: this pass adds its own deletions to the record as it goes.
    const CodeSet removedEarlier = run.removed.of(pass.table);

    std::vector<std::int64_t> pending; // codes of the rows decided to go
    const bool codesUnsigned = numbers.isUnsigned(codeCol);
    RowJudge walk;
    walk.rows = numbers.size();
    walk.code = [&](std::size_t i) { return numbers.at(i, codeCol).value(); };
    walk.codesUnsigned = codesUnsigned;
    walk.judge = [&](std::size_t i) -> std::size_t {
        for (std::size_t col : refCols) {
            // NULL names no parent at all and is never taken for a missing one.
            const auto ref = numbers.at(i, col);
            if (ref && !parents.contains(*ref, numbers.isUnsigned(col))) {
                pending.push_back(numbers.at(i, codeCol).value());
                return 1;
            }
        }
        return 0;
    };
    walk.send = [&] {
        // The names are read before the rows go, and written once their delete has gone.
        const CodeList codes{pending, codesUnsigned};
        const auto names = list ? exactNames(run.conn, pass, codes) : std::vector<std::optional<std::string>>{};
        run.changes.deleteRows(pass.table, codes);
        run.removed.add(pass.table, codes);
        for (const auto& name : names)
            list->add(name);
        pending.clear();
    };
    walkRows(progress, removedEarlier, walk);

    PassOutcome outcome{progress.affected(), 0};
    if (list) {
        list->finish();
        outcome.listed = list->listed();
    }
    return outcome;
}

} // namespace cleanup
