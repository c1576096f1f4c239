#pragma once

#include "run/run_state.h"

namespace vesk {

/// When the status file in the run's destination says that the run before left its database
/// backup running, reads what that backup's client wrote to its output file and logs one line:
/// "previous SQL backup confirmed: " and the file's path for an output with a line beginning
/// "BACKUP DATABASE successfully processed" and no error of severity 11 or more, otherwise
/// "previous SQL backup NOT confirmed, see " and the path (also for a missing or unreadable
/// output). Keeps what it found in the run's record; logs nothing without such a status file.
/// Must run before the database stage, which removes the output file of its own log path.
void confirmPreviousBackup(RunState& run);

}  // namespace vesk
