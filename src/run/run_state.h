#pragma once

#include <cstdint>
#include <optional>

#include "config/settings_file.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// What the run, its error report and its exit block share.
struct RunState {
  explicit RunState(const Platform& p) : platform(p), log(p.files, p.system, p.desktop) {}

  Platform platform;
  RunLog log;
  /// The step of the run in progress, from the fixed table of steps whose number the error
  /// report prints ("line no"). It is set only where a failure can arise that the error report
  /// handles; code below the run stamps its own steps on the failures it raises (atStep).
  uint32_t stepNumber = 0;
  /// Set once path.conf is open: from then on a failure ends the run through the error report.
  bool errorReportArmed = false;
  /// The settings file being read (path.conf, then db.properties); closed by the error report.
  std::optional<SettingsFile> settingsFile;
};

}  // namespace vesk
