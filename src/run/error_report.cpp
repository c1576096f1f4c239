#include "run/error_report.h"

#include "run/run_backup.h"

namespace vesk {

std::string reportNumber(int64_t number) {
  std::string text = std::to_string(number);
  if (number >= 0) text.insert(text.begin(), ' ');  // the blank where a minus sign goes
  return text;
}

std::string errorReportMessage(int32_t number, int64_t step, const std::string& description) {
  return "Unexpected error" + reportNumber(number) + " line no" + reportNumber(step) +
         " in printing.\r\n" + description;
}

std::string errorReportLine(int32_t number, int64_t step, const std::string& description) {
  return "Error:" + reportNumber(number) + "line no:" + reportNumber(step) + "Desc:" + description;
}

namespace {

void errorReport(RunState& run, int32_t number, int64_t step, const std::string& description) {
  run.platform.showMessage(errorReportMessage(number, step, description));
  if (run.log.isSet()) {
    // The time is taken after the box has been closed.
    run.log.writeRawLine(timestampText(run.platform, run.platform.localTime()) +
                         errorReportLine(number, step, description));
    run.log.close();
  }
  run.fileSystemSet = false;
  run.settingsFile.reset();
  run.handler = Handler::exitBlock;
}

}  // namespace

void exitBlock(RunState& run) {
  run.fileSystemSet = false;
  run.log.release();
}

int genericReport(RunState& run, const Failure& failure) {
  const std::string text = "Error" + reportNumber(failure.number) + ": " + failure.description;
  // Where nobody sees the box (a task that runs while no one is logged on), the log is the
  // only place that tells why the run ended. The failure may be the log's own: then the line
  // is lost too, and the box is still shown.
  if (run.log.isOpen()) {
    try {
      run.log.writeLog(text);
    } catch (const Failure&) {
    }
  }
  run.platform.showMessage(text);
  return exitStatus::generic;
}

int errorReportPath(RunState& run, int32_t number, int64_t step, const std::string& description,
                    bool fromFailure) {
  run.stepNumber = 124;
  try {
    errorReport(run, number, step, description);
  } catch (const Failure& failure) {
    // Entered without a failure, the armed error report still catches one raised in it.
    if (!fromFailure && run.handler == Handler::errorReport)
      return errorReportPath(run, failure.number, 124, failure.description, true);
    return genericReport(run, failure);
  }
  try {
    exitBlock(run);
  } catch (const Failure& failure) {
    if (fromFailure) return genericReport(run, failure);
    // The exit block is the armed handler now: it runs once more.
    try {
      exitBlock(run);
    } catch (const Failure& again) {
      return genericReport(run, again);
    }
  }
  return exitStatus::errorReport;
}

}  // namespace vesk
