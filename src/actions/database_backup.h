#pragma once

#include <cstdint>
#include <string>

#include "config/db_properties.h"
#include "log/run_log.h"
#include "platform/failure.h"
#include "platform/platform.h"

namespace vesk {

/// How the database backup ended, for the exit status.
enum class SqlEnd { complete, stillRunning, notComplete };

/// What the database backup was doing when a failure arose: reading the client tools' folder
/// from the registry, reporting and running the client, or reporting its outcome.
enum class DatabasePhase { clientTools, client, outcome };
using DatabaseFailure = FailureIn<DatabasePhase>;

/// Reports "SQL start backup " and the server version, finds the client for it in the
/// registry, reports the backup command (password masked), runs it for up to 5 seconds and
/// reports the outcome, which only an output file that the client wrote in this run confirms.
/// destinationDir ends in one backslash. A failure after "SQL start backup" leaves as a
/// DatabaseFailure.
SqlEnd runDatabaseBackup(const Platform& platform, RunLog& log, const DbSettings& db,
                         const std::string& destinationDir, const std::string& logPath);

/// The file the client writes its output to: the run log's path followed by "sql".
std::string clientOutputPath(const std::string& logPath);

/// The two client generations: OSQL.exe for "MSDE", sqlcmd.exe for "2005".
enum class ClientForm { msde, sql2005 };

/// The command line that has the client in clientToolsDir back up the database into
/// destinationDir (which ends in one backslash). With maskPassword, for the reported line,
/// every occurrence of the password is written as "********", the -P value and any other; the
/// values of -S, -U and -P are quoted when they hold a blank, a tab or a double quote.
std::string backupCommandLine(ClientForm form, const std::string& clientToolsDir,
                              const DbSettings& db, const std::string& destinationDir,
                              const std::string& logPath, bool maskPassword);

/// True when the client's output holds an error of severity 11 or more: a line beginning
/// "Msg " with ", Level N," and N of 11 or more.
bool clientOutputReportsError(const std::string& output);

}  // namespace vesk
