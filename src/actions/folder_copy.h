#pragma once

// The folder copy: the plan, the tool it names, the check of the backup, the repair pass and the
// counts, one after the other.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "actions/backup_counts.h"
#include "actions/copy_plan.h"
#include "actions/source_tree.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

struct FolderCopyResult {
  bool complete = false;  // nothing is left "not in backup"
  CopyTool tool = CopyTool::none;
  /// The files the tool copied: xcopy's own count, the files the shell copy was given;
  /// nothing when xcopy's listing does not tell.
  std::optional<uint64_t> toolCopied;
  BackupCounts counts;
  CopyWarnings warnings = {};
};

/// The request to copy source (without a trailing backslash, but a drive root's) into
/// destination (ending in one backslash), with the forms and lengths the plan measures.
CopyRequest copyRequestOf(const Platform& platform, const std::string& source,
                          const std::string& destination, CopyMode mode,
                          const std::string& logPath);

/// Copies the contents of the request's source into its destination, whose tree the walk has
/// listed (walkSource of source and destination), as planCopy plans it: logs the plan's notes,
/// runs its tool, compares the backup with the source, copies again what differs (see
/// repairBackup, which leaves heldForEarlier alone) and logs "copied again: ", "time not kept by
/// the destination: " and "not in backup: ". Complete exactly when nothing is left.
FolderCopyResult copyFolder(const Platform& platform, RunLog& log, const SourceTree& tree,
                            const CopyRequest& request,
                            const std::vector<std::u16string>& heldForEarlier = {});

}  // namespace vesk
