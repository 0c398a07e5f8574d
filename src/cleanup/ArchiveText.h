#pragma once
// The text of undo archives: the checks every value passes before it becomes SQL, and reading an
// archive's header back.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup
{

// Every undo archive's name starts so: the run's stamp and ".sql" follow.
inline constexpr std::string_view kArchivePrefix = "cleanup-undo-";

// Each returns its argument when it has the form the server writes for that kind of value and
// throws std::runtime_error naming it otherwise: digits with sign, point and exponent; a date or
// time; hex digits; a character set's name.
std::string checkedNumber(const std::string& text);
std::string checkedTemporal(const std::string& text);
std::string checkedHex(const std::string& text);
std::string checkedCharset(const std::string& text);
// "YYYYMMDD-HHMMSS" in local time: the stamp in the names of a run's files.
std::string fileStamp(std::time_t when);
// "YYYY-MM-DD HH:MM:SS" in local time: when a run began or an archive was put back, as shown.
std::string shownTime(std::time_t when);
// When a run began, from its number (decimal nanoseconds since 1970), as shownTime writes it.
std::string runStartedAt(const std::string& run);
// The bytes a string of hex digits stands for.
std::string fromHex(std::string_view hex);
// A database name as the header writes it: as it is when it holds no control character, else
// "x:" and its hex.
std::string headerName(const std::string& name);

struct ArchiveHeader {
    std::string path;
    std::string database;  // as headerName writes it
    std::string run;       // decimal nanoseconds since 1970: later runs have larger numbers
    std::string previous;  // the archive of the unfinished run before it, if it named one
    bool complete = false; // the run ended normally
    std::string restored;  // when it was put back, if it was
    std::string begun;     // the set of archives of the last restore in parts begun with it, if any
    // Where an abandoned restore left it: statements before upToLine are back, and the first upToRows
    // rows of the one at it (upToLine 0: nothing of it).
    std::size_t upToLine = 0, upToRows = 0;
};
// Reads an archive's header and whether it ends complete; nothing when the file is no archive.
std::optional<ArchiveHeader> readArchiveHeader(const std::string& path);
// The archives of this database (as headerName writes it) in the folder, newest run first.
std::vector<ArchiveHeader> archivesOf(const std::string& folder, const std::string& database);
// The newest archive of an unfinished run on this database in the folder, if any.
std::optional<ArchiveHeader> newestUnfinishedArchive(const std::string& folder, const std::string& database);
// Orders runs: true when a ran before b.
bool runBefore(const ArchiveHeader& a, const ArchiveHeader& b);

} // namespace cleanup
