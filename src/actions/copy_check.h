#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "actions/copy_times.h"
#include "actions/source_tree.h"
#include "log/run_log.h"
#include "platform/failure.h"
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

/// Whether copies hold their source files, by the rules of the destination's file system (see
/// matchCopy). Where the destination cannot keep a source's time, the contents decide; the
/// files so found in the backup are kept for the run log.
class CopyJudge {
 public:
  CopyJudge(Trees& trees, const SourceTree& tree, TimeKeeping times)
      : trees_(trees), tree_(tree), times_(times) {}

  TimeKeeping times() const { return times_; }
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

/// What a listing of the backup, made while a copy tool was at work, tells of one entry's copy.
enum class EarlyLook : uint8_t {
  held,       // it was then the source's (a folder for a folder; a file that matchCopy finds same)
  lookAgain,  // it was not, or was not there
  /// The tool wrote it after all (its own listing says so): looked at again, and compared with
  /// the source file as it is now, which is what the tool copied.
  written,
};

/// What the listing found, for each folder of the source tree in the order of its entries, or
/// nothing for a folder whose copy could not be listed then.
struct EarlyListing {
  std::vector<std::optional<std::vector<EarlyLook>>> folders;
  bool complete = false;  // false: the listing was not finished and tells nothing
};

/// Lists the copy of every folder of the tree and compares it with the source's listing.
EarlyListing listBackup(Trees& trees, const SourceTree& tree, TimeKeeping times);

/// What the check knows of the copy tool's work.
struct ToolWork {
  /// The backup as listed while the tool ran, with the files it wrote afterwards marked; nothing:
  /// every folder of the backup is listed afresh.
  const EarlyListing* early = nullptr;
  /// True when the tool may have written any file of the tree (the shell copy, or an xcopy
  /// whose own listing cannot be relied on): every file is compared with the source as it is
  /// now, so that a source file rewritten while it was copied shows.
  bool anyFileWritten = false;
};

/// Compares the backup, as it stands now, with the source tree as the walk listed it, or with
/// the source as it is now where work says the tool wrote. A file whose early look held it is
/// taken as it was listed: xcopy leaves such a file alone unless its listing says otherwise.
/// Every path below a folder missing from the backup differs too; a source folder that could not
/// be listed differs once, as not repairable; a source file gone since the walk is no longer
/// part of it.
std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree, CopyJudge& judge,
                                          const ToolWork& work = {});

/// Copies again, from the source, what differs and can be repaired: missing folders are
/// created, files copied over what the backup holds (nothing in the backup is deleted). Logs
/// "copied again: " and the path of each file copied (the first ten, then one line
/// "copied again: N more"). Then compares what it repaired afresh, the source included, and
/// returns what is still not in the backup; a file gone from the source meanwhile is no
/// longer part of it.
struct Repair {
  PathList copiedAgain;
  PathList left;
  std::vector<FileCause> leftCauses = {};   // for each path left names: of its last copy's failure
  std::vector<Difference> leftDifferences;  // the differences behind left
};
Repair repairBackup(Trees& trees, System& system, RunLog& log, const SourceTree& tree,
                    const std::vector<Difference>& differences, const std::string& source,
                    CopyJudge& judge);

/// One line prefix + path for each path named, then one line with the count of the others.
void logPaths(RunLog& log, const std::string& prefix, const PathList& paths);

}  // namespace vesk
