#pragma once
// Putting undo archives back: `tk_corvane restore FILE...`.
#include "ops/OperationRunner.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cleanup
{

inline constexpr std::int64_t kRestoreCode = -730174;
inline constexpr const char* kRestoreParam = "tk_corvane_restore";

struct RestoreResult {
    bool refused = false; // a file is no archive of this database, or is damaged: nothing was applied
    bool failed = false;  // a statement failed: rolled back where the tables allow it
};

// What an archive puts back: rows deleted and authorship values replaced. Throws std::runtime_error
// for a file that is no archive or is damaged.
struct ArchiveCounts {
    std::uint64_t rows = 0, values = 0;
};
ArchiveCounts countArchive(const std::string& path);

// Checks every file is an archive of the connected database, whole and not put back already, then applies them newest
// run first, in one transaction when every table they name is transactional, and stops at the
// first failure, rolling back. dryRun applies and rolls back. The message says what was put back; each
// archive put back is marked so at its end, and the caption names the archive being put back.
// Where the server bounds a transaction (a Galera node) and the archives do not fit one, they go in
// transactions within the bound, each of which also records in tbl_conf (CODE kRestoreCode) how far
// the restore has come: a restore that stops part-way is completed by the same command run again.
RunOutcome restoreArchives(OperationRunner& runner, const std::vector<std::string>& files, bool dryRun,
                           RestoreResult& result);

// Gives up an unfinished restore in parts, named by the same files, losing nothing: what it put back
// stays; each archive it put back whole is marked restored, and the one it put back in part notes
// how far, so that a later restore of it puts back only the rest; the mark in tbl_conf goes.
RunOutcome abandonRestore(OperationRunner& runner, const std::vector<std::string>& files, RestoreResult& result);

} // namespace cleanup
