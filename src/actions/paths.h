#pragma once

#include <string>

#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// The text before its first NUL; the whole text when it holds none.
std::string stripAtNul(const std::string& text);

/// The path ending in exactly one backslash: a trailing run of backslashes is collapsed, a
/// path without one gets one.
std::string normaliseFolderPath(const std::string& path);

/// Creates every missing level of path, from the level after the drive on, reporting
/// "create dir" + level for each level found by its backslash. A level that cannot be created
/// raises its failure; the levels made before it stay.
void createFolderPath(Platform& platform, RunLog& log, const std::string& path);

/// True when destination is source or lies inside it, compared as Windows compares paths:
/// letter case ignored, "/" taken as "\", trailing backslashes ignored.
bool destinationInsideSource(const std::string& destination, const std::string& source);

}  // namespace vesk
