#include "db/Rows.h"

#include <charconv>
#include <stdexcept>

namespace db
{
namespace
{
bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::size_t findColumn(const std::vector<std::string>& columns, std::string_view name)
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (equalNoCase(columns[i], name))
            return i;
    throw std::out_of_range("в результате нет столбца " + std::string(name));
}
} // namespace

Rows::Rows(std::vector<std::string> columns, std::vector<std::optional<std::string>> cells)
    : m_columns(std::move(columns)), m_cells(std::move(cells))
{
}

std::size_t Rows::column(std::string_view name) const
{
    return findColumn(m_columns, name);
}

Rows::Row Rows::front() const
{
    if (empty())
        throw std::out_of_range("результат запроса пуст");
    return Row(*this, 0);
}

std::optional<std::int64_t> Rows::Row::optInt(std::string_view name) const
{
    const auto& t = text(name);
    if (!t)
        return std::nullopt;
    return parseInt(*t);
}

IntRows::IntRows(std::vector<std::string> columns, std::vector<std::int64_t> values, std::vector<bool> nulls,
                 std::vector<bool> unsignedColumns)
    : m_columns(std::move(columns)), m_values(std::move(values)), m_nulls(std::move(nulls)),
      m_unsigned(std::move(unsignedColumns))
{
}

std::string wholeText(std::int64_t bits, bool isUnsigned)
{
    return isUnsigned ? std::to_string(static_cast<std::uint64_t>(bits)) : std::to_string(bits);
}

Whole parseWhole(std::string_view text)
{
    const char* end = text.data() + text.size();
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec == std::errc() && p == end && !text.empty())
        return {v, false};
    std::uint64_t u = 0;
    auto [q, ec2] = std::from_chars(text.data(), end, u);
    if (ec2 == std::errc() && q == end && !text.empty())
        return {static_cast<std::int64_t>(u), true};
    throw std::invalid_argument("не целое число: '" + std::string(text) + "'");
}

std::size_t IntRows::column(std::string_view name) const
{
    return findColumn(m_columns, name);
}

std::int64_t parseInt(std::string_view text)
{
    std::int64_t v = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty())
        throw std::invalid_argument("не целое число: '" + std::string(text) + "'");
    return v;
}

} // namespace db
