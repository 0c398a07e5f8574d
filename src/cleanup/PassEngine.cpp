#include "cleanup/PassEngine.h"

namespace cleanup
{

PassProgress::PassProgress(SiteWindow& window, std::string_view title)
    : m_window(window), m_suffix(" - " + std::string(title))
{
    m_window.showTitle(std::string(title));
}

void PassProgress::examine()
{
    ++m_examined;
    ++m_sinceShown;
    if (m_examined % kRefreshEvery == 0)
        m_due.emplace_back(m_examined, m_affected);
}

void PassProgress::showDue()
{
    m_sinceShown = 0;
    // Taken out first: the events processed below must not find a half-shown list.
    const auto due = std::exchange(m_due, {});
    for (const auto& [examined, affected] : due)
        m_window.showProgress(std::to_string(examined) + "/" + std::to_string(affected) + m_suffix);
}

void RemovedRows::add(std::string_view table, CodeList codes)
{
    auto it = m_tables.find(table);
    if (it == m_tables.end())
        it = m_tables.emplace(std::string(table), CodeSet()).first;
    it->second.insert(codes);
}

const CodeSet& RemovedRows::of(std::string_view table) const
{
    static const CodeSet kNone;
    const auto it = m_tables.find(table);
    return it == m_tables.end() ? kNone : it->second;
}

CodeSet readCodes(PassContext& run, std::string_view table)
{
    if (run.holdParents)
        if (const auto held = run.heldParents.find(table); held != run.heldParents.end()) {
            held->second.erase(run.removed.of(table));
            return held->second;
        }
    // Page by page: the codes come in order, and a table's codes go straight into its bits.
    CodeSet set;
    std::vector<std::int64_t> codes;
    db::forEachPageAhead(run.conn, {"CODE", std::string(table), ""}, run.pageRows, run.pageAhead,
                         [&](const db::IntRows& page) {
                             codes.clear();
                             for (std::size_t i = 0; i < page.size(); ++i)
                                 codes.push_back(page.at(i, 0).value());
                             set.insert(CodeList{codes, page.isUnsigned(0)});
                         });
    set.erase(run.removed.of(table));
    if (run.holdParents)
        run.heldParents.emplace(std::string(table), set);
    return set;
}

namespace
{
ServerChanges withoutRemoved(PassContext& run, ServerChanges follows)
{
    if (run.removed.empty())
        return follows;
    ServerChanges kept;
    for (ServerChange& change : follows) {
        const CodeSet& removed = run.removed.of(change.table);
        const auto code = run.keys->codeOf(change.table);
        if (removed.empty() || !code) {
            kept.push_back(std::move(change));
            continue;
        }
        std::erase_if(change.before, [&](const RowImage& row) {
            const db::Whole w = db::parseWhole(row[code->first].value_or(""));
            return removed.contains(w.bits, code->second);
        });
        if (!change.before.empty())
            kept.push_back(std::move(change));
    }
    return kept;
}
} // namespace

ServerChanges deleteFollows(PassContext& run, std::string_view table, CodeList codes)
{
    if (!run.keys)
        return {};
    const bool locked = run.changes.lockRows(table, codes);
    try {
        return withoutRemoved(run, run.keys->beforeDelete(table, codes, locked));
    } catch (...) {
        run.changes.abandonBatch();
        throw;
    }
}

ServerChanges rewriteFollows(PassContext& run, std::string_view table, std::string_view column, CodeList codes,
                             const std::string& newValue)
{
    if (!run.keys)
        return {};
    const bool locked = run.changes.lockRows(table, codes);
    try {
        return withoutRemoved(run, run.keys->beforeRewrite(table, column, codes, newValue, locked));
    } catch (...) {
        run.changes.abandonBatch();
        throw;
    }
}

void recordFollows(PassContext& run, const ServerChanges& follows)
{
    if (!run.keys)
        return;
    run.keys->count(follows, [&](const std::string& table, CodeList codes) { run.removed.add(table, codes); });
    for (const ServerChange& change : follows) {
        const auto code = run.keys->codeOf(change.table);
        if (change.deleted || !code)
            continue;
        const std::vector<ImageColumn>& columns = run.keys->columns(change.table);
        for (const RowImage& row : change.before) {
            auto& values = run.rewritten[change.table][db::parseWhole(row[code->first].value_or("")).bits];
            for (std::size_t j = 0; j < change.columns.size(); ++j) {
                if (columns[change.columns[j]].kind != ImageColumn::Number)
                    continue;
                const auto& after = change.after[j];
                values[columns[change.columns[j]].name] =
                    after ? std::optional<std::int64_t>(db::parseWhole(*after).bits) : std::nullopt;
            }
        }
    }
}

std::optional<std::int64_t> PageColumns::value(const db::IntRows& page, std::size_t i, std::size_t k) const
{
    if (rewritten) {
        if (const auto row = rewritten->find(page.at(i, code).value()); row != rewritten->end())
            if (const auto v = row->second.find(names[k]); v != row->second.end())
                return v->second;
    }
    return page.at(i, judged[k]);
}

namespace
{
// Sends what is queued once a batch is full or enough rows have been examined, then shows the
// captions that fell due.
class Batches
{
  public:
    Batches(PassContext& run, PassProgress& progress, const std::function<void(bool)>& send)
        : m_run(run), m_progress(progress), m_send(send)
    {
    }
    void queued(std::size_t n, bool codesUnsigned)
    {
        m_pending += n;
        if (m_pending >= m_run.batchChanges || m_progress.batchDue())
            flush(codesUnsigned);
    }
    void flush(bool codesUnsigned)
    {
        if (m_pending > 0) {
            if (m_run.beforeBatch)
                m_run.beforeBatch();
            m_send(codesUnsigned);
        }
        m_pending = 0;
        m_progress.showDue();
    }

