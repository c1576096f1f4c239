#pragma once

// The watch: a process of the program's own that a run leaves behind when its database client
// is still running after the run's wait. It waits for the client (up to a day), decides by the
// same rule as the run, and then, once, appends the outcome to the run's log, settles the
// database record of the run's status file and writes an Event Log entry of its own. It shows
// no window and no box, and holds no file open while it waits.
//
// The watch is this program started with its order in the variable VESKBACKUP_WATCH of its own
// environment and a command line without arguments: no command line that an administrator
// writes reaches it.

#include <optional>
#include <string>

#include "actions/database_backup.h"
#include "platform/platform.h"
#include "run/run_state.h"

namespace vesk {

/// What the run tells its watch.
struct WatchOrder {
  std::string statusPath;  // empty where the run wrote no status file
  std::string logPath;
  std::string runStart;  // the run's start as its status file has it
  ClientProcess client;
  int statusIfConfirmed = 0;  // the run's exit status, had it waited for a confirmed backup
};

constexpr const char* watchVariable = "VESKBACKUP_WATCH";
constexpr uint16_t watchConfirmedEventId = 1010;
constexpr uint16_t watchNotConfirmedEventId = 1013;

std::string watchOrderText(const WatchOrder& order);
/// Nothing when text is not a whole order.
std::optional<WatchOrder> watchOrderOf(const std::string& text);

/// The order when this process is a watch: the variable is set and the command line holds no
/// argument.
std::optional<WatchOrder> watchOrderFor(System& system);

/// Leaves the watch for the run's client, still running: this program again, with the order in
/// its environment alone, started in the system folder (it keeps no folder of the run's in
/// use) and outside a job that would end it with the run. A start that fails is logged.
void leaveWatch(RunState& run, int statusIfConfirmed);

/// The watch's work. Returns 0 when it wrote the log line, the status file (or left a later
/// run's alone) and the Event Log entry, 1 when any of them failed; each failure is logged once
/// where the log can take it.
int runWatch(const Platform& platform, const WatchOrder& order);

}  // namespace vesk
