#pragma once

#include <cstdint>

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

}  // namespace vesk
