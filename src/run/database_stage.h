#pragma once

#include <optional>
#include <string>

#include "actions/database_backup.h"
#include "run/folder_stage.h"
#include "run/previous_backup.h"
#include "run/run_settings.h"
#include "run/run_state.h"

namespace vesk {

/// The database stage: db.properties, then the client's backup, each part at its step.
/// Nothing when db.properties is not there ("VESK backup completed without SQLServer
/// version"); no client when the one the run before started still runs.
std::optional<SqlEnd> backUpDatabase(RunState& run, const RunSettings& settings,
                                     const FolderStageResult& folders,
                                     const std::string& pathConfPath,
                                     const PreviousBackup& previous);

/// The step of a malformed record of db.properties: the reader names the part of the record.
Step stepOf(DbRecordPart part);

/// The database backup with the settings of db.properties: reports "SQL start backup " and the
/// version, finds the client, runs it and records the outcome by the one rule, each part at its
/// step. destinationDir ends in one backslash.
SqlEnd runDatabaseBackup(RunState& run, const DbSettings& db, const std::string& destinationDir,
                         const std::string& logPath, const PreviousBackup& previous = {});

}  // namespace vesk
