#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// Copies the contents of source into destination (which ends in one backslash): by xcopy
/// through cmd unless copyMode is exactly "N", by the shell copy otherwise. A tree with paths
/// too long for xcopy (see findPathsTooLongForXcopy) is copied by the shell copy instead, after
/// one "too long for xcopy: " line per path. True only when the tool reported success and every
/// source file and folder is present in the destination.
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

/// The files and folders that failed a walk over the source tree.
struct CopyCheck {
  size_t failures = 0;
  std::vector<std::string> firstFailures;  // the first ten, relative to the source
};

/// The longest full path that xcopy is handed: it builds each path in a buffer of MAX_PATH
/// (260) characters; Windows' xcopy gives up on paths of about 255 characters with
/// "Insufficient memory", Wine's overruns its buffers and then may never end.
constexpr size_t xcopyPathLimit = 254;

/// The entries of the source tree that xcopy cannot be given: those whose full path in the
/// source or in the destination is longer than xcopyPathLimit (a folder's together with the
/// "\*" of its listing), and folders beyond the walk limits. What lies below a folder found
/// here is not walked; neither is the destination's own subtree inside the source. A folder
/// that cannot be listed is passed over: xcopy passes over it too, and the copy check
/// reports it.
CopyCheck findPathsTooLongForXcopy(Platform& platform, const std::string& source,
                                   const std::string& destination, const WalkLimits& limits = {});

/// Compares the source tree with the destination: every file must be there with a last-write
/// time not older than the source's by more than 2 seconds, every folder must be there. A
/// source folder that cannot be listed fails, unless it already failed as missing from the
/// destination: each path counts once. The destination's own subtree inside the source is not
/// walked.
CopyCheck checkCopy(Platform& platform, const std::string& source, const std::string& destination,
                    const WalkLimits& limits = {});

}  // namespace vesk
