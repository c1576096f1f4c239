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

struct Report {
  int32_t number;
  int64_t step;
  std::string description;
};

/// The box, then the line in the run log when it is set, and the settings file closed.
void errorReport(RunState& run, const Report& report) {
  run.platform.desktop.showMessage(
      errorReportMessage(report.number, report.step, report.description));
  if (run.log.isSet()) {
    // The time is taken after the box has been closed.
    run.log.writeRawLine(timestampText(run.platform.system, run.platform.system.localTime()) +
                         errorReportLine(report.number, report.step, report.description));
    run.log.close();
  }
  run.settingsFile.reset();
}

}  // namespace

void exitBlock(RunState& run) noexcept { run.log.release(); }

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
  run.platform.desktop.showMessage(text);
  return exitStatus::generic;
}

int endThroughErrorReport(RunState& run, const std::optional<Failure>& failure) {
  run.stepNumber = 124;
  Report report =
      failure ? Report{failure->number, failure->step, failure->description} : Report{0, 0, ""};
  // Entered without a failure, the armed error report also catches one raised in it, once,
  // and reports that one at its own step. Any other failure ends with the generic report.
  bool catchesOne = !failure && run.errorReportArmed;
  for (;;) {
    try {
      errorReport(run, report);
      break;
    } catch (const Failure& raised) {
      if (!catchesOne) return genericReport(run, raised);
      catchesOne = false;
      report = {raised.number, 124, raised.description};
    }
  }
  exitBlock(run);
  return exitStatus::errorReport;
}

}  // namespace vesk
