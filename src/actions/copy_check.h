#pragma once

#include <optional>
#include <string>
#include <vector>

#include "actions/source_tree.h"
#include "log/run_log.h"
#include "platform/system.h"
#include "platform/trees.h"

namespace vesk {

/// A path of the source that the backup does not hold as it should.
struct Difference {
  std::u16string relative;  // to the source; empty for the source itself
  bool isFolder = false;
  /// False for a folder whose content is unknown (it could not be listed, or lies beyond the
  /// walk limits) and for the source or the backup folder that cannot be listed at all.
  bool repairable = true;
};

/// True when copy holds the source file: a file of the same size, with a last-write time
/// within 2 seconds of the source's (FAT keeps times to 2 s), older or newer.
bool holdsFile(const FolderEntry& source, const FolderEntry& copy);

/// What a listing of the backup found while a copy tool was still at work: for each folder of
/// the source tree, whether the copy of each of its entries was then exactly the source's (a
/// folder for a folder; for a file the same size and last-write time), or nothing when the
/// copy of the folder could not be listed then.
struct EarlyListing {
  std::vector<std::optional<std::vector<bool>>> folders;
  bool complete = false;  // false: the listing was not finished and tells nothing
};

/// Lists the copy of every folder of the tree and compares it with the source's listing.
EarlyListing listBackup(Trees& trees, const SourceTree& tree);

/// Compares the backup, as it stands now, with the source tree as the walk listed it; only the
/// backup is looked at. Every path below a folder missing from the backup differs too. A
/// source folder that could not be listed differs once, as not repairable.
///
/// With an early listing, a file whose copy was then already exactly the source's (size and
/// last-write time equal) is taken as it was listed: xcopy leaves such a file alone, and any
/// copy it was still writing then has another size or time.
/// Everything else, and every folder the early listing lacks, is looked at afresh.
std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree,
                                          const EarlyListing* early = nullptr);

/// Copies again, from the source, what differs and can be repaired: missing folders are
/// created, files copied over what the backup holds (nothing in the backup is deleted). Logs
/// "copied again: " and the path of each file copied (the first ten, then one line
/// "copied again: N more"). Then compares what it repaired afresh, the source included, and
/// returns what is still not in the backup; a file gone from the source meanwhile is no
/// longer part of it.
struct Repair {
  PathList copiedAgain;
  PathList left;
  std::vector<Difference> leftDifferences;  // the differences behind left
};
Repair repairBackup(Trees& trees, System& system, RunLog& log, const SourceTree& tree,
                    const std::vector<Difference>& differences, const std::string& source);

/// One line prefix + path for each path named, then one line with the count of the others.
void logPaths(RunLog& log, const std::string& prefix, const PathList& paths);

}  // namespace vesk
