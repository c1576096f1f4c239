#pragma once

#include "run/run_state.h"

namespace vesk {

/// What a run leaves for monitoring at its end, from its record: the status file in the
/// destination (when the run made sure the destination exists) and one entry in the Event Log,
/// its level and event ID by the exit status. Neither changes the run's outcome: a failure of
/// either is logged, once, while the run log is open.
void reportRunEnd(RunState& run, int exitStatus);

/// Has a crash of the program (see System::onCrash) end the run as the generic report ends it,
/// with exit status 4: its line "Error N: description" in the run log while it is open, the
/// status file and the Event Log entry, then the same text in a box. Until disarmCrashReport.
void armCrashReport(RunState& run);
void disarmCrashReport(const Platform& platform);

/// The Event Log entry's level for an exit status: information for 0, warning for 5, error for
/// the others; its event ID is 1000 + the status.
EventLevel eventLevelOf(int exitStatus);

}  // namespace vesk
