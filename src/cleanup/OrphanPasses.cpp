#include "cleanup/OrphanPasses.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/ScreenshotList.h"
#include "cleanup/SentChanges.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace cleanup
{

// clang-format off
const std::array<OrphanPass, 17> kOrphanPasses{{
    {"Удаляем ссылки раздач, которых уже нет",
     "CODE,BASECODE", "", "tbl_link", {"BASECODE"}, "tbl_base",
     "Удалено ссылок раздач, которых нет: "},
    {"Удаляем статистику скачивания ссылок которых уже нет",
     "CODE,LINKCODE", "", "tbl_stat", {"LINKCODE"}, "tbl_link",
     "Удалено записей скачивания ссылок, которых нет: "},
    {"Удаляем статистику скачивания по пользователям которых уже нет",
     "CODE,USERCODE", "", "tbl_stat", {"USERCODE"}, "tbl_user",
     "Удалено записей скачивания по пользователям, которых нет: "},
    {"Удаляем статистику голосования по раздачам которых уже нет",
     "CODE,BASECODE", "", "tbl_votes", {"BASECODE"}, "tbl_base",
     "Удалено записей голосования по раздачам, которых нет: "},
    {"Удаляем видеоролики по раздачам которых уже нет",
     "CODE,BASECODE", "", "tbl_tube", {"BASECODE"}, "tbl_base",
     "Удалено видеороликов по раздачам, которых нет: "},
    {"Удаляем статистику голосования по пользователям которых уже нет",
     "CODE,USERCODE", "", "tbl_votes", {"USERCODE"}, "tbl_user",
     "Удалено записей голосования по пользователям, которых нет: "},
    {"Удаляем комментарии пользователей которых уже нет",
     "CODE,WHOADD", "", "tbl_comment", {"WHOADD"}, "tbl_user",
     "Удалено комментариев пользователей, которых нет: "},
    {"Удаляем комментарии по раздачам которых уже нет",
     "CODE,BASECODE", "", "tbl_comment", {"BASECODE"}, "tbl_base",
     "Удалено комментариев по раздачам, которых нет: "},
    {"Удаляем из облака тегов по раздачам которых уже нет",
     "CODE,BASECODE", "", "tbl_tags", {"BASECODE"}, "tbl_base",
     "Удалено из облака тегов по раздачам, которых нет: "},
    {"Удаляем из наблюдения раздачи которых уже нет",
     "CODE,BASECODE", "", "tbl_fav", {"BASECODE"}, "tbl_base",
     "Удалено из наблюдения раздачи, которых нет: "},
    {"Удаляем связки по раздачам которых уже нет",
     "CODE,FIRSTCODE,SECONDCODE", "", "tbl_cross", {"FIRSTCODE", "SECONDCODE"}, "tbl_base",
     "Удалено связок по раздачам, которых нет: "},
    {"Удаляем связки с персоналиями по раздачам которых уже нет",
     "CODE,SECONDCODE", "", "tbl_cross2", {"SECONDCODE"}, "tbl_base",
     "Удалено связок с персоналиями по раздачам, которых нет: "},
    {"Удаляем связки с персоналиями которых уже нет",
     "CODE,FIRSTCODE", "", "tbl_cross2", {"FIRSTCODE"}, "tbl_persona",
     "Удалено связок с персоналиями, которых нет: "},
    {"Удаляем скриншоты по раздачам которых уже нет",
     "CODE,BASECODE", "BASECODE>0", "tbl_poster", {"BASECODE"}, "tbl_base",
     "Удалено скриншотов по раздачам, которых нет: ", "POSTER"},
    {"Удаляем историю поиска по пользователям которых уже нет",
     "CODE,USERCODE", "USERCODE<>-1", "tbl_search", {"USERCODE"}, "tbl_user",
     "Удалено записей в истории поиска по пользователям, которых нет: "},
    {"Удаляем раздачи под наблюдением по пользователям которых уже нет",
     "CODE,USERCODE", "USERCODE<>-1", "tbl_fav", {"USERCODE"}, "tbl_user",
     "Удалено раздачи под наблюдением по пользователям, которых нет: "},
    {"Удаляем историю заказов по пользователям которых уже нет",
     "CODE,WHOADD", "WHOADD<>-1", "tbl_wanted", {"WHOADD"}, "tbl_user",
     "Удалено записей в историю заказов по пользователям, которых нет: "},
}};
// clang-format on

namespace
{
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

namespace
{
// Deletes the rows with these codes; a pass with a listed column reads their names first and hands
// them on once the delete has gone.
void deleteQueued(PassContext& run, const OrphanPass& pass, std::vector<std::int64_t>& pending, bool codesUnsigned)
{
    ScreenshotNames* list = pass.listedColumn.empty() ? nullptr : &run.names;
    const CodeList codes{pending, codesUnsigned};
    const auto names = list ? exactNames(run.conn, pass, codes) : std::vector<std::optional<std::string>>{};
    const ServerChanges follows = deleteFollows(run, pass.table, codes);
    run.changes.deleteRows(pass.table, codes, follows);
    run.removed.add(pass.table, codes);
    recordFollows(run, follows);
    for (const auto& name : names)
        list->add(name);
    pending.clear();
}

std::vector<std::string_view> referencesOf(const OrphanPass& pass)
{
    std::vector<std::string_view> names;
    for (std::string_view name : pass.references)
        if (!name.empty())
            names.push_back(name);
    return names;
}
} // namespace

std::optional<std::size_t> judgedAlongWith(std::size_t index, bool siteKeysAct)
{
    if (siteKeysAct)
        return std::nullopt;
    const OrphanPass& first = kOrphanPasses[index];
    for (std::size_t j = index + 1; j < kOrphanPasses.size(); ++j) {
        const OrphanPass& later = kOrphanPasses[j];
        if (later.table != first.table)
            continue;
        if (later.condition != first.condition || !first.listedColumn.empty() || !later.listedColumn.empty())
            return std::nullopt;
        for (std::size_t k = index; k < j; ++k)
            if (kOrphanPasses[k].table == later.parentTable)
                return std::nullopt;
        return j;
    }
    return std::nullopt;
}

PassOutcome runOrphanPass(PassContext& run, const OrphanPass& pass, LaterPass* later)
{
    PassProgress progress(run.window, pass.title);
    // The list starts before the rows are read, so a pass that deletes nothing still replaces a
    // list left by an earlier run.
    ScreenshotNames* list = pass.listedColumn.empty() ? nullptr : &run.names;
    if (list)
        list->start();

    const CodeSet parents = readCodes(run, pass.parentTable);
    // A copy: this pass adds its own deletions to the record as it goes.
    const CodeSet removedEarlier = run.removed.of(pass.table);

    std::vector<std::int64_t> pending; // codes of the rows decided to go
    RowJudge walk;
    walk.list = {std::string(pass.columns), std::string(pass.table), std::string(pass.condition)};
    walk.judged = referencesOf(pass);
    std::vector<std::string_view> laterNames;
    std::vector<std::size_t> laterColumns; // where the later pass's references are in a page
    if (later) {
        later->parents = readCodes(run, later->pass->parentTable);
        later->rows = {};
        for (std::string_view name : referencesOf(*later->pass)) {
            laterNames.push_back(name);
            if (std::find(walk.judged.begin(), walk.judged.end(), name) == walk.judged.end())
                walk.list.columns += "," + std::string(name);
        }
    }
    // NULL names no parent at all and is never taken for a missing one.
    const auto orphan = [](const std::optional<std::int64_t>& ref, bool refUnsigned, const CodeSet& set) {
        return ref && !set.contains(*ref, refUnsigned);
    };
    walk.judge = [&](const db::IntRows& page, const PageColumns& cols, std::size_t i) -> std::size_t {
        for (std::size_t k = 0; k < cols.judged.size(); ++k) {
            if (orphan(cols.value(page, i, k), page.isUnsigned(cols.judged[k]), parents)) {
                pending.push_back(page.at(i, cols.code).value());
                return 1;
            }
        }
        if (later) {
            if (laterColumns.empty())
                for (std::string_view name : laterNames)
                    laterColumns.push_back(page.column(name));
            GatheredRows& rows = later->rows;
            rows.codesUnsigned = cols.codesUnsigned;
            const bool taken = std::any_of(laterColumns.begin(), laterColumns.end(), [&](std::size_t column) {
                return orphan(page.at(i, column), page.isUnsigned(column), later->parents);
            });
            if (taken)
                rows.take(page.at(i, cols.code).value());
            else
                rows.keep();
        }
        return 0;
    };
    walk.send = [&](bool codesUnsigned) { deleteQueued(run, pass, pending, codesUnsigned); };
    walkRows(run, progress, removedEarlier, walk);

    PassOutcome outcome{progress.affected(), 0};
    if (list) {
        list->finish();
        outcome.listed = list->listed();
    }
    return outcome;
}

PassOutcome runJudgedPass(PassContext& run, const LaterPass& judged)
{
    const OrphanPass& pass = *judged.pass;
    PassProgress progress(run.window, pass.title);
    std::vector<std::int64_t> pending;
    replayRows(
        run, progress, judged.rows, [&](std::int64_t code) { pending.push_back(code); },
        [&](bool codesUnsigned) { deleteQueued(run, pass, pending, codesUnsigned); });
    return {progress.affected(), 0};
}

} // namespace cleanup
