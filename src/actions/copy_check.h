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

/// A path of the source that the backup does not hold as it should.
struct Difference {
  std::u16string relative;  // to the source; empty for the source itself
  bool isFolder = false;
  /// False for a folder whose content is unknown (it could not be listed, or lies beyond the
  /// walk limits), for the source or the backup folder that cannot be listed at all, and for a
  /// path the repair pass must leave.
  bool repairable = true;
};

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

/// Compares the backup, as it stands now, with the source tree as the walk listed it. A file that
/// the copy tool wrote (written marks it; without marks, any file may have been) is compared with
/// its source as it is now: the tool copied what it found then. Every path below a folder
/// missing from the backup differs too; a source folder that could not be listed differs once,
/// as not repairable; a source file gone since the walk is no longer part of it. A folder of
/// the backup is listed whole where it has many entries to look at, and they are looked at one
/// by one where it has few (the same for the source files that the tool wrote).
std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree, CopyJudge& judge,
                                          const std::optional<TreeMarks>& written);

}  // namespace vesk
