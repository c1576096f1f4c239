#include "actions/copy_check.h"

#include <algorithm>

#include "platform/failure.h"

namespace vesk {
namespace {

// A folder with more entries than this to look at again is listed whole: one listing costs
// about what a few looks at single files do.
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

EarlyListing listBackup(Trees& trees, const SourceTree& tree, TimeKeeping times) {
  EarlyListing listing;
  listing.folders.reserve(tree.folders.size());
  for (const TreeFolder& folder : tree.folders) {
    std::optional<SortedFolder> copies =
        listSorted(trees, joinLong(tree.destination, folder.relative));
    if (!copies) {
      listing.folders.emplace_back();
      continue;
    }
    std::vector<EarlyLook> looks;
    looks.reserve(folder.entries.size());
    for (const TreeEntry& item : folder.entries) {
      const FolderEntry* copy = copies->find(item.entry.name);
      bool held =
          copy && (item.entry.isFolder ? copy->isFolder
                                       : matchCopy(item.entry, *copy, times) == CopyMatch::same);
      looks.push_back(held ? EarlyLook::held : EarlyLook::lookAgain);
    }
    listing.folders.push_back(std::move(looks));
  }
  listing.complete = true;
  return listing;
}

std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree, CopyJudge& judge,
                                          const ToolWork& work) {
  const EarlyListing* early = work.early;
  if (early && (!early->complete || work.anyFileWritten)) early = nullptr;
  // What the early listing found of a folder's entries, or nothing when it must be listed now.
  auto looksOf = [early](size_t index) -> const std::vector<EarlyLook>* {
    if (!early || !early->folders[index]) return nullptr;
    return &*early->folders[index];
  };

  std::vector<Difference> differences;
  std::optional<SortedFolder> backupRoot;
  if (tree.folders[0].listed && !looksOf(0)) backupRoot = listSorted(trees, tree.destination);
  if (!tree.folders[0].listed || (!looksOf(0) && !backupRoot)) {
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
    const std::vector<EarlyLook>* looks = looksOf(index);
    auto lookAt = [looks](size_t at) { return looks ? (*looks)[at] : EarlyLook::lookAgain; };
    size_t again = folder.entries.size(), written = work.anyFileWritten ? again : 0;
    if (looks) {
      again -= std::count(looks->begin(), looks->end(), EarlyLook::held);
      written = std::count(looks->begin(), looks->end(), EarlyLook::written);
    }
    // What the backup and the source hold now, listed whole where many entries ask; a copy
    // that cannot be listed holds nothing that can be shown to be there.
    std::optional<SortedFolder> copies, sources;
    if (index == 0 && backupRoot)
      copies = std::move(backupRoot);
    else if (again > looksOneByOne || !looks)
      copies = listSorted(trees, backupFolder).value_or(SortedFolder(trees, {}));
    if (written > looksOneByOne) sources = listSorted(trees, sourceFolder);

    for (size_t at = 0; at < folder.entries.size(); ++at) {
      const TreeEntry& item = folder.entries[at];
      if (!inBackup(item)) continue;
      std::u16string relative = joinLong(folder.relative, item.entry.name);
      if (item.entry.isFolder &&
          (item.walk == FolderWalk::beyondLimits || !tree.folders[item.folder].listed)) {
        differences.push_back({relative, true, false});
        continue;
      }
      const EarlyLook look = lookAt(at);
      if (look == EarlyLook::held) {
        if (item.entry.isFolder) inBackupNow[item.folder] = true;
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
      if (work.anyFileWritten || look == EarlyLook::written)
        now = entryIn(trees, sources, sourceFolder, item.entry.name);
      if (!copy || !judge.holds(relative, now ? *now : item.entry, *copy))
        differences.push_back({relative, false});
    }
  }
  return differences;
}

Repair repairBackup(Trees& trees, System& system, RunLog& log, const SourceTree& tree,
                    const std::vector<Difference>& differences, const std::string& source,
                    CopyJudge& judge) {
  Repair repair;
  PathList& copied = repair.copiedAgain;
  std::vector<FileCause> causes(differences.size(), FileCause::none);
  for (size_t index = 0; index < differences.size(); ++index) {
    const Difference& difference = differences[index];
    if (!difference.repairable) continue;
    std::u16string to = joinLong(tree.destination, difference.relative);
    try {
      if (difference.isFolder) {
        trees.createFolder(to);
      } else {
        trees.copyFile(joinLong(tree.source, difference.relative), to);
        addPath(system, copied, difference.relative, source);
      }
    } catch (const Failure& failure) {
      // What could not be repaired shows in the comparison below.
      causes[index] = failure.cause;
    }
  }
  logPaths(log, "copied again: ", copied);

  for (size_t index = 0; index < differences.size(); ++index) {
    const Difference& difference = differences[index];
    bool repaired = false;
    if (difference.repairable) {
      auto copy = trees.entryAt(joinLong(tree.destination, difference.relative));
      if (difference.isFolder) {
        repaired = copy && copy->isFolder;
      } else {
        auto now = trees.entryAt(joinLong(tree.source, difference.relative));
        repaired = !now || (copy && judge.holds(difference.relative, *now, *copy));
      }
    }
    if (!repaired) {
      addPath(system, repair.left, difference.relative, source);
      if (repair.leftCauses.size() < repair.left.first.size())
        repair.leftCauses.push_back(causes[index]);
      repair.leftDifferences.push_back(difference);
    }
  }
  return repair;
}

void logPaths(RunLog& log, const std::string& prefix, const PathList& paths) {
  for (const std::string& path : paths.first) log.writeLog(prefix + path);
  if (paths.count > paths.first.size())
    log.writeLog(prefix + std::to_string(paths.count - paths.first.size()) + " more");
}

}  // namespace vesk
