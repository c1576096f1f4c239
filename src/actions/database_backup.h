#pragma once

#include <cstdint>
#include <string>

#include "config/db_properties.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// How the database backup ended, for the exit status.
enum class SqlEnd { complete, stillRunning, notComplete };

/// Steps 113 (after db.properties is closed) to 122: reports "SQL start backup ", finds the
/// client, builds, reports (password masked) and runs the backup command, and reports its
/// outcome. Keeps stepNumber current.
SqlEnd runDatabaseBackup(Platform& platform, RunLog& log, const DbSettings& db,
                         const std::string& destinationDir, const std::string& logPath,
                         uint32_t& stepNumber);

}  // namespace vesk
