#include "actions/copy_repair.h"

namespace vesk {

Repair repairBackup(Trees& trees, const SourceTree& tree,
                    const std::vector<Difference>& differences, CopyJudge& judge,
                    const std::set<std::u16string>& leave) {
  Repair repair;
  auto repairable = [&leave](const Difference& difference) {
    return difference.repairable && !leave.count(difference.relative);
  };
  std::vector<FileCause> causes(differences.size(), FileCause::none);
  for (size_t index = 0; index < differences.size(); ++index) {
    const Difference& difference = differences[index];
    if (!repairable(difference)) continue;
    std::u16string to = joinLong(tree.destination, difference.relative);
    try {
      if (difference.isFolder) {
        trees.createFolder(to);
      } else {
        trees.copyFile(joinLong(tree.source, difference.relative), to);
        repair.copiedAgain.add(difference.relative);
      }
    } catch (const Failure& failure) {
      // What could not be repaired shows in the comparison below.
      causes[index] = failure.cause;
    }
  }

  for (size_t index = 0; index < differences.size(); ++index) {
    const Difference& difference = differences[index];
    bool repaired = false;
    if (repairable(difference)) {
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
      if (repair.leftCauses.size() < repair.left.first.size())
        repair.leftCauses.push_back(causes[index]);
      repair.leftDifferences.push_back(difference);
    }
  }
  return repair;
}

}  // namespace vesk
