#pragma once

// The repair pass: what the check found missing or different, copied again from the source.

#include <set>
#include <string>
#include <vector>

#include "actions/copy_check.h"
#include "actions/path_list.h"
#include "actions/source_tree.h"
#include "platform/failure.h"
#include "platform/trees.h"

namespace vesk {

struct Repair {
  PathList copiedAgain;                     // the files copied
  PathList left;                            // what is still not in the backup
  std::vector<FileCause> leftCauses = {};   // for each path left names: of its last copy's failure
  std::vector<Difference> leftDifferences;  // the differences behind left
};

/// Copies again, from the source, what differs and can be repaired, but no path in leave:
/// missing folders are created, files copied over what the backup holds (nothing in the backup
/// is deleted). Then compares what it repaired afresh and returns what is still not in the
/// backup; a file gone from the source meanwhile is no longer part of it.
Repair repairBackup(Trees& trees, const SourceTree& tree,
                    const std::vector<Difference>& differences, CopyJudge& judge,
                    const std::set<std::u16string>& leave = {});

}  // namespace vesk
