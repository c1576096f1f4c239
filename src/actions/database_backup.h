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
/// outcome, which only an output file that the client wrote in this run confirms. Keeps
/// stepNumber current.
SqlEnd runDatabaseBackup(Platform& platform, RunLog& log, const DbSettings& db,
                         const std::string& destinationDir, const std::string& logPath,
                         uint32_t& stepNumber);

/// The two client generations: OSQL.exe for "MSDE", sqlcmd.exe for "2005".
enum class ClientForm { msde, sql2005 };

/// backupCommand for the client in clientToolsDir. With maskPassword, for the reported line,
/// every occurrence of the password is written as "********", the -P value and any other; the
/// values of -S, -U and -P are quoted when they hold a blank, a tab or a double quote.
std::string backupCommandLine(ClientForm form, const std::string& clientToolsDir,
                              const DbSettings& db, const std::string& destinationDir,
                              const std::string& logPath, bool maskPassword);

/// True when the client's output holds an error of severity 11 or more: a line beginning
/// "Msg " with ", Level N," and N of 11 or more.
bool clientOutputReportsError(const std::string& output);

}  // namespace vesk
