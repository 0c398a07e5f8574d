#include "cleanup/KeyActions.h"

#include "cleanup/SentChanges.h"

#include <algorithm>
#include <deque>

namespace cleanup
{
namespace
{
std::string ruleText(const ForeignKey& key, bool deleting)
{
    return key.name + " (" + key.child + " → " + key.parent + ", ON " + (deleting ? "DELETE " : "UPDATE ") +
           (deleting ? key.onDelete : key.onUpdate) + ")";
}
} // namespace

KeyConflict::KeyConflict(const ForeignKey& key, bool deleting)
    : std::runtime_error("ключ " + ruleText(key, deleting) + ": в таблице " + key.child + " есть строки, которые " +
                         "ссылаются на " + (deleting ? "удаляемые строки " : "заменяемые значения в ") + key.parent +
                         ", и сервер отказал бы в изменении")
{
}

KeyActions::KeyActions(db::Connection& c, std::vector<ForeignKey> reached)
    : m_conn(c), m_images(c), m_keys(std::move(reached))
{
}

ServerChanges KeyActions::beforeDelete(std::string_view table, CodeList codes, bool lock)
{
    m_lock = lock;
    return inParts(table, codes, {}, {});
}

ServerChanges KeyActions::beforeRewrite(std::string_view table, std::string_view column, CodeList codes,
                                        const std::string& newValue, bool lock)
{
    m_lock = lock;
    return inParts(table, codes, {m_images.indexOf(table, column)}, {newValue});
}

ServerChanges KeyActions::inParts(std::string_view table, CodeList codes, const std::vector<std::size_t>& rewritten,
                                  const std::vector<std::optional<std::string>>& after)
{
    ServerChanges all;
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement) {
        const CodeList part = codes.part(from, std::min(kCodesPerStatement, codes.size() - from));
        ServerChanges some =
            follow(std::string(table), m_images.read(table, "CODE in (" + part.joined() + ")"), rewritten, after);
        std::move(some.begin(), some.end(), std::back_inserter(all));
    }
    return all;
}

