#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "platform/system.h"

namespace vesk {

/// Paths of the source tree that the run log names: the first ten, and how many in all.
struct PathList {
  size_t count = 0;
  /// Relative to the source, names joined by "\"; an empty one stands for the source itself.
  std::vector<std::u16string> first;

  void add(const std::u16string& relative);
};

/// A path of a list as the run log and the status file name it: in the ANSI code page, relative
/// to the source, or the source's own text for the source itself.
std::string pathText(System& system, const std::u16string& relative, const std::string& source);

/// One line prefix + path for each path named, then one line with the count of the others.
void logPaths(RunLog& log, System& system, const std::string& prefix, const PathList& paths,
              const std::string& source);

}  // namespace vesk
