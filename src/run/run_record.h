#pragma once

// The record of one run: what the run did, kept as it goes, so that the reports made at its end
// (the status file in the destination, the Event Log entry) tell the same as the run log.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "actions/database_backup.h"
#include "actions/folder_copy.h"
#include "platform/platform.h"

namespace vesk {

/// One folder copy of the run.
struct FolderRecord {
  std::string source;
  FolderCopyResult copy;
};

/// What a run found of the database backup that the run before it into the same destination
/// left running.
struct PreviousDatabase {
  /// unknown: the status file was there but could not be used (see reason).
  enum class Outcome {
    confirmed,
    notConfirmed,
    stillRunning,
    unknown
  } outcome = Outcome::notConfirmed;
  std::string outputPath;  // as the status file names it; empty where unknown
  /// Where the output is kept now that this run may replace it: outputPath and ".prev"; empty
  /// when there was nothing to keep or it could not be kept.
  std::string keptPath = {};
  std::string reason = {};  // why it is not confirmed, or since when it runs
  std::vector<std::string> messages = {};
};

/// How far the database stage came.
enum class DatabaseStage {
  notReached,
  noDbProperties,  // the installation has none: no database to back up
  started,         // and a failure ended the run within it
  ended,           // with RunRecord::database
};

struct RunRecord {
  ZonedTime start;
  ZonedTime end;
  std::string logPath;
  /// The destination folder, ending in one backslash, once the run has made sure that it
  /// exists; empty before.
  std::string destination;
  std::optional<PreviousDatabase> previousDatabase;
  /// When the last run into the destination that exited with 0 ended, as the status file of
  /// the run before has it (ISO 8601); nothing when it names none or could not be used.
  std::optional<std::string> lastSuccessBefore;
  std::vector<FolderRecord> folders;
  DatabaseStage databaseStage = DatabaseStage::notReached;
  DatabaseResult database;
  /// The lines that tell the run's outcome, as the run log has them: each folder's outcome and
  /// summary, the previous database backup's confirmation, the database outcome, and the line
  /// that ended a run refused or failed.
  std::vector<std::string> outcomeLines;
  /// The report that ended the run: the error report (with the step; number 0 and step 0 for
  /// a refusal) or the generic report (without a step).
  struct Report {
    int32_t number = 0;
    std::optional<int32_t> step;
    std::string description;
  };
  std::optional<Report> report;
  int exitStatus = 0;
};

}  // namespace vesk
