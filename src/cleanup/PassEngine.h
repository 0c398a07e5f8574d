#pragma once
// What every cleanup pass shares: its title in the caption, the examined and affected counters with
// the progress caption every 250 examined rows, the walk over a row list held by the client, and the
// existence test of one reference value.
#include "common/SiteWindow.h"
#include "db/Connection.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace cleanup
{

// Every cleanup pass refreshes its caption after this many examined rows.
inline constexpr std::uint64_t kRefreshEvery = 250;

class PassProgress
{
  public:
    // Shows the bare title and lets pending events run.
    PassProgress(SiteWindow& window, std::string_view title);

    // Walks the rows in order. Each row is counted as examined, and the caption refreshed when the
    // count reaches a multiple of the interval, before the row is handed on, so the affected number
    // shown never includes the row being looked at.
    void walk(const db::Rows& rows, const std::function<void(const db::Rows::Row&)>& examine);

    void countAffected() { ++m_affected; }
    std::uint64_t examined() const { return m_examined; }
    std::uint64_t affected() const { return m_affected; }

  private:
    SiteWindow& m_window;
    std::string m_suffix;
    std::uint64_t m_examined = 0;
    std::uint64_t m_affected = 0;
};

// A code read from a row, as decimal text for a statement. Anything but a whole number ends the
// run rather than reaching the server as part of a statement.
std::string codeText(const std::string& cell);

// True when the reference names a parent that the existence query does not find. A NULL reference
// names no parent at all and is never taken for a missing one.
bool parentMissing(db::Connection& c, std::string_view existsQuery, const std::optional<std::string>& reference);

// One line of the summary text: the label, the number, and a bare carriage return.
std::string summaryLine(std::string_view label, std::uint64_t affected);

} // namespace cleanup
