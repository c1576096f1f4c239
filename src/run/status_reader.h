#pragma once

// Reading back a status file that a run left in its destination: the next run into it, and
// anything else that acts on what a run left, read it through this one reader. The file lies
// where others may write it, so it is read only within bounds (size, nesting, values) and used
// only when it is what veskbackup-status.schema.json allows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "actions/database_backup.h"
#include "platform/files.h"
#include "platform/system.h"

namespace vesk {

/// The largest status file read back. A run writes a few KB; its largest, a run whose lists
/// all name ten paths of 32,767 characters, about 4 MB per folder copied.
constexpr uint64_t maxStatusFileSize = 8 << 20;
/// The deepest nesting of arrays and objects read back; a status file has 5.
constexpr size_t maxStatusDepth = 16;
/// The most values (texts, numbers, arrays, objects...) read back; a status file has a few
/// hundred per folder copied.
constexpr size_t maxStatusValues = 100'000;

/// What a run uses of the status file that the run before it left, its texts in the ANSI
/// code page.
struct PreviousStatus {
  /// The database client that run left running, when its record says "still running" (its
  /// identity 0 where the record has none).
  std::optional<ClientProcess> stillRunning;
  /// When the last run into the destination that exited with 0 ended, as the file has it.
  std::optional<std::string> lastSuccess;
};

/// A status file read back: what it holds, or why it cannot be used.
struct StatusReading {
  std::optional<PreviousStatus> status;
  /// Why not, as the line "previous status file not used: " goes on; empty when used.
  std::string reason;
};

/// Reads a status file's text: JSON in UTF-8 of at most maxStatusDepth levels and
/// maxStatusValues values, without a key twice in an object, that the schema allows.
StatusReading readStatusText(System& system, std::string_view text);

/// Reads the status file at path within maxStatusFileSize; nothing when there is none.
std::optional<StatusReading> readStatusFile(Files& files, System& system, const std::string& path);

/// The schema that status files are written and read by, veskbackup-status.schema.json.
std::string_view statusSchemaText();

}  // namespace vesk
