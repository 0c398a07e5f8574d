#include "cleanup/ArchiveRestore.h"
#include "common/SystemFiles.h"

#include "cleanup/ArchiveStatements.h"
#include "cleanup/ArchiveText.h"
#include "cleanup/UndoArchive.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace cleanup
{
namespace
{
// Archives ask for unique_checks=0; a restored row that collides with another on a unique key must
// stop the restore rather than pass unseen, so the checks stay on.
constexpr const char* kUniqueChecksOn = "SET SESSION unique_checks=1";

// How far a bounded restore has come: every statement before `line` of the archive of run `run` is
// applied, and the first `rows` rows of the one at `line` (counted from its first row in the file,
// rows an abandoned restore put back included); the archives of later runs are done.
// `set` names the files the restore was started with (setOf), so that it is resumed with those only.
struct Progress {
    std::string run;
    std::size_t line = 0, rows = 0;
    std::string set = {};
    std::string text() const
    {
        return run + " " + std::to_string(line) + " " + std::to_string(rows) + (set.empty() ? "" : " " + set);
    }
};

// The archives of one restore, as a short key: how many, and a hash of their runs.
std::string setOf(const std::vector<Archive>& archives)
{
    std::uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (const Archive& a : archives)
        for (const char ch : a.header.run + ",") {
            hash ^= static_cast<unsigned char>(ch);
            hash *= 1099511628211ull;
        }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::to_string(archives.size()) + "/" + hex;
}

const std::string kProgressWhere = " where CODE=" + std::to_string(kRestoreCode);

std::optional<Progress> readProgress(db::Connection& c)
{
    const db::Rows rows = c.query("select VALUESTR as p from tbl_conf" + kProgressWhere);
    if (rows.empty())
        return std::nullopt;
    std::istringstream in(rows.front().text("p").value_or(""));
    Progress p;
    if (!(in >> p.run >> p.line >> p.rows) || p.run.empty() || p.run.size() > 20 ||
        p.run.find_first_not_of("0123456789") != std::string::npos)
        throw std::runtime_error(
            "отметка незаконченного восстановления в tbl_conf (CODE=" + std::to_string(kRestoreCode) + ") повреждена");
    in >> p.set; // absent in a mark left by an older version; written back into the mark, so checked
    if (p.set.find_first_not_of("0123456789/abcdef") != std::string::npos || p.set.size() > 40)
        throw std::runtime_error(
            "отметка незаконченного восстановления в tbl_conf (CODE=" + std::to_string(kRestoreCode) + ") повреждена");
    return p;
}

// The archives beside the named files that the unfinished restore began with, as a list of lines;
// else what the mark says of them.
std::string filesOf(const Progress& unfinished, const std::vector<Archive>& named, const std::string& database)
{
    std::set<std::string> folders, found;
    for (const Archive& a : named)
        folders.insert(a.header.path.substr(0, a.header.path.find_last_of("/\\") + 1));
    for (const std::string& folder : folders)
        for (const ArchiveHeader& h : archivesOf(folder.empty() ? "./" : folder, database))
            if (h.begun == unfinished.set && h.restored.empty())
                found.insert(h.path);
    const std::string count = unfinished.set.substr(0, unfinished.set.find('/'));
    if (found.empty() || std::to_string(found.size()) != count)
        return count + " арх. (рядом с названными файлами " + (found.empty() ? "их нет" : "не все") +
               "), дошло до архива запуска " + runStartedAt(unfinished.run) + "\n";
    std::string list;
    for (const std::string& f : found)
        list += "  " + f + "\n";
    return list;
}

const std::string kHowToAbandon =
    "Отказаться от незаконченного восстановления, ничего не потеряв: tk_corvane restore --abandon с теми же "
    "файлами. Возвращённое останется в базе; архивы, возвращённые целиком, отметятся восстановленными, а "
    "возвращённый частично запомнит, до какого места: его следующее восстановление вернёт только остальное.";

// The server's words for a refused statement of an archive, and which rows collide where a unique
// key refused it.
std::string refusedBecause(db::Connection& c, const std::string& sql, const db::DbError& e)
{
    std::string collision;
    try {
        collision = collisionOf(c, sql, e);
    } catch (const std::exception&) {
        // The server's own words, then.
    }
    return e.what() + (collision.empty() ? "" : "\n" + collision);
}

void showRestoring(OperationRunner& runner, const std::vector<Archive>& archives, const Archive& a)
{
    const std::size_t at = static_cast<std::size_t>(&a - archives.data()) + 1;
    runner.window().showProgress("Восстанавливаем архив " + std::to_string(at) + " из " +
                                 std::to_string(archives.size()) + ": " +
                                 a.header.path.substr(a.header.path.find_last_of("/\\") + 1));
}

// Each archive put back says so at its end, so that it is not put back twice. Returns a line for
// the closing message where a file could not be marked.
std::string markRestored(const std::vector<Archive>& archives)
{
    const std::string when = shownTime(std::time(nullptr));
    std::string unmarked;
    for (const Archive& a : archives) {
        std::ofstream out(sysfiles::pathOf(a.header.path), std::ios::binary | std::ios::app);
        out << kArchiveRestored << when << "\n";
        out.flush();
        if (!out)
            unmarked += "Не удалось отметить архив как восстановленный: " + a.header.path + "\n";
    }
    return unmarked;
}

// Applies the archives (newest first) in transactions of at most `bound` rows, from where an earlier
// run of the same restore stopped; each transaction moves the progress mark with it. Returns the
// failure's text, or nothing when everything is back (and the mark gone).
std::optional<std::string> applyBounded(OperationRunner& runner, db::Connection& c, std::vector<Archive>& archives,
                                        std::size_t bound, std::string& done)
{
    std::optional<Progress> at = readProgress(c);
    std::size_t first = 0;
    if (at) {
        const auto it =
            std::find_if(archives.begin(), archives.end(), [&](const Archive& a) { return a.header.run == at->run; });
        if (it == archives.end())
            return "В базе отмечено незаконченное восстановление архива запуска " + at->run +
                   ": назовите снова те же файлы, что в прошлый раз.";
        first = static_cast<std::size_t>(it - archives.begin());
    } else {
        at = Progress{archives.front().header.run, 0, 0, setOf(archives)};
        // Each file says which restore began with it, so that the mark can name them all.
        for (const Archive& a : archives)
            std::ofstream(sysfiles::pathOf(a.header.path), std::ios::binary | std::ios::app)
                << kArchiveRestoreBegun << at->set << "\n";
        c.execute("insert into tbl_conf (CODE, PARAM, VALUESTR) values (" + std::to_string(kRestoreCode) + ", '" +
                  kRestoreParam + "', '" + at->text() + "')");
    }
    for (std::size_t i = 0; i < first; ++i)
        done += archives[i].header.path + "\n";
    // The progress mark is one more row of each transaction.
    const std::size_t perTransaction = std::max<std::size_t>(1, bound - 1);
    Progress reached = *at;
    const std::string set = at->set;
    bool open = false;
    std::size_t inTransaction = 0;
    const auto commit = [&] {
        if (!open)
            return;
        c.execute("update tbl_conf set VALUESTR='" + reached.text() + "'" + kProgressWhere);
        c.execute("COMMIT");
        open = false;
        inTransaction = 0;
    };
    for (std::size_t ai = first; ai < archives.size(); ++ai) {
        Archive& a = archives[ai];
        showRestoring(runner, archives, a);
        const bool resumed = a.header.run == at->run;
        // Judged as the site stands once the newer archives are back.
        const bool anew = settleDoubts(c, a, resumed ? at->line : 0);
        for (const Statement& s : a.statements) {
            // The archive's session settings hold for every part of it, a resumed one too.
            if (s.sql.starts_with("SET SESSION ")) {
                c.execute(s.sql);
                c.execute(kUniqueChecksOn);
                continue;
            }
            if (s.sql == "START TRANSACTION" || s.sql == "COMMIT" || (resumed && s.line < at->line))
                continue;
            const Pieces p = piecesOf(s.sql);
            // Rows count from the statement's first row in the file, those an abandoned restore put
            // back included.
            const std::size_t before = s.line == a.header.upToLine ? a.leftOut : 0;
            const std::size_t resumeAt = resumed && s.line == at->line && !anew ? at->rows : 0;
            for (std::size_t from = resumeAt > before ? resumeAt - before : 0; from < p.rows.size();) {
                const std::size_t take = std::min(p.rows.size() - from, perTransaction - inTransaction);
                std::string part = p.head.empty() ? p.rows.front() : p.head + "(";
                for (std::size_t r = 0; !p.head.empty() && r < take; ++r)
                    part += (r ? "),(" : "") + p.rows[from + r];
                if (!p.head.empty())
                    part += ")" + p.tail;
                if (!open) {
                    runner.beforeBatch();
                    c.execute("START TRANSACTION");
                    open = true;
                }
                try {
                    c.execute(part);
                } catch (const db::DbError& e) {
                    const std::string why = refusedBecause(c, part, e);
                    c.execute("ROLLBACK");
                    return a.header.path + ", строка " + std::to_string(s.line) + ": " + why;
                }
                from += take;
                inTransaction += take;
                reached = from == p.rows.size() ? Progress{a.header.run, s.line + 1, 0, set}
                                                : Progress{a.header.run, s.line, before + from, set};
                if (inTransaction >= perTransaction)
                    commit();
            }
        }
        // Within the same transaction the next archive starts at its beginning.
        if (ai + 1 < archives.size())
            reached = Progress{archives[ai + 1].header.run, 0, 0, set};
        done += a.header.path + "\n";
    }
    commit();
    c.execute("delete from tbl_conf" + kProgressWhere);
    return std::nullopt;
}
// Reads the named archives, newest run first, each checked to belong to the connected database and
// (unless restoredToo) not to be put back already; else what to tell the user, nothing having changed.
std::optional<Report> loadChecked(db::Connection& c, const std::vector<std::string>& files,
                                  std::vector<Archive>& archives, std::string& database, RestoreResult& result,
                                  bool restoredToo = false)
{
    const auto refused = [&](std::string text) {
        result.refused = true;
        return Report(MessageIcon::Critical, std::move(text) + "\nНичего не восстановлено.");
    };
    try {
        for (const std::string& f : files)
            archives.push_back(load(f));
    } catch (const std::runtime_error& e) {
        return refused(e.what());
    }
    database = headerName(fromHex(c.query("SELECT HEX(DATABASE())").front().cell(0).value_or("")));
    for (const Archive& a : archives) {
        if (a.header.database != database)
            return refused(a.header.path + ": архив базы «" + a.header.database + "», а не «" + database + "».");
        if (!a.header.restored.empty() && !restoredToo)
            return refused(a.header.path + ": этот архив уже восстановлен (" + a.header.restored + ").");
    }
    // Newest run first: an earlier run's archive holds the state before the later run started.
    std::sort(archives.begin(), archives.end(),
              [](const Archive& x, const Archive& y) { return runBefore(y.header, x.header); });
    return std::nullopt;
}

} // namespace

ArchiveCounts countArchive(const std::string& path)
{
    const Archive a = load(path);
    return {a.rows, a.values};
}

RunOutcome restoreArchives(OperationRunner& runner, const std::vector<std::string>& files, bool dryRun,
                           RestoreResult& result)
{
    return runner.run([&](db::Connection& c) {
        std::vector<Archive> archives;
        std::string database;
        if (auto refused = loadChecked(c, files, archives, database, result))
            return std::move(*refused);
        std::set<std::string> tables;
        for (const Archive& a : archives)
            tables.insert(a.tables.begin(), a.tables.end());
        std::string list;
        for (const std::string& t : tables)
            list += (list.empty() ? "'" : ",'") + t + "'";
        bool oneTransaction = true;
        if (!list.empty()) {
            const db::Rows engines =
                c.query("select ENGINE from information_schema.TABLES where TABLE_SCHEMA=DATABASE() "
                        "and TABLE_NAME in (" +
                        list + ")");
            for (std::size_t i = 0; i < engines.size(); ++i)
                oneTransaction = oneTransaction && engines[i].cell(0).value_or("") == "InnoDB";
        }
        if (dryRun && !oneTransaction) {
            result.refused = true;
            return Report(MessageIcon::Critical, "Пробное восстановление невозможно: не все таблицы архивов "
                                                 "поддерживают транзакции (InnoDB). Ничего не восстановлено.");
        }

        c.useUtf8Session(true); // names in the archives may hold any character
        std::string done;
        std::uint64_t rows = 0, values = 0;
        // Where the server bounds a transaction: within the bound, resuming a restore that stopped.
        const std::size_t bound = runner.rowsPerStatement(std::numeric_limits<std::size_t>::max());
        if (oneTransaction && bound != std::numeric_limits<std::size_t>::max()) {
            std::uint64_t total = 0;
            for (const Archive& a : archives)
                total += rowsOf(a);
            const std::optional<Progress> unfinished = readProgress(c);
            // An unfinished restore goes on with the files it began with, or not at all: with another
            // set, archives it never applied would count as done.
            if (unfinished && !unfinished->set.empty() && unfinished->set != setOf(archives)) {
                result.refused = true;
                return Report(
                    MessageIcon::Critical,
                    "В базе отмечено незаконченное восстановление (tbl_conf, CODE=" + std::to_string(kRestoreCode) +
                        "), начатое с другим набором файлов:\n" + filesOf(*unfinished, archives, database) +
                        "Назовите те же файлы: команда закончит то восстановление, ничего не применив "
                        "дважды; после него восстановите остальные архивы отдельно.\n" +
                        kHowToAbandon + "\nНичего не восстановлено.");
            }
            if (total + 1 > bound || unfinished) {
                if (dryRun) {
                    result.refused = true;
                    return Report(MessageIcon::Critical,
                                  "Пробное восстановление невозможно: архивы не помещаются в одну транзакцию "
                                  "кластера (wsrep_max_ws_rows, wsrep_max_ws_size). Ничего не восстановлено.");
                }
                if (const auto failed = applyBounded(runner, c, archives, bound, done)) {
                    result.failed = true;
                    return Report(MessageIcon::Critical,
                                  *failed + "\nВосстановлено полностью: " + (done.empty() ? "ничего\n" : "\n" + done) +
                                      "Остальное не применено. Повторите ту же команду с теми же файлами: она "
                                      "продолжит с места остановки и ничего не применит дважды.\n" +
                                      kHowToAbandon);
                }
                for (const Archive& a : archives)
                    rows += a.rows, values += a.values;
                std::ostringstream text;
                text << markRestored(archives);
                text << "Восстановлено из архивов (сначала самый новый, частями в пределах кластера):\n"
                     << done << "Строк: " << rows << ", значений авторства: " << values << "\n";
                return Report(MessageIcon::Information, text.str());
            }
        }
        if (oneTransaction)
            c.execute("START TRANSACTION");
        for (Archive& a : archives) {
            showRestoring(runner, archives, a);
            settleDoubts(c, a, 0);
            for (const Statement& s : a.statements) {
                if (oneTransaction && (s.sql == "START TRANSACTION" || s.sql == "COMMIT"))
                    continue;
                try {
                    c.execute(s.sql);
                    if (s.sql.starts_with("SET SESSION "))
                        c.execute(kUniqueChecksOn);
                } catch (const db::DbError& e) {
                    result.failed = true;
                    const std::string why = refusedBecause(c, s.sql, e);
                    if (oneTransaction)
                        c.execute("ROLLBACK");
                    return Report(MessageIcon::Critical,
                                  a.header.path + ", строка " + std::to_string(s.line) + ": " + why + "\n" +
                                      (oneTransaction ? "Всё отменено (откат): база осталась как была."
                                                      : "Восстановлено до этой строки: " + done));
                }
            }
            rows += a.rows;
            values += a.values;
            done += a.header.path + "\n";
        }
        if (oneTransaction)
            c.execute(dryRun ? "ROLLBACK" : "COMMIT");
        std::ostringstream text;
        if (!dryRun)
            text << markRestored(archives);
        text << (dryRun ? "Пробное восстановление прошло без ошибок и отменено: база не изменена.\n"
                        : "Восстановлено из архивов (сначала самый новый):\n")
             << done << "Строк: " << rows << ", значений авторства: " << values << "\n";
        return Report(MessageIcon::Information, text.str());
    });
}

RunOutcome abandonRestore(OperationRunner& runner, const std::vector<std::string>& files, RestoreResult& result)
{
    return runner.run([&](db::Connection& c) {
        std::vector<Archive> archives;
        std::string database;
        // An archive marked restored by an earlier try whose mark in tbl_conf stayed is one of the set.
        if (auto refused = loadChecked(c, files, archives, database, result, true))
            return std::move(*refused);
        const std::optional<Progress> unfinished = readProgress(c);
        const auto it = std::find_if(archives.begin(), archives.end(),
                                     [&](const Archive& a) { return unfinished && a.header.run == unfinished->run; });
        if (!unfinished || unfinished->set != setOf(archives) || it == archives.end()) {
            result.refused = true;
            return Report(MessageIcon::Critical,
                          !unfinished
                              ? std::string("В базе нет незаконченного восстановления: отказываться не от чего.")
                              : "Незаконченное восстановление в базе начато с другим набором файлов:\n" +
                                    filesOf(*unfinished, archives, database) +
                                    "Назовите для отказа от него те же файлы." + "\nНичего не изменено.");
        }
        // The files first: should the mark then stay, the same command, run again, finishes the work.
        std::string text = "Незаконченное восстановление оставлено; возвращённое остаётся в базе.\n";
        std::vector<Archive> whole;
        for (auto a = archives.begin(); a != it; ++a) {
            text += "Возвращён целиком и отмечен восстановленным: " + a->header.path + "\n";
            if (a->header.restored.empty())
                whole.push_back(std::move(*a));
        }
        text += markRestored(whole);
        const Archive& part = *it;
        if (unfinished->line > 0) {
            // The mark counts rows from the statement's first row in the file: written again by a
            // second try, the line says the same.
            std::ofstream out(sysfiles::pathOf(part.header.path), std::ios::binary | std::ios::app);
            out << kArchiveRestoredUpTo << unfinished->line << " " << unfinished->rows << " "
                << shownTime(std::time(nullptr)) << "\n";
            out.flush();
            if (!out) {
                result.failed = true;
                return Report(MessageIcon::Critical,
                              text + "Не удалось записать в архив, до какого места он возвращён: " + part.header.path +
                                  "\nОтметка незаконченного восстановления оставлена.");
            }
            text += "Возвращён частично (до строки " + std::to_string(unfinished->line) +
                    "); его восстановление вернёт только остальное: " + part.header.path + "\n";
        }
        for (auto rest = it + (unfinished->line > 0 ? 1 : 0); rest != archives.end(); ++rest)
            text += "Не возвращён ничем: " + rest->header.path + "\n";
        c.execute("delete from tbl_conf" + kProgressWhere);
        return Report(MessageIcon::Information, text);
    });
}

} // namespace cleanup
