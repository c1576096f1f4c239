#include "actions/path_list.h"

namespace vesk {
namespace {

constexpr size_t pathsNamed = 10;

}  // namespace

void PathList::add(const std::u16string& relative) {
  ++count;
  if (first.size() < pathsNamed) first.push_back(relative);
}

std::string pathText(System& system, const std::u16string& relative, const std::string& source) {
  return relative.empty() ? source : system.ansiFromUtf16(relative);
}

void logPaths(RunLog& log, System& system, const std::string& prefix, const PathList& paths,
              const std::string& source) {
  for (const std::u16string& path : paths.first)
    log.writeLog(prefix + pathText(system, path, source));
  if (paths.count > paths.first.size())
    log.writeLog(prefix + std::to_string(paths.count - paths.first.size()) + " more");
}

}  // namespace vesk
