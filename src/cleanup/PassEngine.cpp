#include "cleanup/PassEngine.h"

namespace cleanup
{

PassProgress::PassProgress(SiteWindow& window, std::string_view title)
    : m_window(window), m_suffix(" - " + std::string(title))
{
    showProgress(m_window, std::string(title));
}

void PassProgress::walk(const db::Rows& rows, const std::function<void(const db::Rows::Row&)>& examine)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ++m_examined;
        if (m_examined % kRefreshEvery == 0)
            showProgress(m_window, std::to_string(m_examined) + "/" + std::to_string(m_affected) + m_suffix);
        examine(rows[i]);
    }
}

std::string codeText(const std::string& cell)
{
    return std::to_string(db::parseInt(cell));
}

bool parentMissing(db::Connection& c, std::string_view existsQuery, const std::optional<std::string>& reference)
{
    if (!reference)
        return false;
    return c.query(std::string(existsQuery) + codeText(*reference)).empty();
}

std::string summaryLine(std::string_view label, std::uint64_t affected)
{
    return std::string(label) + std::to_string(affected) + "\r";
}

} // namespace cleanup
