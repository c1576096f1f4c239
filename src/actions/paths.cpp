#include "actions/paths.h"

#include <cctype>

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
  // The first three characters (drive letter, colon, backslash) are never a level.
  size_t searchFrom = 3;
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

}  // namespace vesk
