#include "cleanup/ArchiveRestore.h"

#include "cleanup/ArchiveText.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace cleanup
{
namespace
{
struct Statement {
    std::size_t line;
    std::string sql;
};

struct Archive {
    ArchiveHeader header;
    std::vector<Statement> statements;
    std::set<std::string> tables;
    std::uint64_t rows = 0, values = 0;
};

// The table an archive statement writes to, checked to be a plain name.
std::string tableOf(const std::string& sql)
{
    const std::size_t open = sql.find('`'), close = sql.find('`', open + 1);
    if (open == std::string::npos || close == std::string::npos)
        throw std::runtime_error("нет имени таблицы");
    const std::string name = sql.substr(open + 1, close - open - 1);
    if (name.empty() ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos)
        throw std::runtime_error("недопустимое имя таблицы «" + name + "»");
    return name;
}

// Reads an archive whole; a file that is no archive, or that ends in the middle of a statement, is
// refused with the reason.
Archive load(const std::string& path)
{
    const auto header = readArchiveHeader(path);
    if (!header)
        throw std::runtime_error(path + ": это не архив отмены tk_corvane");
    Archive a{*header, {}, {}, 0, 0};
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (std::size_t n = 1; std::getline(in, line); ++n) {
        if (line.empty() || line.starts_with("--"))
            continue;
        if (line.back() != ';')
            throw std::runtime_error(path + ", строка " + std::to_string(n) + ": архив повреждён (оборванная строка)");
        if (line == "SET NAMES utf8mb4;")
            continue; // the restoring session speaks utf8mb4 already
        if (line.starts_with("INSERT INTO ")) {
            a.tables.insert(tableOf(line));
            for (std::size_t at = 0; at != std::string::npos; at = line.find("),(", at + 1))
                ++a.rows;
        } else if (line.starts_with("UPDATE ")) {
            a.tables.insert(tableOf(line));
            if (line.find("=CONCAT(") == std::string::npos)
                ++a.values;
        } else if (line != "START TRANSACTION;" && line != "COMMIT;" && !line.starts_with("SET SESSION ")) {
            throw std::runtime_error(path + ", строка " + std::to_string(n) + ": неизвестная строка архива");
        }
        line.pop_back();
        a.statements.push_back({n, line});
    }
    return a;
}
} // namespace

RunOutcome restoreArchives(OperationRunner& runner, const std::vector<std::string>& files, bool dryRun,
                           RestoreResult& result)
{
    return runner.run([&](db::Connection& c) {
        std::vector<Archive> archives;
        try {
            for (const std::string& f : files)
                archives.push_back(load(f));
        } catch (const std::runtime_error& e) {
            result.refused = true;
            return Report(MessageIcon::Critical, std::string(e.what()) + "\nНичего не восстановлено.");
        }
        const std::string database =
            headerName(fromHex(c.query("SELECT HEX(DATABASE())").front().cell(0).value_or("")));
        for (const Archive& a : archives) {
            if (a.header.database != database) {
                result.refused = true;
                return Report(MessageIcon::Critical, a.header.path + ": архив базы «" + a.header.database +
                                                         "», а не «" + database + "».\nНичего не восстановлено.");
            }
        }
        // Newest run first: an earlier run's archive holds the state before the later run started.
        std::sort(archives.begin(), archives.end(),
                  [](const Archive& x, const Archive& y) { return runBefore(y.header, x.header); });

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
        if (oneTransaction)
            c.execute("START TRANSACTION");
        std::string done;
        std::uint64_t rows = 0, values = 0;
        for (const Archive& a : archives) {
            for (const Statement& s : a.statements) {
                if (oneTransaction && (s.sql == "START TRANSACTION" || s.sql == "COMMIT"))
                    continue;
                try {
                    c.execute(s.sql);
                } catch (const db::DbError& e) {
                    result.failed = true;
                    if (oneTransaction)
                        c.execute("ROLLBACK");
                    return Report(MessageIcon::Critical,
                                  a.header.path + ", строка " + std::to_string(s.line) + ": " + e.what() + "\n" +
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
        text << (dryRun ? "Пробное восстановление прошло без ошибок и отменено: база не изменена.\n"
                        : "Восстановлено из архивов (сначала самый новый):\n")
             << done << "Строк: " << rows << ", значений авторства: " << values << "\n";
        return Report(MessageIcon::Information, text.str());
    });
}

} // namespace cleanup
