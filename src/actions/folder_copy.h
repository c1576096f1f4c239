#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// Copies the contents of source into destination (which ends in one backslash): by xcopy
/// through cmd unless copyMode is exactly "N", by the shell copy otherwise. True only when the
/// tool reported success and every source file and folder is present in the destination.
bool copyFolder(Platform& platform, RunLog& log, const std::string& source,
                const std::string& destination, const std::string& copyMode,
                const std::string& logPath);

/// The xcopy command line, run with the destination as current folder:
/// cmd /c  xcopy "SOURCE" /e /s /d /y >"LOGPATHxcp".
std::string xcopyCommandLine(const std::string& source, const std::string& logPath);

/// Bounds of the walk over the source, so that a folder loop (a junction pointing up the tree)
/// ends it; a folder beyond them counts as not verified.
struct WalkLimits {
  size_t maxDepth = 512;
  size_t maxFolders = 1'000'000;
};

/// What a comparison of the source tree with the destination found.
struct CopyCheck {
  size_t failures = 0;                     // files and folders missing or out of date
  std::vector<std::string> firstFailures;  // the first ten, relative to the source
};

/// Compares the source tree with the destination: every file must be there with a last-write
/// time not older than the source's by more than 2 seconds, every folder must be there. A
/// source folder that cannot be listed fails; the destination's own subtree inside the source
/// is not walked.
CopyCheck checkCopy(Platform& platform, const std::string& source, const std::string& destination,
                    const WalkLimits& limits = {});

}  // namespace vesk
