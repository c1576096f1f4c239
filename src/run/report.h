#pragma once

// How a run reports itself: the steps that the error report names ("line no"), the number and
// description of each failure, the error report and the generic report, and how the way a run
// ended becomes its last lines and its exit status. Stages say what they did or what failed;
// only this module turns that into numbers and texts.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "run/run_state.h"

namespace vesk {

enum class SqlEnd;  // how the database backup ended (actions/database_backup.h)

/// Exit statuses of the process, read by schedulers.
namespace exitStatus {
constexpr int backedUp = 0;  // every copy completed, database backup confirmed or none configured
constexpr int usage = 1;     // the usage message was shown
constexpr int errorReport = 2;      // the run ended through the error report
constexpr int nothingBackedUp = 3;  // the run ended otherwise: a copy or the database backup failed
constexpr int generic = 4;          // a failure ended the process through the generic report
constexpr int databaseStillRunning = 5;  // copies completed, database client still running
}  // namespace exitStatus

/// The steps of a run that the error report can name: where a failure can arise once the error
/// report is armed (when path.conf is open). The values are the numbers the report prints; they
/// are those of earlier versions of the program, so that old and new run logs read alike.
enum class Step : int32_t {
  none = 0,                   // the error report entered without a failure
  finalPathValue = 58,        // the value of a finalPath record
  sourceTest = 59,            // "Not a folder.", " Pls. use a valid source folder"
  destinationTest = 63,       // " folder can not be created.", "Pls. specify a valid backup path ."
  selfBackupTest = 651,       // "Cannot back up to itself"
  normaliseDestination = 66,  // and "Start copying from "
  copyFolder = 69,
  folderCompleted = 691,
  folderNotComplete = 693,
  noDbProperties = 78,  // "VESK backup completed without SQLServer version"
  readDbProperties = 81,
  providerValue = 89,
  urlValue = 99,
  urlScheme = 100,
  urlHostLength = 102,
  urlHost = 104,
  urlPort = 105,
  userValue = 107,
  passwordValue = 109,
  databaseStart = 113,  // "SQL start backup "
  msdeClientTools = 116,
  msdeClient = 117,
  sql2005ClientTools = 120,
  sql2005Client = 121,
  databaseOutcome = 122,
  exitBlock = 124,  // a failure in the error report itself
};

/// The number and description that the reports print for a failure.
struct ReportedFailure {
  int32_t number = 0;
  std::string description;
};
ReportedFailure reported(const Failure& failure);

/// The error report's box text and its log line (without the time stamp).
std::string errorReportMessage(const ReportedFailure& failure, Step step);
std::string errorReportLine(const ReportedFailure& failure, Step step);
/// The generic report's box text, which is also its log line.
std::string genericReportText(const ReportedFailure& failure);

/// How the run's sequence of stages ended.
struct RunEnding {
  enum class Way {
    usage,      // the usage message was shown
    refused,    // a test refused the run (a missing path.conf, source or destination)
    failed,     // a failure ended it, at step
    completed,  // the last stage was done
  } way = Way::completed;
  std::optional<Failure> failure;
  Step step = Step::none;
  int copiesMade = 0;
  bool everyCopyCompleted = true;
  /// Nothing when db.properties was not there.
  std::optional<SqlEnd> database;
  /// The database backup that the run before left running turned out NOT confirmed: a failure
  /// that outlived its run, which this run's status tells.
  bool previousNotConfirmed = false;
};

/// Ends the run as it ended: the error report (before path.conf is open, the generic report)
/// for a refusal or a failure, then the exit block; returns the exit status. The reports are
/// kept in the run's record. beforeLogCloses, when set, is given the exit status while the run
/// log is still open: the last of the run that may write to it.
int endRun(RunState& run, const RunEnding& ending,
           const std::function<void(int exitStatus)>& beforeLogCloses = {});

/// Ends the run for what no stage handles (memory exhausted): the generic report, then
/// beforeLogCloses with exit status 4, which it returns.
int endThroughGenericReport(RunState& run, const ReportedFailure& failure,
                            const std::function<void(int exitStatus)>& beforeLogCloses = {});

/// The exit status of a run whose last stage was done.
int statusOfCompletedRun(const RunEnding& ending);

/// What an exit status means, in the words of README's table of exit statuses.
std::string exitStatusMeaning(int status);

}  // namespace vesk
