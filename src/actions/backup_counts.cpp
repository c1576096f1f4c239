#include "actions/backup_counts.h"

#include <set>

#include "platform/text.h"

namespace vesk {
namespace {

/// Calls visit(relative path, entry) for every entry of the tree that is part of it: not the
/// backup's own folder, not a link onto a folder above, which is never followed.
template <typename Visit>
void forEachEntry(const SourceTree& tree, Visit visit) {
  for (const TreeFolder& folder : tree.folders)
    for (const TreeEntry& item : folder.entries)
      if (inBackup(item)) visit(joinLong(folder.relative, item.entry.name), item.entry);
}

}  // namespace

BackupCounts countBackup(const SourceTree& tree, const std::vector<Difference>& left) {
  BackupCounts counts;
  std::set<std::u16string> missing;
  for (const Difference& difference : left) {
    if (difference.relative.empty()) return counts;
    missing.insert(difference.relative);
  }
  forEachEntry(tree, [&](const std::u16string& relative, const FolderEntry& entry) {
    if (missing.count(relative)) return;
    if (entry.isFolder) {
      ++counts.folders;
    } else {
      ++counts.files;
      counts.bytes += entry.size;
    }
  });
  return counts;
}

uint64_t filesOf(const SourceTree& tree) {
  uint64_t files = 0;
  forEachEntry(tree, [&](const std::u16string&, const FolderEntry& entry) {
    if (!entry.isFolder) ++files;
  });
  return files;
}

std::string summaryLine(const BackupCounts& counts) {
  return "backup holds " + std::to_string(counts.files) + " files in " +
         std::to_string(counts.folders) + " folders, " + std::to_string(counts.bytes) +
         " bytes; copied again: " + std::to_string(counts.copiedAgain);
}

}  // namespace vesk