  private:
    PassContext& m_run;
    PassProgress& m_progress;
    const std::function<void(bool)>& m_send;
    std::size_t m_pending = 0;
};
} // namespace

void GatheredRows::put(std::uint64_t step)
{
    // Seven bits a byte, low bits first; the top bit says another byte follows.
    for (; step >= 0x80; step >>= 7)
        m_steps.push_back(static_cast<std::uint8_t>(step | 0x80));
    m_steps.push_back(static_cast<std::uint8_t>(step));
}

void GatheredRows::take(std::int64_t code)
{
    // Steps are taken modulo 2^64: exact whatever the codes' kind and however far apart they lie.
    const auto bits = static_cast<std::uint64_t>(code);
    put(m_examined - m_lastPlace);
    put(bits - m_lastCode);
    m_lastPlace = m_examined++;
    m_lastCode = bits;
}

bool GatheredRows::Reader::next(std::uint64_t& place, std::int64_t& code)
{
    const std::vector<std::uint8_t>& steps = m_rows.m_steps;
    if (m_at >= steps.size())
        return false;
    const auto step = [&] {
        std::uint64_t value = 0;
        for (unsigned shift = 0;; shift += 7) {
            const std::uint8_t b = steps[m_at++];
            value |= static_cast<std::uint64_t>(b & 0x7f) << shift;
            if (!(b & 0x80))
                return value;
        }
    };
    m_place += step();
    m_code += step();
    place = m_place;
    code = static_cast<std::int64_t>(m_code);
    return true;
}

void replayRows(PassContext& run, PassProgress& progress, const GatheredRows& rows,
                const std::function<void(std::int64_t code)>& take, const std::function<void(bool)>& send)
{
    Batches batches(run, progress, send);
    GatheredRows::Reader taken(rows);
    std::uint64_t place = 0;
    std::int64_t code = 0;
    bool more = taken.next(place, code);
    for (std::uint64_t n = 0; n < rows.examined(); ++n) {
        progress.examine();
        std::size_t queued = 0;
        if (more && place == n) {
            take(code);
            more = taken.next(place, code);
            queued = 1;
        }
        progress.countAffected(queued);
        batches.queued(queued, rows.codesUnsigned);
    }
    batches.flush(rows.codesUnsigned);
}

void walkRows(PassContext& run, PassProgress& progress, const CodeSet& removedEarlier, const RowJudge& pass)
{
    PageColumns cols;
    Batches batches(run, progress, pass.send);
    db::forEachPageAhead(run.conn, pass.list, run.pageRows, run.pageAhead, [&](const db::IntRows& page) {
        cols.code = page.column("CODE");
        cols.codesUnsigned = page.isUnsigned(cols.code);
        cols.judged.clear();
        for (std::string_view name : pass.judged)
            cols.judged.push_back(page.column(name));
        cols.names = pass.judged;
        const auto rewritten = run.rewritten.find(pass.list.table);
        cols.rewritten = rewritten == run.rewritten.end() ? nullptr : &rewritten->second;
        for (std::size_t i = 0; i < page.size(); ++i) {
            if (removedEarlier.contains(page.at(i, cols.code).value(), cols.codesUnsigned))
                continue; // gone in an earlier pass: not in the table any more
            progress.examine();
            const std::size_t queued = pass.judge(page, cols, i);
            progress.countAffected(queued);
            batches.queued(queued, cols.codesUnsigned);
        }
    });
    batches.flush(cols.codesUnsigned);
}

} // namespace cleanup
