#pragma once

#include <string>

#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// Copies the contents of source into destination (which ends in one backslash): by xcopy
/// through cmd unless copyMode is exactly "N", by the shell copy otherwise. True only when the
/// tool reported success and every source file and folder is present in the destination.
bool copyFolder(Platform& platform, RunLog& log, const std::string& source,
                const std::string& destination, const std::string& copyMode,
                const std::string& logPath);

}  // namespace vesk
