#pragma once

#include "platform/platform.h"
#include "run/report.h"

namespace vesk {

/// One whole backup run, from the command line to the closed run log. Returns the exit status
/// (see exitStatus).
int runBackup(const Platform& platform);

}  // namespace vesk
