#pragma once

// The check: the backup as it stands after the copy tool, against the source as the walk listed
// it.

#include <optional>
#include <string>
#include <vector>

#include "actions/copy_times.h"
#include "actions/source_tree.h"
#include "platform/trees.h"

namespace vesk {

/// Whether copies hold their source files, by the rules of the destination's file system (see
/// matchCopy). Where the destination cannot keep a source's time, the contents decide; the
/// files so found in the backup are kept for the run log.
class CopyJudge {
 public:
  CopyJudge(Trees& trees, const SourceTree& tree, TimeKeeping times)
      : trees_(trees), tree_(tree), times_(times) {}

  /// True when copy holds the source file source, both at relative in their trees.
  bool holds(const std::u16string& relative, const FolderEntry& source, const FolderEntry& copy);
  /// The files held whose copy's time is not their source's, in the order judged.
  const std::vector<std::u16string>& timeNotKept() const { return timeNotKept_; }

 private:
  Trees& trees_;
  const SourceTree& tree_;
  TimeKeeping times_;
  std::vector<std::u16string> timeNotKept_;
};

/// What the backup held of the tree while a copy tool was at work: a mark for each entry whose
/// copy was then the source's (a folder for a folder; a file that matchCopy finds the same).
/// Every entry is looked at alone, which under Wine asks nothing of the server that the tool
/// waits on, as a listing would.
TreeMarks lookAtBackup(Trees& trees, const SourceTree& tree, TimeKeeping times);

/// Compares the backup, as it stands now, with the source tree as the walk listed it, looking at
/// each entry alone. A file that the copy tool wrote (written marks it; without marks, any file
/// may have been) is compared with its source as it is now: the tool copied what it found then.
/// An entry that heldBefore marks, and that the tool did not write, is taken as it was then.
/// Every path below a folder missing from the backup differs too; a source folder that could not
/// be listed differs once, as not repairable, and so does the source itself where the backup
/// folder is not there; a source file gone since the walk is no longer part of it.
std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree, CopyJudge& judge,
                                          const std::optional<TreeMarks>& written,
                                          const TreeMarks* heldBefore = nullptr);

}  // namespace vesk
