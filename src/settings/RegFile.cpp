#include "settings/RegFile.h"

#include "common/ExecutableFolder.h"
#include "common/SystemFiles.h"
#include "common/TextCodec.h"
#include "common/TextFile.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace RegFile
{
namespace
{

struct Line {
    enum Kind { Other, Section, Value } kind = Other;
    std::string raw;  // the line as read (kept for Other lines)
    std::string name; // section path or value name
    std::string value;
    bool damaged = false; // a section heading that does not close: it names no key
};

struct Split {
    std::string key;
    std::string name;
};

Split splitPath(const std::string& path)
{
    const auto pos = path.rfind('\\');
    if (pos == std::string::npos)
        return {path, ""};
    return {path.substr(0, pos), path.substr(pos + 1)};
}

std::string quote(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

// Reads a quoted string starting at s[pos] == '"'; on success sets pos past the closing quote.
bool unquote(const std::string& s, std::size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (++i >= s.size())
                return false;
            switch (s[i]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return false;
            }
        } else {
            out += c;
        }
    }
    return false;
}

// A key path is written between the brackets as it is, but for the three characters that would
// break the line or its reading back: '%', CR and LF become %25, %0D and %0A.
std::string encodeKey(const std::string& key)
{
    std::string out;
    for (const char c : key)
        out += c == '%' ? "%25" : c == '\r' ? "%0D" : c == '\n' ? "%0A" : std::string(1, c);
    return out;
}

std::string decodeKey(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view code = std::string_view(text).substr(i, 3);
        if (code == "%25" || code == "%0D" || code == "%0A") {
            out += code == "%25" ? '%' : code == "%0D" ? '\r' : '\n';
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

Line parseLine(const std::string& raw)
{
    Line l;
    l.raw = raw;
    // Every line that opens with '[' starts a section, so the values below a damaged heading never
    // fall to the section above it. One that does not close with ']' names no key anybody can ask for.
    if (!raw.empty() && raw.front() == '[') {
        l.kind = Line::Section;
        l.damaged = raw.size() < 2 || raw.back() != ']';
        if (!l.damaged)
            l.name = decodeKey(raw.substr(1, raw.size() - 2));
        return l;
    }
    std::size_t pos = 0;
    std::string name;
    if (raw.rfind("@=", 0) == 0) {
        pos = 1;
    } else if (!unquote(raw, pos, name)) {
        return l;
    }
    if (pos >= raw.size() || raw[pos] != '=')
        return l;
    ++pos;
    std::string value;
    if (!unquote(raw, pos, value) || pos != raw.size())
        return l;
    l.kind = Line::Value;
    l.name = name;
    l.value = value;
    return l;
}

std::vector<Line> load(const std::string& file)
{
    std::vector<Line> lines;
    std::ifstream in(sysfiles::pathOf(file), std::ios::binary);
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        lines.push_back(parseLine(raw));
    }
    return lines;
}

std::string render(const Line& l)
{
    switch (l.kind) {
    case Line::Section:
        return l.damaged ? l.raw : "[" + encodeKey(l.name) + "]";
    case Line::Value:
        return (l.name.empty() ? std::string("@") : quote(l.name)) + "=" + quote(l.value);
    default:
        return l.raw;
    }
}

bool sameName(const std::string& a, const std::string& b)
{
    return foldCase(a) == foldCase(b);
}

// Index range [begin, end) of the lines under the section, or nothing.
std::optional<std::pair<std::size_t, std::size_t>> findSection(const std::vector<Line>& lines, const std::string& key)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Section && !lines[i].damaged && sameName(lines[i].name, key)) {
            std::size_t end = i + 1;
            while (end < lines.size() && lines[end].kind != Line::Section)
                ++end;
            return std::make_pair(i + 1, end);
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> findValue(const std::vector<Line>& lines, const Split& p)
{
    const auto sec = findSection(lines, p.key);
    if (!sec)
        return std::nullopt;
    for (std::size_t i = sec->first; i < sec->second; ++i)
        if (lines[i].kind == Line::Value && sameName(lines[i].name, p.name))
            return i;
    return std::nullopt;
}

[[noreturn]] void fail(const std::string& file, int err)
{
    throw SystemError(err, "Не удалось сохранить настройку в " + file + ": " + systemErrorText(err));
}

std::string folderOf(const std::string& file)
{
    const auto pos = file.find_last_of("/\\");
    return pos == std::string::npos ? "." : file.substr(0, pos == 0 ? 1 : pos);
}

void replaceFile(const std::string& file, const std::vector<Line>& lines)
{
    std::string text = "; tk_corvane settings of this user, in registry layout\n";
    bool first = true;
    for (const Line& l : lines) {
        if (first && l.kind == Line::Other && l.raw.rfind("; tk_corvane settings", 0) == 0) {
            first = false;
            continue; // our own heading, written again above
        }
        first = false;
        text += render(l) + "\n";
    }
    const std::string tmp = file + ".tmp." + std::to_string(sysfiles::processId());
    auto out = sysfiles::WrittenFile::open(tmp, sysfiles::WrittenFile::Mode::Replace);
    if (!out)
        fail(tmp, sysfiles::lastError());
    if (!out->write(text) || !out->sync() || !out->close()) {
        const int err = sysfiles::lastError();
        out.reset();
        sysfiles::removeFile(tmp);
        fail(file, err);
    }
    out.reset();
    if (!sysfiles::replaceFile(tmp, file)) {
        const int err = sysfiles::lastError();
        sysfiles::removeFile(tmp);
        fail(file, err);
    }
}

} // namespace

std::string foldCase(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b >= 'A' && b <= 'Z') {
            out += static_cast<char>(b - 'A' + 'a');
        } else if ((b == 0xD0 || b == 0xD1) && i + 1 < s.size()) {
            // Two-byte sequences of the Cyrillic block U+0400..U+047F.
            char32_t cp = ((b & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
            if (cp >= 0x0410 && cp <= 0x042F)
                cp += 0x20;
            else if (cp >= 0x0400 && cp <= 0x040F)
                cp += 0x50;
            utf8::append(out, cp);
            ++i;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::optional<std::string> read(const std::string& file, const std::string& valuePath)
{
    const auto lines = load(file);
    if (const auto i = findValue(lines, splitPath(valuePath)))
        return lines[*i].value;
    return std::nullopt;
}

void write(const std::string& file, const std::string& valuePath, const std::string& value)
{
    if (!makeFolders(folderOf(file)))
        fail(folderOf(file), sysfiles::lastError());
    const sysfiles::FileLock lock(file + ".lock");
    auto lines = load(file);
    const Split p = splitPath(valuePath);
    Line v;
    v.kind = Line::Value;
    v.name = p.name;
    v.value = value;
    if (const auto i = findValue(lines, p)) {
        v.name = lines[*i].name; // keep the spelling the value was created with
        lines[*i] = v;
    } else if (const auto sec = findSection(lines, p.key)) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sec->second), v);
    } else {
        Line s;
        s.kind = Line::Section;
        s.name = p.key;
        lines.push_back(s);
        lines.push_back(v);
    }
    replaceFile(file, lines);
}

void remove(const std::string& file, const std::string& valuePath) noexcept
{
    try {
        const sysfiles::FileLock lock(file + ".lock");
        auto lines = load(file);
        if (const auto i = findValue(lines, splitPath(valuePath))) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*i));
            replaceFile(file, lines);
        }
    } catch (...) {
        // deleting is best effort
    }
}

} // namespace RegFile
