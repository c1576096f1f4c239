#include "actions/paths.h"

#include <algorithm>
#include <vector>

#include "platform/failure.h"
#include "platform/text.h"

namespace vesk {
namespace {

// Positions and lengths of folder paths are kept in 16 bits; a longer path overflows.
constexpr size_t maxPathLength = 32767;

void checkLength(const std::string& path) {
  if (path.size() > maxPathLength) throw Failure(Fault::overflow);
}

/// The folder and every folder above it, up to its root, in their full form.
std::vector<std::string> folderAndParents(std::string path) {
  std::vector<std::string> chain;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  while (!path.empty()) {
    chain.push_back(path.size() == 2 && path[1] == ':' ? path + "\\" : path);
    size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos || cut < 2) break;  // a drive, or "\\server" of a share
    path.resize(cut);
  }
  return chain;
}

}  // namespace

std::string stripAtNul(const std::string& text) {
  size_t nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

std::string normaliseFolderPath(const std::string& path) {
  checkLength(path);
  size_t end = path.size();
  while (end > 0 && path[end - 1] == '\\') --end;
  return path.substr(0, end) + "\\";
}

std::string windowsFolderName(const std::string& path) {
  // "." and ".." name other folders; what ends in a blank or a dot is a name only in the long
  // form.
  auto relative = [](const std::string& name) { return name == "." || name == ".."; };
  auto kept = [&](const std::string& name) {
    return !relative(name) && (name.empty() || (name.back() != ' ' && name.back() != '.'));
  };
  if (startsWith(path, "\\\\?\\")) {
    const std::string rest = path.substr(4);
    std::string ordinary;
    if (rest.size() >= 3 && rest[1] == ':' && rest[2] == '\\')
      ordinary = rest;
    else if (lowerCase(rest.substr(0, 4)) == "unc\\")
      ordinary = "\\\\" + rest.substr(4);
    const std::vector<std::string> names = splitAt(rest, '\\');
    if (ordinary.empty() || rest.find('/') != std::string::npos ||
        !std::all_of(names.begin() + 1, names.end(), kept))
      return path;
    return ordinary;
  }
  const size_t separator = path.find_last_of("\\/");
  size_t name = separator == std::string::npos ? 0 : separator + 1;
  if (name == 0 && path.size() >= 2 && path[1] == ':') name = 2;
  const size_t end = path.find_last_not_of(" .");
  if (relative(path.substr(name)) || kept(path.substr(name)) ||
      (end == std::string::npos && name == 0))
    return path;
  return path.substr(0, end == std::string::npos || end < name ? name : end + 1);
}

void createFolderPath(Files& files, RunLog& log, const std::string& path) {
  checkLength(path);
  // The drive ("C:\") or the share ("\\server\share\") is never a level.
  size_t searchFrom = 3;
  if (startsWith(path, "\\\\")) {
    size_t share = path.find('\\', 2);
    share = share == std::string::npos ? share : path.find('\\', share + 1);
    searchFrom = share == std::string::npos ? path.size() : share + 1;
  }
  while (!files.folderExists(path)) {
    size_t backslash = searchFrom < path.size() ? path.find('\\', searchFrom) : std::string::npos;
    if (backslash == std::string::npos) {
      files.createFolder(path);
      searchFrom = 0;
      continue;
    }
    if (!files.folderExists(path.substr(0, backslash + 1))) {
      std::string level = path.substr(0, backslash);
      log.reportStatus("create dir" + level);
      files.createFolder(level);
    }
    searchFrom = backslash + 1;
  }
}

bool destinationInsideSource(const std::string& destination, const std::string& source) {
  return pathWithin(destination, source);
}

DestinationChain destinationChainOf(const Platform& platform, const std::string& destination) {
  DestinationChain chain;
  bool deepestFound = false;
  for (const std::string& folder : folderAndParents(platform.files.fullPath(destination))) {
    auto identity = platform.trees.folderIdentity(platform.trees.longPathOf(folder));
    if (!identity) continue;
    chain.identities.insert(*identity);
    const size_t cut = folder.find_last_of('\\');
    const bool root = cut == std::string::npos || cut + 1 == folder.size() ||
                      (startsWith(folder, "\\\\") && folder.find('\\', 2) == cut);
    // A root of the deepest folder that exists can stand for any folder: every one is read.
    if (root && !deepestFound) {
      chain.names.clear();
      return chain;
    }
    deepestFound = true;
    if (!root) chain.names.push_back(platform.system.utf16FromAnsi(folder.substr(cut + 1)));
  }
  return chain;
}

bool backsUpIntoItself(Files& files, const std::string& destination, const std::string& source,
                       const SourceTree& tree, const DestinationChain& chain) {
  if (destinationInsideSource(destination, source)) return true;
  if (destinationInsideSource(files.fullPath(destination), files.fullPath(source))) return true;
  // Another name for a folder (a drive letter or a share onto it, a junction) shows in no
  // path: the file system tells by the identity of the folders. The destination lies inside
  // the source when it, or a folder above it, is the source or one of its folders.
  for (const FolderIdentity& identity : chain.identities)
    if (tree.identities.count(identity)) return true;
  return false;
}

std::string dbPropertiesPathOf(const std::string& sourceDir) {
  size_t end = sourceDir.find_last_not_of('\\');
  return sourceDir.substr(0, end == std::string::npos ? 0 : end + 1) + "\\ZAVO\\db.properties";
}

}  // namespace vesk
