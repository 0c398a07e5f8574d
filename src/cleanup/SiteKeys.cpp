#include "cleanup/SiteKeys.h"

#include "cleanup/ArchiveText.h"
#include "cleanup/RowImages.h"

#include <algorithm>
#include <deque>
#include <set>

namespace cleanup
{
namespace
{
std::string name(const db::Rows::Row& row, std::string_view column)
{
    return fromHex(checkedHex(row.text(column).value_or("")));
}

// The rules come from a fixed list; anything else counts as one that refuses.
std::string rule(const db::Rows::Row& row, std::string_view column)
{
    const std::string r = row.text(column).value_or("");
    static const std::set<std::string> known{"CASCADE", "SET NULL", "RESTRICT", "NO ACTION", "SET DEFAULT"};
    return known.contains(r) ? r : "RESTRICT";
}

std::vector<ForeignKey> readKeys(db::Connection& c)
{
    // Keys whose referenced table is in this database, wherever the referencing table is.
    const db::Rows rows =
        c.query("select HEX(k.CONSTRAINT_NAME) as n, HEX(k.TABLE_NAME) as c, HEX(k.COLUMN_NAME) as cc, "
                "HEX(k.REFERENCED_TABLE_NAME) as p, HEX(k.REFERENCED_COLUMN_NAME) as pc, r.DELETE_RULE as d, "
                "r.UPDATE_RULE as u, k.TABLE_SCHEMA<>DATABASE() as elsewhere "
                "from information_schema.KEY_COLUMN_USAGE k join information_schema.REFERENTIAL_CONSTRAINTS r "
                "on r.CONSTRAINT_SCHEMA=k.CONSTRAINT_SCHEMA and r.CONSTRAINT_NAME=k.CONSTRAINT_NAME and "
                "r.TABLE_NAME=k.TABLE_NAME "
                "where k.REFERENCED_TABLE_SCHEMA=DATABASE() "
                "order by k.CONSTRAINT_SCHEMA, k.TABLE_NAME, k.CONSTRAINT_NAME, k.ORDINAL_POSITION");
    std::vector<ForeignKey> keys;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto row = rows[i];
        const bool elsewhere = row.text("elsewhere").value_or("0") != "0";
        if (keys.empty() || keys.back().name != name(row, "n") || keys.back().child != name(row, "c") ||
            keys.back().childElsewhere != elsewhere)
            keys.push_back(
                {name(row, "n"), name(row, "c"), name(row, "p"), {}, {}, rule(row, "d"), rule(row, "u"), elsewhere});
        keys.back().childColumns.push_back(name(row, "cc"));
        keys.back().parentColumns.push_back(name(row, "pc"));
    }
    return keys;
}

std::vector<Trigger> readTriggers(db::Connection& c)
{
    const db::Rows rows = c.query("select HEX(TRIGGER_NAME) as n, HEX(EVENT_OBJECT_TABLE) as t, ACTION_TIMING as w, "
                                  "EVENT_MANIPULATION as e from information_schema.TRIGGERS "
                                  "where TRIGGER_SCHEMA=DATABASE() order by EVENT_OBJECT_TABLE, TRIGGER_NAME");
    std::vector<Trigger> triggers;
    for (std::size_t i = 0; i < rows.size(); ++i)
        triggers.push_back(
            {name(rows[i], "n"), name(rows[i], "t"), rows[i].text("w").value_or(""), rows[i].text("e").value_or("")});
    return triggers;
}

// The names the restore takes back from an archive.
bool plainName(const std::string& n)
{
    return !n.empty() &&
           n.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") == std::string::npos;
}

bool overlaps(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    return std::any_of(a.begin(), a.end(),
                       [&](const std::string& x) { return std::find(b.begin(), b.end(), x) != b.end(); });
}
} // namespace

std::string triggerText(const Trigger& t)
{
    return t.name + " (" + t.timing + " " + t.event + " на " + t.table + ")";
}

KeyPlan planKeys(db::Connection& c, const RunTargets& targets)
{
    KeyPlan plan;
    const std::vector<ForeignKey> keys = readKeys(c);
    for (const Trigger& t : readTriggers(c)) {
        const bool deleted = t.event == "DELETE" && std::find(targets.deletedFrom.begin(), targets.deletedFrom.end(),
                                                              t.table) != targets.deletedFrom.end();
        const bool rewritten = t.event == "UPDATE" && std::any_of(targets.rewritten.begin(), targets.rewritten.end(),
                                                                  [&](const auto& r) { return r.first == t.table; });
        if (deleted || rewritten)
            plan.triggers.push_back(t);
    }
    if (keys.empty())
        return plan;

    // What happens to a table: its rows deleted (no columns), or these columns rewritten.
    struct Event {
        std::string table;
        std::vector<std::string> columns;
    };
    std::deque<Event> todo;
    std::set<std::pair<std::string, std::vector<std::string>>> seen;
    const auto add = [&](Event e) {
        if (seen.insert({e.table, e.columns}).second)
            todo.push_back(std::move(e));
    };
    for (std::string_view t : targets.deletedFrom)
        add({std::string(t), {}});
    for (const auto& [t, column] : targets.rewritten)
        add({std::string(t), {std::string(column)}});

    RowImages images(c);
    std::set<std::string> reached;
    while (!todo.empty()) {
        const Event e = todo.front();
        todo.pop_front();
        const bool deleting = e.columns.empty();
        for (const ForeignKey& k : keys) {
            if (k.parent != e.table || (!deleting && !overlaps(k.parentColumns, e.columns)))
                continue;
            const std::string& r = deleting ? k.onDelete : k.onUpdate;
            if (reached.insert(k.name + "\n" + k.child).second) {
                plan.reached.push_back(k);
                if (ForeignKey::blocks(r))
                    plan.blocking.push_back(k);
            }
            if (ForeignKey::blocks(r))
                continue;
            const std::string why = "ключ " + k.name + " (" + k.child + " → " + k.parent + ", ON " +
                                    (deleting ? "DELETE " : "UPDATE ") + r + "): ";
            if (k.childElsewhere) {
                plan.refusals.push_back(why + "таблица " + k.child + " в другой базе, архив её не вернёт");
                continue;
            }
            if (!plainName(k.child)) {
                plan.refusals.push_back(why +
                                        "имя таблицы не из латинских букв, цифр и «_», восстановление его не примет");
                continue;
            }
            const bool cascadeDelete = deleting && r == "CASCADE";
            if (!cascadeDelete) {
                // Rewritten rows are put back by their primary key, which must stay as it was.
                const std::vector<std::size_t>& pk = images.primaryKey(k.child);
                const bool keyRewritten = std::any_of(pk.begin(), pk.end(), [&](std::size_t i) {
                    const std::string& n = images.columns(k.child)[i].name;
                    return std::find(k.childColumns.begin(), k.childColumns.end(), n) != k.childColumns.end();
                });
                if (pk.empty() || keyRewritten) {
                    plan.refusals.push_back(why +
                                            (pk.empty() ? "у таблицы " + k.child + " нет первичного ключа"
                                                        : "ключ меняет первичный ключ таблицы " + k.child) +
                                            ", архив не найдёт её строк");
                    continue;
                }
            }
            add({k.child, cascadeDelete ? std::vector<std::string>{} : k.childColumns});
        }
    }
    return plan;
}

} // namespace cleanup
