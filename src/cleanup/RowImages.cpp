#include "cleanup/RowImages.h"

#include "cleanup/ArchiveText.h"

#include <algorithm>

namespace cleanup
{
namespace
{
ImageColumn::Kind kindOf(const std::string& type, const std::string& charset)
{
    static const char* const numbers[] = {"tinyint", "smallint", "mediumint", "int", "integer",
                                          "bigint",  "decimal",  "numeric",   "year"};
    static const char* const temporal[] = {"date", "time", "datetime", "timestamp"};
    static const char* const texts[] = {"char",     "varchar", "tinytext", "text", "mediumtext",
                                        "longtext", "enum",    "set",      "json"};
    const auto in = [&](const auto& list) {
        return std::find(std::begin(list), std::end(list), type) != std::end(list);
    };
    if (in(numbers))
        return ImageColumn::Number;
    if (type == "float" || type == "double" || type == "real")
        return ImageColumn::Float;
    if (type == "bit")
        return ImageColumn::Bit;
    if (in(temporal))
        return ImageColumn::Temporal;
    if (in(texts) && !charset.empty() && charset != "binary")
        return ImageColumn::Text;
    return ImageColumn::Binary;
}

// What the server is asked for: a form of the value that cannot lose a byte on the way.
std::string selectExpression(const ImageColumn& c)
{
    const std::string name = quotedName(c.name);
    switch (c.kind) {
    case ImageColumn::Number:
        return name;
    case ImageColumn::Float:
        return "CAST(" + name + " AS DOUBLE)"; // a FLOAT's exact value, which a FLOAT takes back unchanged
    case ImageColumn::Bit:
        return "CAST(" + name + " AS UNSIGNED)";
    case ImageColumn::Temporal:
        return "CAST(" + name + " AS CHAR)";
    default:
        return "HEX(" + name + ")";
    }
}

// A name as a string of bytes, compared byte for byte with the server's.
std::string nameLiteral(std::string_view name)
{
    static const char* const digits = "0123456789ABCDEF";
    std::string hex = "X'";
    for (unsigned char c : name)
        hex += std::string{digits[c >> 4], digits[c & 15]};
    return hex + "'";
}

bool outsideAscii(const std::string& s)
{
    return std::any_of(s.begin(), s.end(), [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; });
}
} // namespace

std::string quotedName(std::string_view name)
{
    std::string out = "`";
    for (char c : name)
        out += c == '`' ? std::string("``") : std::string(1, c);
    return out + "`";
}

std::string literal(const ImageColumn& c, const std::optional<std::string>& value)
{
    if (!value)
        return "NULL";
    switch (c.kind) {
    case ImageColumn::Number:
    case ImageColumn::Float:
    case ImageColumn::Bit:
        return checkedNumber(*value);
    case ImageColumn::Temporal:
        return "'" + checkedTemporal(*value) + "'";
    case ImageColumn::Text:
        return "_" + c.charset + " X'" + checkedHex(*value) + "'";
    default:
        return "X'" + checkedHex(*value) + "'";
    }
}

std::string exactLiteral(const ImageColumn& c, const std::optional<std::string>& value)
{
    if (value && c.kind == ImageColumn::Text)
        return "X'" + checkedHex(*value) + "'";
    return literal(c, value);
}

const std::vector<ImageColumn>& RowImages::columns(std::string_view table)
{
    if (const auto it = m_columns.find(table); it != m_columns.end())
        return it->second;
    // Names come as hex, so that no character of theirs is lost on the cp1251 session.
    const db::Rows rows = m_conn.query(
        "select HEX(COLUMN_NAME) as n, DATA_TYPE as t, IFNULL(CHARACTER_SET_NAME,'') as c, IS_GENERATED as g, "
        "COLUMN_TYPE like '%unsigned%' as u, IFNULL(CHARACTER_OCTET_LENGTH,0) as b "
        "from information_schema.COLUMNS where TABLE_SCHEMA=DATABASE() and TABLE_NAME=" +
        nameLiteral(table) + " order by ORDINAL_POSITION");
    std::vector<ImageColumn> columns;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].text("g").value_or("NEVER") != "NEVER")
            continue; // generated: the server computes it again
        ImageColumn c;
        c.name = fromHex(checkedHex(rows[i].text("n").value_or("")));
        c.charset = checkedCharset(rows[i].text("c").value_or(""));
        c.kind = kindOf(rows[i].text("t").value_or(""), c.charset);
        c.isUnsigned = rows[i].text("u").value_or("0") == "1";
        if (c.inHex())
            c.maxBytes = static_cast<std::uint64_t>(db::parseWhole(rows[i].text("b").value_or("0")).bits);
        columns.push_back(std::move(c));
    }
    return m_columns.emplace(std::string(table), std::move(columns)).first->second;
}

