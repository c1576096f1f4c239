#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "actions/path_list.h"
#include "actions/source_tree.h"
#include "platform/failure.h"

namespace vesk {

/// How much of the source tree the backup holds after the check, and what the check did.
/// Files and folders are those below the source, the source folder itself not counted (as
/// Explorer counts a folder's content).
struct BackupCounts {
  uint64_t files = 0;
  uint64_t folders = 0;
  uint64_t bytes = 0;  // of the files held, as the source's walk listed them
  uint64_t copiedAgain = 0;
  PathList notInBackup;
  /// For each path notInBackup names, what the system gave as the cause when it was last copied.
  std::vector<FileCause> notInBackupCauses = {};
};

/// The counts of the tree less what is still left (the differences the repair pass did not
/// put right). A left difference of the source itself, which could not be compared at all,
/// leaves nothing counted as held.
BackupCounts countBackup(const SourceTree& tree, const std::vector<Difference>& left);

/// The number of files of the tree: what the shell copy is given.
uint64_t filesOf(const SourceTree& tree);

/// The run log's line after a folder's outcome:
/// "backup holds 10000 files in 511 folders, 314572800 bytes; copied again: 0".
std::string summaryLine(const BackupCounts& counts);

}  // namespace vesk
