#include "actions/paths.h"

#include <cctype>
#include <vector>

#include "platform/failure.h"

namespace vesk {
namespace {

// Positions and lengths of folder paths are kept in 16 bits; a longer path overflows.
constexpr size_t maxPathLength = 32767;

void checkLength(const std::string& path) {
  if (path.size() > maxPathLength) throw Failure(6, "Overflow");
}

/// Lower case, "/" as "\", no trailing backslashes.
std::string comparable(const std::string& path) {
  std::string result;
  result.reserve(path.size());
  for (char c : path)
    result += c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!result.empty() && result.back() == '\\') result.pop_back();
  return result;
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

void createFolderPath(Platform& platform, RunLog& log, const std::string& path) {
  checkLength(path);
  // The drive ("C:\") or the share ("\\server\share\") is never a level.
  size_t searchFrom = 3;
  if (path.rfind("\\\\", 0) == 0) {
    size_t share = path.find('\\', 2);
    share = share == std::string::npos ? share : path.find('\\', share + 1);
    searchFrom = share == std::string::npos ? path.size() : share + 1;
  }
  while (!platform.folderExists(path)) {
    size_t backslash = searchFrom < path.size() ? path.find('\\', searchFrom) : std::string::npos;
    if (backslash == std::string::npos) {
      platform.createFolder(path);
      searchFrom = 0;
      continue;
    }
    if (!platform.folderExists(path.substr(0, backslash + 1))) {
      std::string level = path.substr(0, backslash);
      log.reportStatus("create dir" + level);
      platform.createFolder(level);
    }
    searchFrom = backslash + 1;
  }
}

bool destinationInsideSource(const std::string& destination, const std::string& source) {
  std::string dest = comparable(destination);
  std::string src = comparable(source);
  if (dest == src) return true;
  return dest.size() > src.size() && dest.compare(0, src.size(), src) == 0 &&
         dest[src.size()] == '\\';
}

bool backsUpIntoItself(Platform& platform, const std::string& destination,
                       const std::string& source, const SourceTree& tree) {
  if (destinationInsideSource(destination, source)) return true;
  const std::string fullDestination = platform.fullPath(destination);
  if (destinationInsideSource(fullDestination, platform.fullPath(source))) return true;

  // Another name for a folder (a drive letter or a share onto it, a junction) shows in no
  // path: the file system tells by the identity of the folders. The destination lies inside
  // the source when it, or a folder above it, is one of the folders of the source's tree.
  for (const std::string& folder : folderAndParents(fullDestination)) {
    auto identity = platform.folderIdentity(platform.longPathOf(folder));
    if (identity && tree.identities.count(*identity)) return true;
  }
  return false;
}

std::string dbPropertiesPathOf(const std::string& sourceDir) {
  size_t end = sourceDir.find_last_not_of('\\');
  return sourceDir.substr(0, end == std::string::npos ? 0 : end + 1) + "\\ZAVO\\db.properties";
}

}  // namespace vesk
