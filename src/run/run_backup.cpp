#include "run/run_backup.h"

#include "actions/database_backup.h"
#include "actions/paths.h"
#include "platform/failure.h"
#include "run/error_report.h"
#include "run/run_state.h"

namespace vesk {
namespace {

enum class Flow { usage, exitBlock, errorReport };

/// Steps 0 to 122 in order. Returns where the run goes next; failures propagate.
Flow runSequence(RunState& run) {
  Platform& platform = run.platform;
  RunLog& log = run.log;

  run.stepNumber = 0;
  run.settings.logPath = defaultLogPath(platform.programFolder(), platform.localTime().day);

  run.stepNumber = 32;
  std::string argumentText = argumentTextOf(platform.commandLine());
  run.stepNumber = 33;
  if (!readRunSettings(argumentText, run.settings)) {
    run.stepNumber = 34;
    platform.showMessage(usageMessage);
    return Flow::usage;
  }
  run.stepNumber = 35;
  log.notifyFlag = run.settings.notifyFlag;

  run.stepNumber = 39;
  run.fileSystemSet = true;
  log.open(run.settings.logPath);
  log.reportStatus("VESK start backup");

  run.stepNumber = 40;
  if (!platform.folderExists(run.settings.destinationDir)) {
    run.stepNumber = 41;
    createFolderPath(platform, log, run.settings.destinationDir);
  }

  run.stepNumber = 43;
  std::string profileBuffer = platform.userProfileFolder();
  run.stepNumber = 46;
  run.profileDir = stripAtNul(profileBuffer);
  run.stepNumber = 47;
  run.pathConfPath = run.profileDir + "\\.quorlin\\path.conf";
  run.dbPropertiesPath.clear();

  if (runFolderStage(run) == StageEnd::errorReport) return Flow::errorReport;

  run.stepNumber = 77;
  if (!platform.fileExists(run.dbPropertiesPath)) {
    run.stepNumber = 78;
    // Every finalPath record that the stage let through was copied.
    if (run.copiesMade == 0)
      log.writeLog("nothing backed up: no finalPath record in " + run.pathConfPath);
    log.reportStatus("VESK backup completed without SQLServer version");
    run.ending = Ending::withoutDatabase;
    return Flow::exitBlock;
  }

  run.stepNumber = 81;
  run.settingsFile.emplace(settingsFileText(platform, platform.readFile(run.dbPropertiesPath)));
  run.stepNumber = 82;
  run.handler = Handler::errorReport;
  readDbSettings(*run.settingsFile, run.db, run.stepNumber);

  run.stepNumber = 113;
  run.settingsFile.reset();
  switch (runDatabaseBackup(platform, log, run.db, run.settings.destinationDir,
                            run.settings.logPath, run.stepNumber)) {
    case SqlEnd::complete:
      run.ending = Ending::databaseComplete;
      break;
    case SqlEnd::stillRunning:
      run.ending = Ending::databaseStillRunning;
      break;
    case SqlEnd::notComplete:
      run.ending = Ending::databaseFailed;
      break;
  }
  return Flow::exitBlock;
}

int statusOfCompletedRun(const RunState& run) {
  if (run.copiesMade == 0 || !run.everyCopyCompleted) return exitStatus::nothingBackedUp;
  switch (run.ending) {
    case Ending::withoutDatabase:
    case Ending::databaseComplete:
      return exitStatus::backedUp;
    case Ending::databaseStillRunning:
      return exitStatus::databaseStillRunning;
    default:
      return exitStatus::nothingBackedUp;
  }
}

}  // namespace

int runBackup(Platform& platform) {
  RunState run(platform);
  Flow flow;
  try {
    flow = runSequence(run);
  } catch (Failure& failure) {
    if (failure.step < 0) failure.step = static_cast<int32_t>(run.stepNumber);
    if (run.handler == Handler::none) return genericReport(run, failure);
    return errorReportPath(run, failure.number, failure.step, failure.description, true);
  }

  if (flow == Flow::errorReport) return errorReportPath(run, 0, 0, "", false);

  run.stepNumber = 124;
  try {
    exitBlock(run);
  } catch (Failure& failure) {
    // After the usage message no handler is armed; after steps 78 and 122 the error report is.
    if (run.handler != Handler::errorReport) return genericReport(run, failure);
    return errorReportPath(run, failure.number, 124, failure.description, true);
  }
  return flow == Flow::usage ? exitStatus::usage : statusOfCompletedRun(run);
}

}  // namespace vesk
