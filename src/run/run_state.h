#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "platform/platform.h"
#include "run/run_record.h"

namespace vesk {

enum class Step : int32_t;

/// What the run and its report share.
struct RunState {
  explicit RunState(const Platform& p) : platform(p), log(p.files, p.system, p.desktop) {}

  Platform platform;
  RunLog log;
  /// The step in progress, which the error report names for a failure raised in it. Set only
  /// where a failure can arise once the error report is armed.
  Step step{};
  /// Set once path.conf is open: from then on a failure ends the run through the error report.
  bool errorReportArmed = false;
  /// What the run did, for the reports at its end.
  RunRecord record;
};

/// How an outcome line is made known: in a box when the run shows status boxes, and in the log;
/// or in the log only.
enum class Shown { inBox, logOnly };

/// What stands before each line of a database client's messages that the log copies after the
/// outcome line they back.
constexpr const char* messageIndent = "  ";

/// The one place that records an outcome: logs the line, then the messages that back it, each
/// on a line of its own, and adds them all to what the status file and the Event Log entry
/// carry.
void recordOutcome(RunState& run, const std::string& line, Shown shown = Shown::inBox,
                   const std::vector<std::string>& messages = {});

/// Adds a line that the run logged its own way (the error report's, one the log could not take)
/// to what the status file and the Event Log entry carry.
void keepOutcome(RunState& run, const std::string& line);

}  // namespace vesk
