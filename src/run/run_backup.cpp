#include "run/run_backup.h"

#include "actions/paths.h"
#include "run/database_stage.h"
#include "run/folder_stage.h"
#include "run/previous_backup.h"
#include "run/run_end.h"
#include "run/run_settings.h"
#include "run/watch.h"

namespace vesk {
namespace {

/// The run's stages in their order; failures propagate.
RunEnding runSequence(RunState& run) {
  const Platform& platform = run.platform;
  RunLog& log = run.log;
  RunEnding ending;

  const std::optional<RunSettings> read = readRunSettings(
      argumentTextOf(platform.system.commandLine()),
      defaultLogPath(platform.system.programFolder(), platform.system.localTime().day));
  if (!read) {
    platform.desktop.showMessage(usageMessage);
    ending.way = RunEnding::Way::usage;
    return ending;
  }
  RunSettings settings = *read;
  // One name for the destination from here on, in every message, walk and tool.
  settings.destinationDir = windowsFolderName(settings.destinationDir);
  log.showStatusBoxes = settings.showStatusBoxes;
  run.record.logPath = settings.logPath;

  // Until path.conf is open a failure ends the run with the generic report, which names no
  // step: the steps up to there are not counted.
  log.open(settings.logPath);
  log.reportStatus("VESK start backup");
  if (!platform.files.folderExists(settings.destinationDir))
    createFolderPath(platform.files, log, settings.destinationDir);
  // The destination is there: from here on the run leaves its status file in it. The last run
  // into it may have left its database backup running; its outcome is read before anything of
  // this run can replace its output.
  try {
    run.record.destination = normaliseFolderPath(settings.destinationDir);
  } catch (const Failure&) {
    // Longer than any folder path: the folder stage refuses it in its turn.
  }
  PreviousBackup previous;
  if (!run.record.destination.empty()) previous = confirmPreviousBackup(run);
  ending.previousNotConfirmed = previous.notConfirmed;
  const std::string pathConfPath = platform.system.userProfileFolder() + "\\.quorlin\\path.conf";

  const FolderStageResult folders = runFolderStage(run, settings, pathConfPath);
  ending.copiesMade = folders.copiesMade;
  ending.everyCopyCompleted = folders.everyCopyCompleted;
  if (folders.refused) {
    ending.way = RunEnding::Way::refused;
    return ending;
  }
  ending.database = backUpDatabase(run, settings, folders, pathConfPath, previous);
  return ending;
}

}  // namespace

int runBackup(const Platform& platform) {
  RunState run(platform);
  run.record.start = platform.system.zonedTime();
  armCrashReport(run);
  RunEnding ending;
  int status = exitStatus::generic;
  try {
    try {
      ending = runSequence(run);
    } catch (const Failure& raised) {
      ending.way = RunEnding::Way::failed;
      ending.failure = raised;
      ending.step = run.step;
    }
    status = endRun(run, ending, [&](int exitStatus) {
      reportRunEnd(run, exitStatus);
      // A client of this run's still at work gets its watch, which settles the run's record
      // when it ends.
      const DatabaseResult& database = run.record.database;
      if (ending.way == RunEnding::Way::completed && database.startedHere &&
          database.end == SqlEnd::stillRunning) {
        RunEnding confirmed = ending;
        confirmed.database = SqlEnd::complete;
        leaveWatch(run, statusOfCompletedRun(confirmed));
      }
    });
  } catch (const std::exception& error) {
    // Not a failure of the run's own (memory exhausted, say): the generic report, as for a
    // crash, wherever the run was.
    status = endThroughGenericReport(run, {0, error.what()},
                                     [&](int exitStatus) { reportRunEnd(run, exitStatus); });
  }
  disarmCrashReport(platform);
  return status;
}

}  // namespace vesk
