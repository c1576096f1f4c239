#include "actions/source_tree.h"

#include "platform/folder_lister.h"

namespace vesk {
namespace {

std::u16string withoutTrailingSlashes(std::u16string path) {
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return path;
}

/// The identities of the walked folders, each read only once a link below it asks, so that a
/// link onto a folder that the walk is inside is found.
class FolderChain {
 public:
  FolderChain(Trees& trees, const std::u16string& source, const SourceTree& tree)
      : trees_(trees), source_(source), tree_(tree) {}

  /// Notes the folder walked next, the one numbered after the last: where it lies, and its
  /// identity when it is known already.
  void add(size_t parent, std::optional<FolderIdentity> identity) {
    parents_.push_back(parent);
    read_.push_back(identity.has_value());
    identities_.push_back(identity);
  }

  std::optional<FolderIdentity> identityOf(size_t folder) {
    if (!read_[folder]) {
      identities_[folder] =
          trees_.folderIdentity(joinLong(source_, tree_.folders[folder].relative));
      read_[folder] = true;
    }
    return identities_[folder];
  }

  /// True when folder, or a folder that it lies in, has identity.
  bool inside(size_t folder, const FolderIdentity& identity) {
    for (size_t at = folder;; at = parents_[at]) {
      if (identityOf(at) == identity) return true;
      if (at == 0) return false;
    }
  }

 private:
  Trees& trees_;
  const std::u16string& source_;
  const SourceTree& tree_;
  std::vector<size_t> parents_{0};  // the source's own: itself
  std::vector<bool> read_{false};
  std::vector<std::optional<FolderIdentity>> identities_{std::nullopt};
};

}  // namespace

std::u16string joinLong(const std::u16string& folder, const std::u16string& name) {
  if (name.empty()) return folder;
  if (folder.empty()) return name;
  if (folder.back() == u'\\') return folder + name;
  return folder + u'\\' + name;
}

SourceTree walkSource(Trees& trees, const std::u16string& source, const std::u16string& destination,
                      const WalkLimits& limits, const std::vector<std::u16string>* identify) {
  SourceTree tree{source, withoutTrailingSlashes(destination), {}, {}};
  // Reading an identity opens the folder, which costs more than listing it under some systems:
  // only the folders that can be the destination by another name are read, and links.
  auto wanted = [&](const FolderEntry& entry) {
    if (!identify || entry.isLink || identify->empty()) return identify != nullptr;
    for (const std::u16string& name : *identify)
      if (trees.compareNames(name, entry.name) == 0) return true;
    return false;
  };
  tree.folders.push_back({u"", false, {}});
  FolderChain chain(trees, source, tree);
  if (identify)
    if (std::optional<FolderIdentity> identity = chain.identityOf(0))
      tree.identities.insert(*identity);
  std::vector<size_t> depths{0};
  // Each folder is asked for as it is found, listed ahead where the system lists several at
  // once, and taken in the walk's own order.
  std::unique_ptr<FolderLister> lister = trees.listerAhead();
  lister->ask(0, source);
  // An explicit stack rather than recursion: a deep tree must not exhaust the call stack.
  // Folders are numbered as they are found, so each comes after its parent.
  std::vector<size_t> pending{0};
  while (!pending.empty()) {
    const size_t index = pending.back();
    pending.pop_back();
    auto entries = lister->take(index);
    if (!entries) continue;
    tree.folders[index].listed = true;

    std::vector<TreeEntry> listed;
    listed.reserve(entries->size());
    std::vector<size_t> subfolders;
    for (FolderEntry& entry : *entries) {
      TreeEntry item{std::move(entry), FolderWalk::walked, 0};
      if (item.entry.isFolder) {
        std::u16string relative = joinLong(tree.folders[index].relative, item.entry.name);
        std::optional<FolderIdentity> identity;
        if (item.entry.isLink || wanted(item.entry))
          identity = trees.folderIdentity(joinLong(source, relative));
        if (identity && wanted(item.entry)) tree.identities.insert(*identity);
        if (trees.compareNames(joinLong(source, relative), tree.destination) == 0) {
          item.walk = FolderWalk::ownBackup;
        } else if (item.entry.isLink && identity && chain.inside(index, *identity)) {
          item.walk = FolderWalk::linkLoop;
        } else if (depths[index] + 1 > limits.maxDepth ||
                   tree.folders.size() >= limits.maxFolders) {
          item.walk = FolderWalk::beyondLimits;
        } else {
          item.folder = tree.folders.size();
          tree.folders.push_back({std::move(relative), false, {}});
          depths.push_back(depths[index] + 1);
          chain.add(index, identity);
          subfolders.push_back(item.folder);
        }
      }
      listed.push_back(std::move(item));
    }
    tree.folders[index].entries = std::move(listed);
    // Reversed, so that subfolders are walked in the order they were listed.
    for (auto folder = subfolders.rbegin(); folder != subfolders.rend(); ++folder) {
      pending.push_back(*folder);
      lister->ask(*folder, joinLong(source, tree.folders[*folder].relative));
    }
  }
  return tree;
}

}  // namespace vesk