std::uint64_t RowImages::widestImage(std::string_view table)
{
    std::uint64_t bytes = 0;
    for (const ImageColumn& c : columns(table))
        bytes += c.inHex() ? 2 * c.maxBytes : 64;
    return bytes;
}

std::map<std::int64_t, std::uint64_t> RowImages::imageBytes(std::string_view table, const std::string& condition)
{
    std::string bytes = "0";
    for (const ImageColumn& c : columns(table))
        bytes += c.inHex() ? "+2*IFNULL(LENGTH(" + quotedName(c.name) + "),0)" : std::string("+64");
    const db::Rows rows =
        namedQuery(table, "select CODE as c, " + bytes + " as n from " + quotedName(table) + " where " + condition);
    std::map<std::int64_t, std::uint64_t> sizes;
    for (std::size_t i = 0; i < rows.size(); ++i)
        sizes[db::parseWhole(rows[i].text("c").value_or("")).bits] =
            static_cast<std::uint64_t>(db::parseWhole(rows[i].text("n").value_or("0")).bits);
    return sizes;
}

std::size_t RowImages::indexOf(std::string_view table, std::string_view column)
{
    const std::vector<ImageColumn>& cols = columns(table);
    const auto it = std::find_if(cols.begin(), cols.end(), [&](const ImageColumn& c) { return c.name == column; });
    return static_cast<std::size_t>(it - cols.begin());
}

const std::vector<std::size_t>& RowImages::primaryKey(std::string_view table)
{
    if (const auto it = m_keys.find(table); it != m_keys.end())
        return it->second;
    const db::Rows rows = m_conn.query("select HEX(COLUMN_NAME) as n from information_schema.KEY_COLUMN_USAGE "
                                       "where TABLE_SCHEMA=DATABASE() and CONSTRAINT_NAME='PRIMARY' and TABLE_NAME=" +
                                       nameLiteral(table) + " order by ORDINAL_POSITION");
    std::vector<std::size_t> key;
    for (std::size_t i = 0; i < rows.size(); ++i)
        key.push_back(indexOf(table, fromHex(checkedHex(rows[i].text("n").value_or("")))));
    if (std::find(key.begin(), key.end(), columns(table).size()) != key.end())
        key.clear(); // a generated column in the key: the image cannot name the row
    return m_keys.emplace(std::string(table), std::move(key)).first->second;
}

std::string RowImages::keyOf(std::string_view table, const RowImage& row)
{
    const std::vector<ImageColumn>& cols = columns(table);
    std::vector<std::size_t> key = primaryKey(table);
    if (key.empty())
        for (std::size_t k = 0; k < cols.size(); ++k)
            key.push_back(k);
    std::string text;
    for (std::size_t k : key)
        text += exactLiteral(cols[k], row[k]) + ",";
    return text;
}

void RowImages::onNamingSession(std::string_view table, const std::function<void()>& run)
{
    bool utf8Names = outsideAscii(std::string(table));
    for (const ImageColumn& c : columns(table))
        utf8Names = utf8Names || outsideAscii(c.name);
    // A name outside cp1251 is sent on a utf8mb4 session for this one statement.
    if (utf8Names)
        m_conn.useUtf8Session(true);
    try {
        run();
    } catch (...) {
        if (utf8Names)
            m_conn.useUtf8Session(false);
        throw;
    }
    if (utf8Names)
        m_conn.useUtf8Session(false);
}

db::Rows RowImages::namedQuery(std::string_view table, const std::string& sql)
{
    db::Rows rows;
    onNamingSession(table, [&] { rows = m_conn.query(sql); });
    return rows;
}

std::string RowImages::selectList(std::string_view table)
{
    const std::vector<ImageColumn>& cols = columns(table);
    std::string select;
    for (std::size_t k = 0; k < cols.size(); ++k)
        select += (k ? "," : "") + selectExpression(cols[k]);
    return select;
}

std::vector<RowImage> RowImages::images(std::string_view table, const db::Rows& rows)
{
    const std::size_t width = columns(table).size();
    std::vector<RowImage> images(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t k = 0; k < width; ++k)
            images[r].push_back(rows[r].cell(k));
    return images;
}

std::vector<RowImage> RowImages::read(std::string_view table, const std::string& condition)
{
    return images(
        table, namedQuery(table, "select " + selectList(table) + " from " + quotedName(table) + " where " + condition));
}

} // namespace cleanup
