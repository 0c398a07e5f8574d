#include "cleanup/ArchiveList.h"
#include "common/SystemFiles.h"

#include <ctime>
#include <stdexcept>

namespace cleanup
{

std::vector<ArchiveEntry> listArchives(const std::string& folder, const std::string& database)
{
    std::vector<ArchiveEntry> entries;
    for (ArchiveHeader& header : archivesOf(folder, headerName(database))) {
        ArchiveEntry entry{std::move(header), std::nullopt};
        try {
            entry.counts = countArchive(entry.header.path);
        } catch (const std::runtime_error&) {
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string describeArchive(const ArchiveEntry& e)
{
    // The run is named by nanoseconds since 1970.
    const std::string& run = e.header.run;
    const std::time_t started =
        run.size() > 9 ? static_cast<std::time_t>(std::stoll(run.substr(0, run.size() - 9))) : 0;
    const std::tm tm = sysfiles::localTime(started);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::string line = std::string(when) + "  ";
    if (e.counts)
        line += "удалено строк: " + std::to_string(e.counts->rows) +
                ", заменено значений: " + std::to_string(e.counts->values);
    else
        line += "архив повреждён";
    if (!e.header.complete)
        line += " (чистка прервана)";
    line += e.header.restored.empty() ? "  не восстановлен" : "  восстановлен " + e.header.restored;
    return line + "  " + e.header.path;
}

} // namespace cleanup
