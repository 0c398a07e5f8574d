#pragma once
// Rows read in a form that cannot lose a byte (hex for text and binary, exact numbers and dates) and
// written back as literals of their own columns' kinds: what the undo archive keeps of every row the
// cleanup deletes or changes, and what finds the rows the server's own keys reach.
#include "db/Connection.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup
{

// How one column's values are read and written back.
struct ImageColumn {
    enum Kind { Number, Float, Bit, Temporal, Text, Binary } kind = Binary;
    std::string name;           // UTF-8
    std::string charset;        // for Text
    bool isUnsigned = false;    // for Number
    std::uint64_t maxBytes = 0; // the most bytes a value can hold (text and binary; 0 for the others)

    // Text and binary values are read and written as hex.
    bool inHex() const { return kind == Text || kind == Binary; }
};

// One row: every stored column's value in its lossless form, in table order; nullopt for NULL.
using RowImage = std::vector<std::optional<std::string>>;

class RowImages
{
  public:
    explicit RowImages(db::Connection& c) : m_conn(c) {}

    // The table's stored columns (generated ones are computed again by the server), in table order.
    const std::vector<ImageColumn>& columns(std::string_view table);
    // The primary key's columns, as indexes into columns(); empty when the table has none.
    const std::vector<std::size_t>& primaryKey(std::string_view table);
    // The index of a column by name, or columns(table).size() when there is none.
    std::size_t indexOf(std::string_view table, std::string_view column);
    // The most bytes one row's image can hold, as the columns allow: hex is twice the bytes, and a
    // value of another kind is taken as 64 characters of text.
    std::uint64_t widestImage(std::string_view table);
    // The bytes of the image of each row that meets condition, by CODE, as widestImage counts them.
    std::map<std::int64_t, std::uint64_t> imageBytes(std::string_view table, const std::string& condition);
    // What names one row of the table: its primary key's values, or every value where it has none.
    std::string keyOf(std::string_view table, const RowImage& row);
    // The rows that meet condition, an SQL condition the caller built of names and checked literals.
    std::vector<RowImage> read(std::string_view table, const std::string& condition);

    // The select list read() reads a row with, and the images of rows read with it elsewhere.
    std::string selectList(std::string_view table);
    std::vector<RowImage> images(std::string_view table, const db::Rows& rows);
    // Runs statements that name the table's columns on a session that holds every one of the names
    // (the images' own connection).
    void onNamingSession(std::string_view table, const std::function<void()>& run);

  private:
    // The query's rows, read on a session that holds every name of the table.
    db::Rows namedQuery(std::string_view table, const std::string& sql);

    db::Connection& m_conn;
    std::map<std::string, std::vector<ImageColumn>, std::less<>> m_columns;
    std::map<std::string, std::vector<std::size_t>, std::less<>> m_keys;
};

// A literal of the column's kind; throws when the server's text is not of the form it must have.
std::string literal(const ImageColumn& c, const std::optional<std::string>& value);
// The same value as bytes to compare with: a text column's value without its character set, so a
// comparison with it is byte for byte.
std::string exactLiteral(const ImageColumn& c, const std::optional<std::string>& value);
// `name` with every backtick doubled: an identifier whatever it holds.
std::string quotedName(std::string_view name);

} // namespace cleanup
