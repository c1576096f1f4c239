#include "actions/copy_repair.h"

#include "platform/failure.h"

namespace vesk {

Repair repairBackup(Trees& trees, const SourceTree& tree,
                    const std::vector<Difference>& differences, CopyJudge& judge) {
  Repair repair;
  for (const Difference& difference : differences) {
    if (!difference.repairable) continue;
    std::u16string to = joinLong(tree.destination, difference.relative);
    try {
      if (difference.isFolder) {
        trees.createFolder(to);
      } else {
        trees.copyFile(joinLong(tree.source, difference.relative), to);
        repair.copiedAgain.add(difference.relative);
      }
    } catch (const Failure&) {
      // What could not be repaired shows in the comparison below.
    }
  }

  for (const Difference& difference : differences) {
    bool repaired = false;
    if (difference.repairable) {
      auto copy = trees.entryAt(joinLong(tree.destination, difference.relative));
      if (difference.isFolder) {
        repaired = copy && copy->isFolder;
      } else {
        auto now = trees.entryAt(joinLong(tree.source, difference.relative));
        repaired = !now || (copy && judge.holds(difference.relative, *now, *copy));
      }
    }
    if (!repaired) {
      repair.left.add(difference.relative);
      repair.leftDifferences.push_back(difference);
    }
  }
  return repair;
}

}  // namespace vesk
