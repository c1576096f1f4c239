#pragma once

#include <optional>

#include "actions/database_backup.h"
#include "run/run_state.h"

namespace vesk {

/// What a run found of the database backup that the run before it into the same destination
/// left running, for the rest of the run.
struct PreviousBackup {
  /// That client, when it still runs: the run starts no second one.
  std::optional<ClientProcess> stillRunning;
  bool overADay = false;  // and has run for more than a day
  bool notConfirmed = false;
};

/// Reads the status file in the run's destination (readStatusFile); one that cannot be used is
/// logged "previous status file not used: " and why, and kept as an unknown previous outcome.
/// When it says that the run before left its database backup running: when that client (the
/// same process id and creation time) still runs, logs "previous SQL backup still running
/// since " and its start. Otherwise, where the output path it names may be read (see
/// readBackRefusal) and the output is within maxClientOutputSize, judges it by the one rule
/// (judgeClient; the exit code was not seen), keeps it beside itself with ".prev" appended,
/// where this run's client cannot replace it, and logs "previous SQL backup confirmed: " or
/// "previous SQL backup NOT confirmed, see " with the path that holds it, then the output's
/// error messages; an output not read is "previous SQL backup NOT confirmed, output not read: "
/// and its path, and why in brackets. Keeps what it found in the run's record; logs nothing
/// without a status file. Must run before the database stage, which removes the output file of
/// its own log path.
PreviousBackup confirmPreviousBackup(RunState& run);

}  // namespace vesk
