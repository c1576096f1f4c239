#include "actions/copy_plan.h"

#include <algorithm>
#include <string_view>

namespace vesk {
namespace {

/// The entries of tree that a copy tool taking paths of at most limit characters cannot be
/// given: those whose full path in the source or in the destination is longer (a folder's
/// together with the "\*" of its listing), and folders beyond the walk limits. What lies below a
/// folder found here is not named. The source itself, when it is too long, is named alone.
PathList pathsTooLong(const SourceTree& tree, size_t sourceLength, size_t destinationLength,
                      size_t limit) {
  auto fits = [&](const std::u16string& relative, bool isFolder) {
    size_t inside = relative.empty() ? 0 : relative.size() + 1;
    return std::max(sourceLength, destinationLength) + inside + (isFolder ? 2 : 0) <= limit;
  };
  PathList found;
  if (!fits(u"", true)) {
    found.add(u"");
    return found;
  }
  // Folders come after their parents, so one pass passes the mark down every level.
  std::vector<bool> skipped(tree.folders.size(), false);
  for (size_t index = 0; index < tree.folders.size(); ++index) {
    for (const TreeEntry& item : tree.folders[index].entries) {
      const bool walked = item.entry.isFolder && item.walk == FolderWalk::walked;
      if (skipped[index]) {
        if (walked) skipped[item.folder] = true;
        continue;
      }
      if (!inBackup(item)) continue;
      std::u16string relative = joinLong(tree.folders[index].relative, item.entry.name);
      if (fits(relative, item.entry.isFolder) && item.walk != FolderWalk::beyondLimits) continue;
      found.add(relative);
      if (walked) skipped[item.folder] = true;
    }
  }
  return found;
}

PathList linkLoops(const SourceTree& tree) {
  PathList loops;
  for (const TreeFolder& folder : tree.folders)
    for (const TreeEntry& item : folder.entries)
      if (item.walk == FolderWalk::linkLoop) loops.add(joinLong(folder.relative, item.entry.name));
  return loops;
}

}  // namespace

CopyPlan planCopy(const SourceTree& tree, const CopyRequest& request,
                  const std::vector<std::u16string>& heldForEarlier) {
  CopyPlan plan;
  auto note = [&plan](std::string prefix, PathList paths, const std::string& whole) {
    plan.notes.push_back({std::move(prefix), std::move(paths), whole});
  };
  auto whole = [] {
    PathList one;
    one.add(u"");
    return one;
  };
  plan.heldForEarlier.insert(heldForEarlier.begin(), heldForEarlier.end());
  if (tree.source.empty() || tree.destination.empty()) {
    plan.comparable = false;
    note("too long to copy: ", whole(), tree.source.empty() ? request.source : request.destination);
    return plan;
  }
  if (!canNameAFolder(request.source)) {
    // Nothing can be copied from there; handed to a tool, such a path could name other folders.
    note("not a folder name, not copied: ", whole(), request.source);
    return plan;
  }
  // Both tools follow links, and would copy the folders of a loop again and again.
  if (PathList loops = linkLoops(tree); loops.count > 0) {
    plan.warnings.linkLoops = loops;
    note("link loop not followed: ", std::move(loops), request.source);
    return plan;
  }
  if (!heldForEarlier.empty()) {
    PathList held;
    for (const std::u16string& path : heldForEarlier) held.add(path);
    note("copied for an earlier finalPath record, not replaced: ", std::move(held), request.source);
    return plan;
  }
  if (request.destination.rfind("\\\\?\\", 0) == 0) {
    // A long form that names what no ordinary path can (a name ending in a blank): the copy
    // tools take ordinary paths only.
    note("no copy tool takes the destination: ", whole(), request.destination);
    return plan;
  }
  // A tool is handed the tree only where no path of it is too long for the tool: xcopy is waited
  // for without limit, and one such path can make it hang for ever; the shell copy overruns its
  // buffers. Then the next tool is tried, and after the shell copy none: the repair pass, which
  // takes every path the file system holds, copies the tree.
  auto fitsIn = [&](CopyTool tool, size_t sourceLength, size_t limit, const char* prefix,
                    const std::string& source, PathList& warning) {
    warning = pathsTooLong(tree, sourceLength, request.destinationLength, limit);
    const bool fits = warning.count == 0;
    if (fits)
      plan.tool = tool;
    else
      note(prefix, warning, source);
    return fits;
  };
  if (request.mode == CopyMode::xcopy && drivePart(request.destination).empty()) {
    // xcopy, given no destination, copies into the current folder. cmd could not make a network
    // folder current (it fell back to the Windows folder); xcopy started directly copies into one
    // under Wine, but that was never tried on Windows, so a network destination stays with the
    // shell copy.
    note("xcopy cannot copy into a network folder: ", whole(), request.destination);
  } else if (request.mode == CopyMode::xcopy &&
             fitsIn(CopyTool::xcopy, request.fullSourceLength, xcopyPathLimit,
                    "too long for xcopy: ", request.fullSource, plan.warnings.tooLongForXcopy)) {
    return plan;
  }
  plan.toolsGivenNothing =
      !fitsIn(CopyTool::shellCopy, request.sourceLength, shellCopyPathLimit,
              "too long for the shell copy: ", request.source, plan.warnings.tooLongForShellCopy);
  return plan;
}

std::vector<std::u16string> heldByEarlierRecords(Trees& trees, const SourceTree& tree,
                                                 const std::vector<SourceTree>& earlier) {
  // The files of the earlier trees by their path, in the order of compareNames.
  std::vector<std::pair<std::u16string, const FolderEntry*>> placed;
  for (const SourceTree& other : earlier)
    for (const TreeFolder& folder : other.folders)
      for (const TreeEntry& item : folder.entries)
        if (!item.entry.isFolder && inBackup(item))
          placed.emplace_back(joinLong(folder.relative, item.entry.name), &item.entry);
  auto before = [&trees](const auto& a, const std::u16string& b) {
    return trees.compareNames(a.first, b) < 0;
  };
  std::sort(placed.begin(), placed.end(),
            [&](const auto& a, const auto& b) { return before(a, b.first); });

  std::vector<std::u16string> held;
  if (placed.empty()) return held;
  for (const TreeFolder& folder : tree.folders) {
    for (const TreeEntry& item : folder.entries) {
      if (!inBackup(item)) continue;
      std::u16string relative = joinLong(folder.relative, item.entry.name);
      auto at = std::lower_bound(placed.begin(), placed.end(), relative, before);
      for (; at != placed.end() && trees.compareNames(at->first, relative) == 0; ++at) {
        const FolderEntry& file = *at->second;
        if (item.entry.isFolder || file.size != item.entry.size ||
            file.lastWriteTime != item.entry.lastWriteTime) {
          held.push_back(relative);
          break;
        }
      }
    }
  }
  return held;
}

bool canNameAFolder(const std::string& path) {
  constexpr std::string_view neverInNames = "\"*?<>|";
  for (size_t at = path.rfind("\\\\?\\", 0) == 0 ? 4 : 0; at < path.size(); ++at)
    if (static_cast<unsigned char>(path[at]) < 0x20 ||
        neverInNames.find(path[at]) != std::string_view::npos)
      return false;
  return true;
}

std::string drivePart(const std::string& path) {
  size_t colon = path.find(":\\");
  return colon == std::string::npos ? std::string() : path.substr(0, colon + 2);
}

}  // namespace vesk
