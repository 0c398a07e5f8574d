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
    std::string line = runStartedAt(e.header.run) + "  ";
    if (e.counts)
        line += "удалено строк: " + std::to_string(e.counts->rows) +
                ", заменено значений: " + std::to_string(e.counts->values);
    else
        line += "архив повреждён";
    if (!e.header.complete)
        line += " (чистка прервана)";
    line += !e.header.restored.empty() ? "  восстановлен " + e.header.restored
            : e.header.upToLine > 0 ? "  восстановлен частично (числа — то, что осталось вернуть)"
                                    : "  не восстановлен";
    return line + "  " + e.header.path;
}

} // namespace cleanup
