#pragma once

// The status file that a run leaves in its destination, veskbackup-status.json, for monitoring
// systems and for the next run into the same destination.

#include <cstdint>
#include <string>

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

}  // namespace vesk
