#include "actions/copy_check.h"

#include <algorithm>

#include "platform/failure.h"

namespace vesk {
namespace {

// FAT keeps last-write times to 2 seconds; the unit is 100 ns.
constexpr uint64_t timeTolerance = 20'000'000;

/// The entries of a backup folder, in the order of compareNames, for lookups by name.
class BackupFolder {
 public:
  BackupFolder(Trees& trees, std::vector<FolderEntry> entries)
      : trees_(trees), entries_(std::move(entries)) {
    std::sort(entries_.begin(), entries_.end(), [this](const FolderEntry& a, const FolderEntry& b) {
      return trees_.compareNames(a.name, b.name) < 0;
    });
  }

  const FolderEntry* find(const std::u16string& name) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), name,
                               [this](const FolderEntry& entry, const std::u16string& wanted) {
                                 return trees_.compareNames(entry.name, wanted) < 0;
                               });
    if (it == entries_.end() || trees_.compareNames(it->name, name) != 0) return nullptr;
    return &*it;
  }

 private:
  Trees& trees_;
  std::vector<FolderEntry> entries_;
};

}  // namespace

bool holdsFile(const FolderEntry& source, const FolderEntry& copy) {
  if (copy.isFolder || source.isFolder || copy.size != source.size) return false;
  // Unsigned difference: times far apart must not overflow.
  auto from = static_cast<uint64_t>(source.lastWriteTime);
  auto to = static_cast<uint64_t>(copy.lastWriteTime);
  return (from > to ? from - to : to - from) <= timeTolerance;
}

EarlyListing listBackup(Trees& trees, const SourceTree& tree) {
  EarlyListing listing;
  listing.folders.reserve(tree.folders.size());
  for (const TreeFolder& folder : tree.folders) {
    auto entries = trees.listFolder(joinLong(tree.destination, folder.relative));
    if (!entries) {
      listing.folders.emplace_back();
      continue;
    }
    const BackupFolder copies(trees, std::move(*entries));
    std::vector<bool> exact;
    exact.reserve(folder.entries.size());
    for (const TreeEntry& item : folder.entries) {
      const FolderEntry* copy = copies.find(item.entry.name);
      exact.push_back(copy && copy->isFolder == item.entry.isFolder &&
                      (item.entry.isFolder || (copy->size == item.entry.size &&
                                               copy->lastWriteTime == item.entry.lastWriteTime)));
    }
    listing.folders.push_back(std::move(exact));
  }
  listing.complete = true;
  return listing;
}

std::vector<Difference> compareWithBackup(Trees& trees, const SourceTree& tree,
                                          const EarlyListing* early) {
  if (early && !early->complete) early = nullptr;
  // What the early listing found of a folder's entries, or nothing when it must be listed now.
  auto earlyExact = [early](size_t index) -> const std::vector<bool>* {
    if (!early || !early->folders[index]) return nullptr;
    return &*early->folders[index];
  };

  std::vector<Difference> differences;
  std::optional<std::vector<FolderEntry>> backupRoot;
  if (tree.folders[0].listed && !earlyExact(0)) backupRoot = trees.listFolder(tree.destination);
  if (!tree.folders[0].listed || (!earlyExact(0) && !backupRoot)) {
    differences.push_back({u"", true, false});
    return differences;
  }
  // Which folders of the source the backup holds; set by the parent before the folder's turn.
  std::vector<bool> inBackup(tree.folders.size(), false);
  inBackup[0] = true;
  for (size_t index = 0; index < tree.folders.size(); ++index) {
    const TreeFolder& folder = tree.folders[index];
    if (!folder.listed || !inBackup[index]) {
      // Not listed: counted by its parent. Not in the backup: every entry differs.
      for (const TreeEntry& item : folder.entries) {
        if (item.walk == FolderWalk::ownBackup) continue;
        bool known = !item.entry.isFolder ||
                     (item.walk == FolderWalk::walked && tree.folders[item.folder].listed);
        differences.push_back(
            {joinLong(folder.relative, item.entry.name), item.entry.isFolder, known});
      }
      continue;
    }
    const std::u16string backupFolder = joinLong(tree.destination, folder.relative);
    const std::vector<bool>* exact = earlyExact(index);
    std::optional<BackupFolder> copies;
    if (index == 0 && backupRoot) {
      copies.emplace(trees, std::move(*backupRoot));
    } else if (!exact) {
      // A copy that cannot be listed holds nothing that can be shown to be there.
      auto listing = trees.listFolder(backupFolder);
      copies.emplace(trees, listing ? std::move(*listing) : std::vector<FolderEntry>{});
    }

    for (size_t at = 0; at < folder.entries.size(); ++at) {
      const TreeEntry& item = folder.entries[at];
      if (item.walk == FolderWalk::ownBackup) continue;
      std::u16string relative = joinLong(folder.relative, item.entry.name);
      if (item.entry.isFolder &&
          (item.walk == FolderWalk::beyondLimits || !tree.folders[item.folder].listed)) {
        differences.push_back({relative, true, false});
        continue;
      }
      // What the backup holds under the entry's name: as listed now, as the early listing
      // found it exactly, or looked at afresh.
      std::optional<FolderEntry> now;
      const FolderEntry* copy = nullptr;
      if (copies) {
        copy = copies->find(item.entry.name);
      } else if ((*exact)[at]) {
        copy = &item.entry;
      } else {
        now = trees.entryAt(joinLong(backupFolder, item.entry.name));
        copy = now ? &*now : nullptr;
      }
      if (!item.entry.isFolder) {
        if (!copy || !holdsFile(item.entry, *copy)) differences.push_back({relative, false});
        continue;
      }
      bool present = copy && copy->isFolder;
      inBackup[item.folder] = present;
      if (!present) differences.push_back({relative, true});
    }
  }
  return differences;
}

Repair repairBackup(Trees& trees, System& system, RunLog& log, const SourceTree& tree,
                    const std::vector<Difference>& differences, const std::string& source) {
  Repair repair;
  PathList& copied = repair.copiedAgain;
  for (const Difference& difference : differences) {
    if (!difference.repairable) continue;
    std::u16string to = joinLong(tree.destination, difference.relative);
    try {
      if (difference.isFolder) {
        trees.createFolder(to);
      } else {
        trees.copyFile(joinLong(tree.source, difference.relative), to);
        addPath(system, copied, difference.relative, source);
      }
    } catch (const Failure&) {
      // What could not be repaired shows in the comparison below.
    }
  }
  logPaths(log, "copied again: ", copied);

  for (const Difference& difference : differences) {
    bool repaired = false;
    if (difference.repairable) {
      auto copy = trees.entryAt(joinLong(tree.destination, difference.relative));
      if (difference.isFolder) {
        repaired = copy && copy->isFolder;
      } else {
        auto now = trees.entryAt(joinLong(tree.source, difference.relative));
        repaired = !now || (copy && holdsFile(*now, *copy));
      }
    }
    if (!repaired) {
      addPath(system, repair.left, difference.relative, source);
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