ServerChanges KeyActions::follow(std::string table, std::vector<RowImage> rows, std::vector<std::size_t> rewritten,
                                 std::vector<std::optional<std::string>> after)
{
    struct Step {
        std::string table;
        std::vector<RowImage> rows;
        std::vector<std::size_t> columns;              // empty: the rows go
        std::vector<std::optional<std::string>> after; // the columns' new values
    };
    std::map<std::string, std::set<std::string>> gone; // rows deleted in this batch, by table
    std::set<std::string> changedSeen;                 // table, row and columns already rewritten
    if (rewritten.empty())
        for (const RowImage& row : rows)
            gone[table].insert(m_images.keyOf(table, row));
    std::deque<Step> todo;
    todo.push_back({std::move(table), std::move(rows), std::move(rewritten), std::move(after)});
    ServerChanges out;
    while (!todo.empty()) {
        const Step step = std::move(todo.front());
        todo.pop_front();
        const bool deleting = step.columns.empty();
        const std::vector<ImageColumn>& parentColumns = m_images.columns(step.table);
        for (const ForeignKey& key : m_keys) {
            if (key.parent != step.table)
                continue;
            std::vector<std::size_t> referenced;
            for (const std::string& name : key.parentColumns)
                referenced.push_back(m_images.indexOf(step.table, name));
            if (!deleting && std::none_of(referenced.begin(), referenced.end(), [&](std::size_t i) {
                    return std::find(step.columns.begin(), step.columns.end(), i) != step.columns.end();
                }))
                continue;
            // The values the referencing rows hold: the referenced columns of these rows (NULL names none).
            std::set<std::string> tuples;
            for (const RowImage& row : step.rows) {
                std::string tuple;
                bool null = false;
                for (std::size_t i : referenced) {
                    null = null || i >= row.size() || !row[i];
                    if (!null)
                        tuple += (tuple.empty() ? "" : ",") + literal(parentColumns[i], row[i]);
                }
                if (!null)
                    tuples.insert(referenced.size() == 1 ? tuple : "(" + tuple + ")");
            }
            std::string lhs;
            for (const std::string& c : key.childColumns)
                lhs += (lhs.empty() ? "" : ",") + quotedName(c);
            if (key.childColumns.size() > 1)
                lhs = "(" + lhs + ")";
            const std::string& rule = deleting ? key.onDelete : key.onUpdate;
            const bool cascadeDelete = deleting && rule == "CASCADE";
            // SET NULL empties every referencing column; ON UPDATE CASCADE gives each the new value
            // of the column it references, where that one changes.
            std::vector<std::size_t> childColumns;
            std::vector<std::optional<std::string>> childAfter;
            for (std::size_t j = 0; j < key.childColumns.size() && !ForeignKey::blocks(rule) && !cascadeDelete; ++j) {
                const auto changed = std::find(step.columns.begin(), step.columns.end(), referenced[j]);
                if (rule == "SET NULL" || changed != step.columns.end()) {
                    childColumns.push_back(m_images.indexOf(key.child, key.childColumns[j]));
                    childAfter.push_back(rule == "SET NULL"
                                             ? std::nullopt
                                             : step.after[static_cast<std::size_t>(changed - step.columns.begin())]);
                }
            }
            for (auto it = tuples.begin(); it != tuples.end();) {
                std::string list;
                for (std::size_t n = 0; n < kCodesPerStatement && it != tuples.end(); ++n, ++it)
                    list += (list.empty() ? "" : ",") + *it;
                const std::string condition = lhs + " IN (" + list + ")";
                if (ForeignKey::blocks(rule)) {
                    if (!m_conn.query("select 1 from " + quotedName(key.child) + " where " + condition + " limit 1")
                             .empty())
                        throw KeyConflict(key, deleting);
                    continue;
                }
                std::vector<RowImage> reached;
                // Locked, a row reached cannot gain a row of its own that the server would remove too.
                for (RowImage& row : m_images.read(key.child, condition + (m_lock ? " for update" : ""))) {
                    const std::string id = m_images.keyOf(key.child, row);
                    if (gone[key.child].contains(id))
                        continue;
                    if (cascadeDelete)
                        gone[key.child].insert(id);
                    else if (!changedSeen.insert(key.child + "\n" + id + "\n" + lhs).second)
                        continue;
                    reached.push_back(std::move(row));
                }
                if (reached.empty())
                    continue;
                out.push_back({key.child, cascadeDelete, childColumns, reached, childAfter});
                todo.push_back({key.child, std::move(reached), childColumns, childAfter});
            }
        }
    }
    return out;
}

std::optional<std::pair<std::size_t, bool>> KeyActions::codeOf(const std::string& table)
{
    const std::vector<std::size_t>& key = m_images.primaryKey(table);
    if (key.size() != 1)
        return std::nullopt;
    const ImageColumn& c = m_images.columns(table)[key[0]];
    if (c.name != "CODE" || c.kind != ImageColumn::Number)
        return std::nullopt;
    return std::pair{key[0], c.isUnsigned};
}

void KeyActions::count(const ServerChanges& done, const std::function<void(const std::string&, CodeList)>& removed)
{
    for (const ServerChange& change : done) {
        auto it =
            std::find_if(m_counts.begin(), m_counts.end(), [&](const KeyCount& c) { return c.table == change.table; });
        if (it == m_counts.end())
            it = m_counts.insert(m_counts.end(), KeyCount{change.table});
        (change.deleted ? it->deleted : it->changed) += change.before.size();
        const auto code = codeOf(change.table);
        if (!change.deleted || !code)
            continue;
        std::vector<std::int64_t> codes;
        for (const RowImage& row : change.before)
            codes.push_back(db::parseWhole(row[code->first].value_or("")).bits);
        removed(change.table, CodeList{codes, code->second});
    }
}

} // namespace cleanup
