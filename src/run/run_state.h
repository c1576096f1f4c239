#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/db_properties.h"
#include "config/settings_file.h"
#include "log/run_log.h"
#include "platform/platform.h"
#include "run/run_settings.h"

namespace vesk {

/// Which handler a failure raised now goes to.
enum class Handler { none, errorReport, exitBlock };

/// How the run's last stage ended, for the exit status.
enum class Ending { none, withoutDatabase, databaseComplete, databaseStillRunning, databaseFailed };

/// Everything one run holds; lives for the whole of runBackup.
struct RunState {
  explicit RunState(Platform& p) : platform(p), log(p) {}

  Platform& platform;
  RunLog log;  // logStream; its notifyFlag is the run's notify flag
  RunSettings settings;
  uint32_t stepNumber = 0;
  Handler handler = Handler::none;
  // The file-system object of the run carries no state of its own here: the platform is the
  // file system. The flag records whether the run holds it, for the error report and exit block.
  bool fileSystemSet = false;
  std::optional<SettingsFile> settingsFile;

  std::string profileDir;
  std::string pathConfPath;
  std::string sourceDir;
  std::string dbPropertiesPath;
  DbSettings db;

  int copiesMade = 0;
  bool everyCopyCompleted = true;
  Ending ending = Ending::none;
};

/// How the folder backup stage left the run.
enum class StageEnd { next, errorReport };

/// Steps 48 to 74: reads path.conf and copies each finalPath folder into the destination.
StageEnd runFolderStage(RunState& run);

}  // namespace vesk
