#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

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

/// A path of the source that the backup does not hold as it should.
struct Difference {
  std::u16string relative;  // to the source; empty for the source itself
  bool isFolder = false;
  /// False for a folder whose content is unknown (it could not be listed, or lies beyond the
  /// walk limits), for the source or the backup folder that cannot be listed at all, and for a
  /// path the repair pass must leave.
  bool repairable = true;
};

/// A mark for each entry of a tree, by folder and by place in the folder's entries.
using TreeMarks = std::vector<std::vector<bool>>;

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

}  // namespace vesk
