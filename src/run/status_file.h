#pragma once

// The status file that a run leaves in its destination, veskbackup-status.json, for monitoring
// systems and for the next run into the same destination.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"
#include "run/run_record.h"

namespace vesk {

/// The status file's name in the destination folder.
constexpr const char* statusFileName = "veskbackup-status.json";

/// The version of veskbackup-status.schema.json that the file is written by.
constexpr int statusSchemaVersion = 1;

/// The status file's text for a run: one JSON object, in UTF-8 without a byte order mark (the
/// record's texts are in the ANSI code page and are converted), as the schema describes it.
/// Read back by readStatusText (run/status_reader.h).
std::string statusFileText(System& system, const RunRecord& record);

/// Seconds from one time to a later one, their offsets from UTC taken into account; 0 when the
/// second is earlier.
int64_t secondsBetween(const ZonedTime& from, const ZonedTime& to);

/// How the watch settled the database backup that its run left running.
struct Settlement {
  bool confirmed = false;
  std::string reason;                 // why not, as after "SQL backup NOT complete, "
  std::vector<std::string> messages;  // the client's error messages
  std::vector<std::string> lines;     // the outcome line and the messages, as the log has them
  int exitStatus = 0;                 // the run's, had it waited for the client
  ZonedTime at;
};

/// The status file's text with the database backup settled: its record's outcome, reason,
/// messages, "confirmedAt" and "settledBy" ("watch"), the exit status and its meaning, and the
/// outcome lines (the line that said the client was still running replaced by the settlement's).
/// Nothing when text is not the status file of the run that started this client (its start and
/// the client's process id and creation time), or that record is no longer "still running": a
/// later run's file is left alone.
std::optional<std::string> settledStatusText(System& system, const std::string& text,
                                             const std::string& runStart,
                                             const ClientProcess& client,
                                             const Settlement& settlement);

}  // namespace vesk
