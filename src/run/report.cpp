#include "run/report.h"

#include "actions/database_backup.h"

namespace vesk {
namespace {

struct FailureText {
  Fault fault;
  int32_t number;
  const char* description;
};

// The numbers and texts of the scripting runtime that earlier versions of the program ran on,
// so that the error lines of old and new run logs read alike; 1001 is the program's own.
constexpr FailureText failureTexts[] = {
    {Fault::invalidArgument, 5, "Invalid procedure call or argument"},
    {Fault::overflow, 6, "Overflow"},
    {Fault::subscriptOutOfRange, 9, "Subscript out of range"},
    {Fault::badFileName, 52, "Bad file name or number"},
    {Fault::fileNotFound, 53, "File not found"},
    {Fault::fileAlreadyExists, 58, "File already exists"},
    {Fault::diskFull, 61, "Disk full"},
    {Fault::permissionDenied, 70, "Permission denied"},
    {Fault::diskNotReady, 71, "Disk not ready"},
    {Fault::pathFileAccess, 75, "Path/File access error"},
    {Fault::pathNotFound, 76, "Path not found"},
    {Fault::logNotOpen, 91, "Run log is not open"},
    {Fault::unsupportedValueType, 1001, "Unsupported value type"},
};

/// A number as the error report writes it: a blank before zero and positive numbers, the minus
/// sign before negative ones.
std::string reportNumber(int64_t number) {
  std::string text = std::to_string(number);
  if (number >= 0) text.insert(text.begin(), ' ');  // the blank where a minus sign goes
  return text;
}

int64_t numberOf(Step step) { return static_cast<int64_t>(step); }

/// The box, then the line in the run log when it is set.
void errorReport(RunState& run, const ReportedFailure& failure, Step step) {
  run.record.report = {failure.number, static_cast<int32_t>(numberOf(step)), failure.description};
  run.platform.desktop.showMessage(errorReportMessage(failure, step));
  if (run.log.isSet()) {
    // The time is taken after the box has been closed.
    run.log.writeRawLine(timestampText(run.platform.system, run.platform.system.localTime()) +
                         errorReportLine(failure, step));
  }
}

/// Ends the process for a failure that nobody handles: its number and description in a box,
/// and in the run log when that is open.
int genericReport(RunState& run, const ReportedFailure& report) {
  const std::string text = genericReportText(report);
  run.record.report = {report.number, std::nullopt, report.description};
  keepOutcome(run, text);
  // Where nobody sees the box (a task that runs while no one is logged on), the log is the
  // only place that tells why the run ended. The failure may be the log's own: then the line
  // is lost too, and the box is still shown.
  if (run.log.isOpen()) {
    try {
      run.log.writeLog(text);
    } catch (const Failure&) {
    }
  }
  run.platform.desktop.showMessage(text);
  return exitStatus::generic;
}

/// The error report, then the exit block. Entered for a refusal (no failure), the armed report
/// also catches one failure raised in itself and reports that one, at step 124; any other
/// failure there ends the process through the generic report.
int endThroughErrorReport(RunState& run, const RunEnding& ending) {
  const bool catchesOne = !ending.failure && run.errorReportArmed;
  // A refusal's own line, the status message before the report, tells why; the report's line
  // for it ("Error: 0line no: 0Desc:") tells nothing.
  const std::string outcome = ending.failure
                                  ? errorReportLine(reported(*ending.failure), ending.step)
                                  : run.log.lastStatus();
  try {
    if (ending.failure)
      errorReport(run, reported(*ending.failure), ending.step);
    else
      errorReport(run, {}, Step::none);
  } catch (const Failure& raised) {
    if (!catchesOne) return genericReport(run, reported(raised));
    try {
      errorReport(run, reported(raised), Step::exitBlock);
      keepOutcome(run, errorReportLine(reported(raised), Step::exitBlock));
      return exitStatus::errorReport;
    } catch (const Failure& again) {
      return genericReport(run, reported(again));
    }
  }
  if (!outcome.empty()) keepOutcome(run, outcome);
  return exitStatus::errorReport;
}

}  // namespace

int statusOfCompletedRun(const RunEnding& ending) {
  if (ending.copiesMade == 0 || !ending.everyCopyCompleted || ending.previousNotConfirmed)
    return exitStatus::nothingBackedUp;
  if (!ending.database) return exitStatus::backedUp;  // no db.properties: no database to back up
  switch (*ending.database) {
    case SqlEnd::complete:
      return exitStatus::backedUp;
    case SqlEnd::stillRunning:
      return exitStatus::databaseStillRunning;
    case SqlEnd::notComplete:
      break;
  }
  return exitStatus::nothingBackedUp;
}

ReportedFailure reported(const Failure& failure) {
  for (const FailureText& text : failureTexts) {
    if (text.fault != failure.fault) continue;
    std::string description = text.description;
    if (!failure.detail.empty()) description += " (" + failure.detail + ")";
    return {text.number, description};
  }
  return {0, failure.detail};
}

std::string errorReportMessage(const ReportedFailure& failure, Step step) {
  return "Unexpected error" + reportNumber(failure.number) + " line no" +
         reportNumber(numberOf(step)) + " in printing.\r\n" + failure.description;
}

std::string errorReportLine(const ReportedFailure& failure, Step step) {
  return "Error:" + reportNumber(failure.number) + "line no:" + reportNumber(numberOf(step)) +
         "Desc:" + failure.description;
}

std::string genericReportText(const ReportedFailure& failure) {
  return "Error" + reportNumber(failure.number) + ": " + failure.description;
}

// How a run ends, and its exit status:
//
//   the usage message                                          1
//   a failure before path.conf is open: the generic report     4
//   a failure after, or a test that refuses the run: the       2 (4 when a failure arises in
//     error report, then the exit block                          the error report itself)
//   the last stage done, then the exit block                   0, 3 or 5 (statusOfCompletedRun)
int endRun(RunState& run, const RunEnding& ending,
           const std::function<void(int exitStatus)>& beforeLogCloses) {
  using Way = RunEnding::Way;
  int status = exitStatus::usage;
  if (ending.way == Way::failed && !run.errorReportArmed)
    status = genericReport(run, reported(*ending.failure));
  else if (ending.way == Way::failed || ending.way == Way::refused)
    status = endThroughErrorReport(run, ending);
  else if (ending.way == Way::completed)
    status = statusOfCompletedRun(ending);
  if (beforeLogCloses) beforeLogCloses(status);
  run.log.release();
  return status;
}

int endThroughGenericReport(RunState& run, const ReportedFailure& failure,
                            const std::function<void(int exitStatus)>& beforeLogCloses) {
  const int status = genericReport(run, failure);
  if (beforeLogCloses) beforeLogCloses(status);
  run.log.release();
  return status;
}

std::string exitStatusMeaning(int status) {
  switch (status) {
    case exitStatus::backedUp:
      return "backed up";
    case exitStatus::usage:
      return "usage message";
    case exitStatus::errorReport:
      return "the run ended through the error report";
    case exitStatus::nothingBackedUp:
      return "nothing backed up, a copy incomplete, or a database backup not confirmed";
    case exitStatus::generic:
      return "a failure ended the process through the generic report";
    case exitStatus::databaseStillRunning:
      return "the copies completed and the database client was still running after 5 seconds";
    default:
      break;
  }
  return "";
}

}  // namespace vesk
