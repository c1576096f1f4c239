#pragma once

#include "platform/platform.h"

namespace vesk {

/// Exit statuses of the process, read by schedulers.
namespace exitStatus {
constexpr int backedUp = 0;  // every copy completed, database backup confirmed or none configured
constexpr int usage = 1;     // the usage message was shown
constexpr int errorReport = 2;      // the run ended through the error report
constexpr int nothingBackedUp = 3;  // the run ended otherwise: a copy or the database backup failed
constexpr int generic = 4;          // a failure ended the process through the generic report
constexpr int databaseStillRunning =
    5;  // copies completed, database client still running at the end
}  // namespace exitStatus

/// One whole backup run, from the command line to the closed run log. Returns the exit status.
int runBackup(const Platform& platform);

}  // namespace vesk
