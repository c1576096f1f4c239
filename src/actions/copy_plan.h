#pragma once

// The plan of a folder copy: which tool copies the tree, and what no tool may be handed and why.
// Pure: it decides from the walk of the source and the texts of the request alone.

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "actions/path_list.h"
#include "actions/source_tree.h"

namespace vesk {

/// How the installation folder is copied, as the command line asks.
enum class CopyMode { xcopy, shellCopy };

/// The tool that copies the tree.
enum class CopyTool { xcopy, shellCopy, none };

/// One folder copy as the folder stage asks for it.
struct CopyRequest {
  std::string source;       // without a trailing backslash, but a drive root's
  std::string destination;  // as Windows names it, ending in one backslash
  CopyMode mode = CopyMode::xcopy;
  std::string logPath;  // xcopy's listing goes to logPath + "xcp"
  /// The source in its full form, which xcopy is handed: it runs in the destination, where a
  /// source relative to the current drive or folder ("C:", "\App") names another folder.
  std::string fullSource;
  /// The lengths in UTF-16 units of source, fullSource and destination (without its trailing
  /// backslash), as the tools measure their paths.
  size_t sourceLength = 0, fullSourceLength = 0, destinationLength = 0;
};

/// A line or lines that the run logs before the copy: prefix and each path of paths, where an
/// empty path stands for whole.
struct PlanNote {
  std::string prefix;
  PathList paths;
  std::string whole;
};

/// What a copy logged that kept no file out of the backup by itself.
struct CopyWarnings {
  PathList linkLoops;     // "link loop not followed: "
  PathList timesNotKept;  // "time not kept by the destination: "
  PathList tooLongForXcopy;
  PathList tooLongForShellCopy;
};

struct CopyPlan {
  CopyTool tool = CopyTool::none;
  /// True when the tools were asked and neither could be handed the tree (paths too long for
  /// both): the shell copy is counted as given no file.
  bool toolsGivenNothing = false;
  /// False when the source or the destination has no path the check can take (too long for
  /// even the wide-character functions): nothing is compared.
  bool comparable = true;
  std::vector<PlanNote> notes;  // in the order the run logs them
  CopyWarnings warnings;        // the notes that are warnings
  /// Paths of the tree where an earlier finalPath record of the run holds another file: no tool
  /// is handed the tree and the repair pass leaves them, so that the earlier copy stays whole.
  std::set<std::u16string> heldForEarlier;
};

/// The plan for copying tree as request asks. heldForEarlier: see CopyPlan; paths as the
/// walk spells them (heldByEarlierRecords).
CopyPlan planCopy(const SourceTree& tree, const CopyRequest& request,
                  const std::vector<std::u16string>& heldForEarlier = {});

/// The paths of tree (as its walk spells them) where an earlier finalPath record's tree holds a
/// file, and tree another file (of another size or time) or a folder: copied over it, they would
/// replace what the run placed in the backup for the earlier record.
std::vector<std::u16string> heldByEarlierRecords(Trees& trees, const SourceTree& tree,
                                                 const std::vector<SourceTree>& earlier);

/// False when path holds a character that no folder's name can hold: one that the copy tools
/// read as a pattern (* ?) or as the end of their argument ("), or that Windows refuses in a
/// name (< > |, a control character). The ? of a leading \\?\ belongs to the path's form.
bool canNameAFolder(const std::string& path);

/// The text up to and including the first ":\", or nothing when there is none.
std::string drivePart(const std::string& path);

/// The longest full path that xcopy is handed: it builds each path in a buffer of MAX_PATH
/// (260) characters; Windows' xcopy gives up on paths of about 255 characters with
/// "Insufficient memory", Wine's overruns its buffers and then may never end.
constexpr size_t xcopyPathLimit = 254;

/// The longest full path that the shell copy is handed: its paths are held in MAX_PATH
/// characters with their NUL, and a longer one overruns its buffers.
constexpr size_t shellCopyPathLimit = 259;

}  // namespace vesk
