#pragma once
// The site's own foreign keys and triggers, and what they mean for a cleanup before it changes
// anything: which keys act on the rows it deletes or the authorship values it replaces (directly or
// through the rows those keys delete or rewrite in turn), which of them could stop it, which
// triggers fire on its statements, and what the tool could not put back.
#include "db/Connection.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cleanup
{

struct ForeignKey {
    std::string name;   // the constraint (UTF-8, as every name here)
    std::string child;  // the referencing table
    std::string parent; // the referenced table
    std::vector<std::string> childColumns, parentColumns;
    std::string onDelete, onUpdate; // CASCADE, SET NULL, RESTRICT, NO ACTION or SET DEFAULT
    bool childElsewhere = false;    // the referencing table is in another database

    // A rule that makes the server refuse the change while a referencing row exists.
    static bool blocks(const std::string& rule) { return rule != "CASCADE" && rule != "SET NULL"; }
};

struct Trigger {
    std::string name, table, timing, event; // timing BEFORE/AFTER, event DELETE/UPDATE/INSERT
};

// What a cleanup changes by its own statements.
struct RunTargets {
    std::vector<std::string_view> deletedFrom;
    std::vector<std::pair<std::string_view, std::string_view>> rewritten; // table, column
};

struct KeyPlan {
    std::vector<ForeignKey> reached;   // keys that act on the run's changes, directly or in turn
    std::vector<ForeignKey> blocking;  // reached keys whose rule refuses a change while referenced
    std::vector<Trigger> triggers;     // triggers that fire on the run's own statements
    std::vector<std::string> refusals; // keys whose effects the archive could not put back, why
};

// Reads the keys and triggers of the connection's database and walks them from the run's targets.
KeyPlan planKeys(db::Connection& c, const RunTargets& targets);

// "name (BEFORE DELETE на tbl_link)": a trigger as messages name it.
std::string triggerText(const Trigger& t);

} // namespace cleanup
