#include "actions/copy_check.h"

#include <algorithm>

namespace vesk {
namespace {

// A folder with more entries than this to look at is listed whole. Under Wine a listing costs
// five requests to its server (open, handle, two reads, close), which a busy machine makes
// slow, and a look at one entry none; on Windows one listing costs what a few looks do.
constexpr size_t looksOneByOne = 8;

/// The entries of a folder, in the order of compareNames, for lookups by name.
class SortedFolder {
 public:
  SortedFolder(Trees& trees, std::vector<FolderEntry> entries)
      : trees_(&trees), entries_(std::move(entries)) {
    std::sort(entries_.begin(), entries_.end(), [this](const FolderEntry& a, const FolderEntry& b) {
      return trees_->compareNames(a.name, b.name) < 0;
    });
  }

  const FolderEntry* find(const std::u16string& name) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), name,
                               [this](const FolderEntry& entry, const std::u16string& wanted) {
                                 return trees_->compareNames(entry.name, wanted) < 0;
                               });
    if (it == entries_.end() || trees_->compareNames(it->name, name) != 0) return nullptr;
    return &*it;
  }

 private:
  Trees* trees_;
  std::vector<FolderEntry> entries_;
};

std::optional<SortedFolder> listSorted(Trees& trees, const std::u16string& path) {
  auto listing = trees.listFolder(path);
  if (!listing) return std::nullopt;
  return SortedFolder(trees, std::move(*listing));
}

/// What a folder holds under a name: from its listing when there is one, else looked at alone.
std::optional<FolderEntry> entryIn(Trees& trees, const std::optional<SortedFolder>& listing,
                                   const std::u16string& folder, const std::u16string& name) {
  if (!listing) return trees.entryAt(joinLong(folder, name));
  const FolderEntry* found = listing->find(name);
  return found ? std::optional<FolderEntry>(*found) : std::nullopt;
}

}  // namespace

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

std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree, CopyJudge& judge,
                                          const std::optional<TreeMarks>& written) {
  std::vector<Difference> differences;
  // The backup folder itself is always listed: one that cannot be holds nothing that can be
  // shown to be there.
  std::optional<SortedFolder> backupRoot;
  if (tree.folders[0].listed) backupRoot = listSorted(trees, tree.destination);
  if (!backupRoot) {
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
    auto wrote = [&](size_t at) {
      return !folder.entries[at].entry.isFolder && (!written || (*written)[index][at]);
    };
    size_t rewritten = 0;
    for (size_t at = 0; at < folder.entries.size(); ++at) rewritten += wrote(at) ? 1 : 0;
    // What the backup and the source hold now, listed whole where many entries ask; a copy
    // that cannot be listed holds nothing that can be shown to be there.
    std::optional<SortedFolder> copies, sources;
    if (index == 0)
      copies = std::move(backupRoot);
    else if (folder.entries.size() > looksOneByOne)
      copies = listSorted(trees, backupFolder).value_or(SortedFolder(trees, {}));
    if (rewritten > looksOneByOne) sources = listSorted(trees, sourceFolder);

    for (size_t at = 0; at < folder.entries.size(); ++at) {
      const TreeEntry& item = folder.entries[at];
      if (!inBackup(item)) continue;
      std::u16string relative = joinLong(folder.relative, item.entry.name);
      if (item.entry.isFolder &&
          (item.walk == FolderWalk::beyondLimits || !tree.folders[item.folder].listed)) {
        differences.push_back({relative, true, false});
        continue;
      }
      std::optional<FolderEntry> copy = entryIn(trees, copies, backupFolder, item.entry.name);
      if (item.entry.isFolder) {
        bool present = copy && copy->isFolder;
        inBackupNow[item.folder] = present;
        if (!present) differences.push_back({relative, true});
        continue;
      }
      // What the tool copied is the source as it was when the tool reached it. A source file
      // that cannot be found now is compared as the walk found it.
      std::optional<FolderEntry> now;
      if (wrote(at)) now = entryIn(trees, sources, sourceFolder, item.entry.name);
      if (!copy || !judge.holds(relative, now ? *now : item.entry, *copy))
        differences.push_back({relative, false});
    }
  }
  return differences;
}

}  // namespace vesk
