#pragma once

// The status file that a run leaves in its destination, veskbackup-status.json, for monitoring
// systems and for the next run into the same destination.

#include <optional>
#include <string>

#include "platform/system.h"
#include "run/run_record.h"

namespace vesk {

/// The status file's name in the destination folder.
constexpr const char* statusFileName = "veskbackup-status.json";

/// The status file's text for a run: one JSON object, in UTF-8 without a byte order mark (the
/// record's texts are in the ANSI code page and are converted).
std::string statusFileText(System& system, const RunRecord& record);

/// The client of the database backup that the run of this status file left running, its texts
/// in the ANSI code page (its identity 0 where the file has none); nothing when it left none,
/// or when text is no status file.
std::optional<ClientProcess> stillRunningClient(System& system, const std::string& text);

}  // namespace vesk
