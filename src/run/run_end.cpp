#include "run/run_end.h"

#include <exception>

#include "run/report.h"
#include "run/status_file.h"

namespace vesk {
namespace {

constexpr uint16_t firstEventId = 1000;

/// One line for a report that could not be made; a log that cannot take it loses it.
void logFailure(RunState& run, const std::string& line) {
  keepOutcome(run, line);
  if (!run.log.isOpen()) return;
  try {
    run.log.writeLog(line);
  } catch (const Failure&) {
  }
}

std::string descriptionOf(const std::exception& error) {
  const auto* failure = dynamic_cast<const Failure*>(&error);
  return failure ? reported(*failure).description : error.what();
}

void writeStatusFile(RunState& run) {
  const std::string path = run.record.destination + statusFileName;
  try {
    run.platform.files.replaceFile(path, statusFileText(run.platform.system, run.record));
  } catch (const std::exception& error) {
    logFailure(run, "status file not written: " + path + ": " + descriptionOf(error));
  }
}

void writeEventEntry(RunState& run) {
  const RunRecord& record = run.record;
  std::string outcome;
  for (const std::string& line : record.outcomeLines)
    outcome += (outcome.empty() ? "" : "\r\n") + line;
  try {
    run.platform.eventLog.writeEntry(eventLevelOf(record.exitStatus),
                                     static_cast<uint16_t>(firstEventId + record.exitStatus),
                                     {outcome, record.logPath});
  } catch (const std::exception& error) {
    logFailure(run, "Event Log entry not written: " + descriptionOf(error));
  }
}

}  // namespace

void armCrashReport(RunState& run) {
  run.platform.system.onCrash(exitStatus::generic, [&run](const Crash& crash) {
    const ReportedFailure failure{crash.number, crash.description};
    const std::string text = genericReportText(failure);
    run.record.report = {failure.number, std::nullopt, failure.description};
    logFailure(run, text);
    reportRunEnd(run, exitStatus::generic);
    run.log.release();
    return text;
  });
}

void disarmCrashReport(const Platform& platform) {
  // What is left of the process after the run has nothing to record a crash in.
  platform.system.onCrash(exitStatus::generic, nullptr);
}

EventLevel eventLevelOf(int exitStatus) {
  if (exitStatus == exitStatus::backedUp) return EventLevel::information;
  if (exitStatus == exitStatus::databaseStillRunning) return EventLevel::warning;
  return EventLevel::error;
}

void reportRunEnd(RunState& run, int exitStatus) {
  run.record.exitStatus = exitStatus;
  run.record.end = run.platform.system.zonedTime();
  // The status file first: a failure to write it is part of what the entry tells.
  if (!run.record.destination.empty()) writeStatusFile(run);
  writeEventEntry(run);
}

}  // namespace vesk
