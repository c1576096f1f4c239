#include "actions/copy_check.h"

namespace vesk {
bool CopyJudge::holds(const std::u16string& relative, const FolderEntry& source,
                      const FolderEntry& copy) {
  switch (matchCopy(source, copy, times_)) {
    case CopyMatch::same:
      return true;
    case CopyMatch::different:
      return false;
    case CopyMatch::contentsDecide:
      break;
  }
  std::optional<bool> same =
      trees_.sameContent(joinLong(tree_.source, relative), joinLong(tree_.destination, relative));
  if (!same || !*same) return false;
  timeNotKept_.push_back(relative);
  return true;
}

TreeMarks lookAtBackup(Trees& trees, const SourceTree& tree, TimeKeeping times) {
  TreeMarks held;
  held.reserve(tree.folders.size());
  for (const TreeFolder& folder : tree.folders) held.emplace_back(folder.entries.size(), false);
  const std::optional<FolderEntry> root = trees.entryAt(tree.destination);
  std::vector<bool> copied(tree.folders.size(), false);  // the folder's copy was there
  copied[0] = root && root->isFolder;
  for (size_t index = 0; index < tree.folders.size(); ++index) {
    if (!copied[index]) continue;
    const TreeFolder& folder = tree.folders[index];
    const std::u16string backupFolder = joinLong(tree.destination, folder.relative);
    for (size_t at = 0; at < folder.entries.size(); ++at) {
      const TreeEntry& item = folder.entries[at];
      if (!inBackup(item)) continue;
      const std::optional<FolderEntry> copy =
          trees.entryAt(joinLong(backupFolder, item.entry.name));
      if (!copy) continue;
      held[index][at] = item.entry.isFolder
                            ? copy->isFolder
                            : matchCopy(item.entry, *copy, times) == CopyMatch::same;
      if (item.entry.isFolder && item.walk == FolderWalk::walked)
        copied[item.folder] = held[index][at];
    }
  }
  return held;
}

std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree, CopyJudge& judge,
                                          const std::optional<TreeMarks>& written,
                                          const TreeMarks* heldBefore) {
  std::vector<Difference> differences;
  const std::optional<FolderEntry> root =
      tree.folders[0].listed ? trees.entryAt(tree.destination) : std::nullopt;
  if (!root || !root->isFolder) {
    differences.push_back({u"", true, false});
    return differences;
  }
  // Which folders of the source the backup holds; set by the parent before the folder's turn.
  std::vector<bool> inBackupNow(tree.folders.size(), false);
  inBackupNow[0] = true;
  for (size_t index = 0; index < tree.folders.size(); ++index) {
    const TreeFolder& folder = tree.folders[index];
    if (!folder.listed || !inBackupNow[index]) {
      // Not listed: counted by its parent. Not in the backup: every entry differs.
      for (const TreeEntry& item : folder.entries) {
        if (!inBackup(item)) continue;
        bool known = !item.entry.isFolder ||
                     (item.walk == FolderWalk::walked && tree.folders[item.folder].listed);
        differences.push_back(
            {joinLong(folder.relative, item.entry.name), item.entry.isFolder, known});
      }
      continue;
    }
    const std::u16string backupFolder = joinLong(tree.destination, folder.relative);
    const std::u16string sourceFolder = joinLong(tree.source, folder.relative);
    for (size_t at = 0; at < folder.entries.size(); ++at) {
      const TreeEntry& item = folder.entries[at];
      if (!inBackup(item)) continue;
      std::u16string relative = joinLong(folder.relative, item.entry.name);
      if (item.entry.isFolder &&
          (item.walk == FolderWalk::beyondLimits || !tree.folders[item.folder].listed)) {
        differences.push_back({relative, true, false});
        continue;
      }
      const bool wrote = !item.entry.isFolder && (!written || (*written)[index][at]);
      if (heldBefore && (*heldBefore)[index][at] && !wrote) {
        // Held while the tool ran, and not touched by it since.
        if (item.entry.isFolder) inBackupNow[item.folder] = true;
        continue;
      }
      const std::optional<FolderEntry> copy =
          trees.entryAt(joinLong(backupFolder, item.entry.name));
      if (item.entry.isFolder) {
        bool present = copy && copy->isFolder;
        inBackupNow[item.folder] = present;
        if (!present) differences.push_back({relative, true});
        continue;
      }
      // What the tool copied is the source as it was when the tool reached it. A source file
      // that cannot be found now is compared as the walk found it.
      std::optional<FolderEntry> now;
      if (wrote) now = trees.entryAt(joinLong(sourceFolder, item.entry.name));
      if (!copy || !judge.holds(relative, now ? *now : item.entry, *copy))
        differences.push_back({relative, false});
    }
  }
  return differences;
}

}  // namespace vesk
