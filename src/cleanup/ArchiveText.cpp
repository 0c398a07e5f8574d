#include "cleanup/ArchiveText.h"
#include "common/SystemFiles.h"

#include "cleanup/UndoArchive.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace cleanup
{
namespace
{
std::string checked(const std::string& text, std::string_view allowed, const char* what)
{
    if (text.empty() && std::string_view(what) != "hex")
        throw std::runtime_error(std::string("пустое значение вместо ") + what);
    for (char c : text)
        if (allowed.find(c) == std::string_view::npos)
            throw std::runtime_error("сервер вернул «" + text + "» вместо " + what);
    return text;
}
} // namespace

std::string checkedNumber(const std::string& text)
{
    return checked(text, "0123456789+-.eE", "числа");
}

std::string checkedTemporal(const std::string& text)
{
    return checked(text, "0123456789-: .", "даты или времени");
}

std::string checkedHex(const std::string& text)
{
    if (text.size() % 2 != 0)
        throw std::runtime_error("нечётное число шестнадцатеричных цифр");
    return checked(text, "0123456789ABCDEFabcdef", "hex");
}

std::string checkedCharset(const std::string& text)
{
    return text.empty() ? text : checked(text, "abcdefghijklmnopqrstuvwxyz0123456789_", "имени кодировки");
}

std::string fileStamp(std::time_t when)
{
    const std::tm local = sysfiles::localTime(when);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}

std::string shownTime(std::time_t when)
{
    const std::tm local = sysfiles::localTime(when);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

std::string runStartedAt(const std::string& run)
{
    return shownTime(run.size() > 9 ? static_cast<std::time_t>(std::stoll(run.substr(0, run.size() - 9))) : 0);
}

std::string fromHex(std::string_view hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

std::string headerName(const std::string& name)
{
    if (std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return name;
    static const char* digits = "0123456789ABCDEF";
    std::string hex = "x:";
    for (char c : name) {
        hex += digits[static_cast<unsigned char>(c) >> 4];
        hex += digits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}

std::optional<ArchiveHeader> readArchiveHeader(const std::string& path)
{
    std::ifstream in(sysfiles::pathOf(path), std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != kArchiveMark)
        return std::nullopt;
    ArchiveHeader h;
    h.path = path;
    // The header is the run of comment lines at the top; archives can be large, so only it and the
    // file's last line are read.
    while (std::getline(in, line) && line.starts_with("--")) {
        if (line.starts_with(kArchiveDatabase) && h.database.empty())
            h.database = line.substr(kArchiveDatabase.size());
        else if (line.starts_with(kArchiveRun) && h.run.empty())
            h.run = line.substr(kArchiveRun.size());
        else if (line.starts_with(kArchivePrevious) && h.previous.empty())
            h.previous = line.substr(kArchivePrevious.size());
    }
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - 4096);
    in.seekg(from);
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    // The lines a restore appends come after the run's own end; the last of each kind holds.
    bool upToSeen = false;
    for (;;) {
        while (!tail.empty() && tail.back() == '\n')
            tail.pop_back();
        const std::size_t start = tail.rfind('\n');
        const std::string last = tail.substr(start == std::string::npos ? 0 : start + 1);
        if (last.starts_with(kArchiveRestored)) {
            if (h.restored.empty())
                h.restored = last.substr(kArchiveRestored.size());
        } else if (last.starts_with(kArchiveRestoreBegun)) {
            if (h.begun.empty())
                h.begun = last.substr(kArchiveRestoreBegun.size());
        } else if (last.starts_with(kArchiveRestoredUpTo)) {
            std::istringstream at(last.substr(kArchiveRestoredUpTo.size()));
            std::size_t line = 0, rows = 0;
            if (!(at >> line >> rows))
                return std::nullopt;
            if (!std::exchange(upToSeen, true))
                h.upToLine = line, h.upToRows = rows;
        } else {
            break;
        }
        tail.erase(start == std::string::npos ? 0 : start);
    }
    h.complete = tail.ends_with("\n" + std::string(kArchiveComplete)) || tail == kArchiveComplete;
    if (h.database.empty() || h.run.empty() || h.run.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return h;
}

bool runBefore(const ArchiveHeader& a, const ArchiveHeader& b)
{
    return a.run.size() != b.run.size() ? a.run.size() < b.run.size() : a.run < b.run;
}

std::vector<ArchiveHeader> archivesOf(const std::string& folder, const std::string& database)
{
    std::vector<ArchiveHeader> found;
    for (const std::string& name : sysfiles::namesIn(folder)) {
        if (!name.starts_with(kArchivePrefix) || !name.ends_with(".sql"))
            continue;
        if (auto h = readArchiveHeader(folder + name); h && h->database == database)
            found.push_back(std::move(*h));
    }
    std::sort(found.begin(), found.end(),
              [](const ArchiveHeader& a, const ArchiveHeader& b) { return runBefore(b, a); });
    return found;
}

std::optional<ArchiveHeader> newestUnfinishedArchive(const std::string& folder, const std::string& database)
{
    for (ArchiveHeader& h : archivesOf(folder, database))
        if (!h.complete)
            return std::move(h);
    return std::nullopt;
}

} // namespace cleanup
