#pragma once
// A result read in full by the client: the caller walks it forward while it sends further
// statements on the same connection. Columns are found by name (case-insensitively, as the
// site's column names are upper case and aliases lower case); NULL stays visible.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db
{

class Rows
{
  public:
    Rows() = default;
    Rows(std::vector<std::string> columns, std::vector<std::optional<std::string>> cells);

    std::size_t size() const { return m_columns.empty() ? 0 : m_cells.size() / m_columns.size(); }
    bool empty() const { return size() == 0; }
    const std::vector<std::string>& columns() const { return m_columns; }

    // Index of a column by name; throws std::out_of_range naming the column when there is none.
    std::size_t column(std::string_view name) const;

    class Row
    {
      public:
        Row(const Rows& rows, std::size_t index) : m_rows(&rows), m_index(index) {}
        // Text of the column (UTF-8), or nullopt for NULL.
        const std::optional<std::string>& text(std::string_view name) const { return cell(m_rows->column(name)); }
        const std::optional<std::string>& cell(std::size_t col) const
        {
            return m_rows->m_cells[m_index * m_rows->m_columns.size() + col];
        }
        // Whole number of the column, or nullopt for NULL. Throws std::invalid_argument for other text.
        std::optional<std::int64_t> optInt(std::string_view name) const;

      private:
        const Rows* m_rows;
        std::size_t m_index;
    };

    Row operator[](std::size_t i) const { return Row(*this, i); }
    Row front() const;

  private:
    std::vector<std::string> m_columns;
    std::vector<std::optional<std::string>> m_cells;
};

// A result whose columns all hold whole numbers, read in blocks and kept compactly: the long row
// lists of the maintenance passes (a million rows of two columns take about 18 MB).
// Values of 64-bit columns are kept as 64 bits; a column of the unsigned kind (BIGINT UNSIGNED
// codes of 2^63 and more) says so, and its values are read and written as unsigned numbers.
class IntRows
{
  public:
    IntRows() = default;
    IntRows(std::vector<std::string> columns, std::vector<std::int64_t> values, std::vector<bool> nulls,
            std::vector<bool> unsignedColumns = {});

    std::size_t size() const { return m_columns.empty() ? 0 : m_values.size() / m_columns.size(); }
    bool empty() const { return size() == 0; }
    const std::vector<std::string>& columns() const { return m_columns; }
    // Index of a column by name; throws std::out_of_range naming the column when there is none.
    std::size_t column(std::string_view name) const;
    // The value of a cell, or nullopt for NULL.
    std::optional<std::int64_t> at(std::size_t row, std::size_t col) const
    {
        const std::size_t i = row * m_columns.size() + col;
        if (m_nulls[i])
            return std::nullopt;
        return m_values[i];
    }
    bool isUnsigned(std::size_t col) const { return col < m_unsigned.size() && m_unsigned[col]; }

  private:
    std::vector<std::string> m_columns;
    std::vector<std::int64_t> m_values;
    std::vector<bool> m_nulls;
    std::vector<bool> m_unsigned;
};

// A whole number as the server holds it: 64 bits, read as unsigned when isUnsigned.
struct Whole {
    std::int64_t bits = 0;
    bool isUnsigned = false;
};
// Its decimal text, for SQL.
std::string wholeText(std::int64_t bits, bool isUnsigned);
// Parses "-12" or "18446744073709551615" exactly; a value past the signed range is unsigned.
// Throws std::invalid_argument for anything else.
Whole parseWhole(std::string_view text);

// Parses an integer exactly as the server writes it ("-12"); throws std::invalid_argument otherwise.
std::int64_t parseInt(std::string_view text);

} // namespace db
