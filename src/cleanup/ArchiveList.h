#pragma once
// The undo archives of one database in the files folder, newest run first, with what each puts
// back: the window's undo list and `tk_corvane archives`.
#include "cleanup/ArchiveRestore.h"
#include "cleanup/ArchiveText.h"

#include <optional>
#include <string>
#include <vector>

namespace cleanup
{

struct ArchiveEntry {
    ArchiveHeader header;
    std::optional<ArchiveCounts> counts; // nothing: the file is damaged
};

// folder ends in '/'; database as the fields name it.
std::vector<ArchiveEntry> listArchives(const std::string& folder, const std::string& database);

// One line: when the run was, what it deleted and replaced, whether it was put back, the file.
std::string describeArchive(const ArchiveEntry& entry);

} // namespace cleanup
