#pragma once

#include <cstdint>
#include <string>

#include "actions/client_tools.h"
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

/// What the database backup did, for the run's record.
struct DatabaseResult {
  SqlEnd end = SqlEnd::notComplete;
  bool providerSupported = true;
  std::string outcomeLine;  // the last status message of the stage
  std::string program;      // the client that was started; empty when none was
  std::string outputPath;   // where that client writes its output
  ZonedTime clientStarted;  // when it was started
};

/// Reports "SQL start backup " and the server version, finds the client for it
/// (findClientProgram), reports the backup command (password masked), runs it for up to 5
/// seconds and reports the outcome, which only an output file that the client wrote in this
/// run confirms. destinationDir ends in one backslash. A failure after "SQL start backup"
/// leaves as a DatabaseFailure.
DatabaseResult runDatabaseBackup(const Platform& platform, RunLog& log, const DbSettings& db,
                                 const std::string& destinationDir, const std::string& logPath);

/// The file the client writes its output to: the run log's path followed by "sql".
std::string clientOutputPath(const std::string& logPath);

/// The command line that has the client program back up the database into destinationDir
/// (which ends in one backslash). With maskPassword, for the reported line, every occurrence
/// of the password is written as "********", the -P value and any other; the values of -S, -U
/// and -P are quoted when they hold a blank, a tab or a double quote.
std::string backupCommandLine(ClientForm form, const std::string& program, const DbSettings& db,
                              const std::string& destinationDir, const std::string& logPath,
                              bool maskPassword);

/// True when the client's output holds an error of severity 11 or more: a line beginning
/// "Msg " with ", Level N," and N of 11 or more.
bool clientOutputReportsError(const std::string& output);

/// True when the client's output shows a finished backup: a line beginning "BACKUP DATABASE
/// successfully processed" and no error of severity 11 or more.
bool clientOutputConfirmsBackup(const std::string& output);

}  // namespace vesk
