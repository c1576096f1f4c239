#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/trees.h"

namespace vesk {

/// Bounds of the walk over the source, so that it ends also where links make ever new paths
/// without a loop, or where a link's identity cannot be read; a folder beyond them is not
/// walked and counts as not backed up.
struct WalkLimits {
  size_t maxDepth = 512;
  size_t maxFolders = 1'000'000;
};

/// How the walk treated a folder of the source.
enum class FolderWalk {
  walked,
  ownBackup,     // the destination itself, inside the source: not part of the backup
  beyondLimits,  // past WalkLimits
  linkLoop,      // a link onto a folder that the walk is inside already: not part of the backup
};

/// One entry of a source folder, as the walk listed it.
struct TreeEntry {
  FolderEntry entry;
  FolderWalk walk = FolderWalk::walked;
  size_t folder = 0;  // for a walked folder: its index in SourceTree::folders
};

/// One folder of the source.
struct TreeFolder {
  std::u16string relative;  // to the source, names joined by "\"; empty for the source itself
  bool listed = false;      // false: it could not be listed, and its entries are unknown
  std::vector<TreeEntry> entries;
};

/// The source tree as one walk found it, kept for the copy check so that the source is listed
/// once per copy.
struct SourceTree {
  std::u16string source;            // both in the form of Trees::longPathOf
  std::u16string destination;       // without a trailing backslash
  std::vector<TreeFolder> folders;  // in walk order: every folder after its parent
  /// What the folders that the walk was asked to identify are to the file system, where it
  /// tells: one folder reached by other names (a drive letter, a share or a link onto it) has
  /// one identity.
  std::set<FolderIdentity> identities;
};

/// True for an entry that belongs in the backup: not the destination itself, nor a link loop.
inline bool inBackup(const TreeEntry& item) {
  return item.walk != FolderWalk::ownBackup && item.walk != FolderWalk::linkLoop;
}

/// The names of a path in the long form: folder and name joined by one backslash.
std::u16string joinLong(const std::u16string& folder, const std::u16string& name);

/// Lists the source tree, folder by folder. With identify, it also reads the identities of the
/// source folder itself, of every link and of every folder whose name is one of those in
/// identify (of every folder when identify is empty). The destination's own subtree, when it lies
/// inside the source, is not walked: the backup is not part of what is backed up. Nor is a link
/// onto the folder that holds it or onto one above (a junction or symbolic link pointing up the
/// tree), which would make the tree endless: only links have their identity compared, with the
/// identities of the folders the walk is inside.
SourceTree walkSource(Trees& trees, const std::u16string& source, const std::u16string& destination,
                      const WalkLimits& limits = {},
                      const std::vector<std::u16string>* identify = nullptr);

/// Paths of the source named in the run log: the first ten, and how many in all.
struct PathList {
  size_t count = 0;
  std::vector<std::string> first;  // in the ANSI code page, relative to the source
};

/// The entries of the tree that a copy tool taking paths of at most limit characters cannot
/// be given: those whose full path in the source or in the destination is longer (a folder's
/// together with the "\*" of its listing), and folders beyond the walk limits. Paths are
/// measured from source and destination as the tool is handed them; what lies below a folder
/// found here is not named. The source itself, when it is too long, is named by its text.
PathList pathsTooLong(System& system, const SourceTree& tree, const std::string& source,
                      const std::string& destination, size_t limit);

/// The links of the tree that the walk did not follow because they loop.
PathList linkLoops(System& system, const SourceTree& tree, const std::string& source);

/// Adds a path to the list; the first ten are kept by name.
void addPath(System& system, PathList& list, const std::u16string& relative,
             const std::string& source);

}  // namespace vesk
