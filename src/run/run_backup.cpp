#include "run/run_backup.h"

#include "actions/database_backup.h"
#include "actions/paths.h"
#include "platform/failure.h"
#include "run/error_report.h"
#include "run/folder_stage.h"
#include "run/run_state.h"

namespace vesk {
namespace {

/// How the run's sequence of stages ended.
struct SequenceEnd {
  enum class Flow { usage, exitBlock, errorReport } flow = Flow::exitBlock;
  int copiesMade = 0;
  bool everyCopyCompleted = true;
  enum class Database {
    none,
    withoutDatabase,
    complete,
    stillRunning,
    notComplete
  } database = Database::none;
};

/// The run's stages in their order; failures propagate.
SequenceEnd runSequence(RunState& run) {
  const Platform& platform = run.platform;
  RunLog& log = run.log;
  using Flow = SequenceEnd::Flow;
  using Database = SequenceEnd::Database;

  const std::optional<RunSettings> read = readRunSettings(
      argumentTextOf(platform.system.commandLine()),
      defaultLogPath(platform.system.programFolder(), platform.system.localTime().day));
  if (!read) {
    platform.desktop.showMessage(usageMessage);
    return {Flow::usage};
  }
  const RunSettings& settings = *read;
  log.showStatusBoxes = settings.showStatusBoxes;

  // Until path.conf is open a failure ends the run with the generic report, which names no
  // step: the steps up to there are not counted.
  log.open(settings.logPath);
  log.reportStatus("VESK start backup");
  if (!platform.files.folderExists(settings.destinationDir))
    createFolderPath(platform.files, log, settings.destinationDir);
  const std::string pathConfPath = platform.system.userProfileFolder() + "\\.quorlin\\path.conf";

  const FolderStageResult folders = runFolderStage(run, settings, pathConfPath);
  SequenceEnd end{Flow::exitBlock, folders.copiesMade, folders.everyCopyCompleted};
  if (folders.toErrorReport) {
    end.flow = Flow::errorReport;
    return end;
  }

  if (!platform.files.fileExists(folders.dbPropertiesPath)) {
    run.stepNumber = 78;
    // Every finalPath record that the stage let through was copied.
    if (folders.copiesMade == 0)
      log.writeLog("nothing backed up: no finalPath record in " + pathConfPath);
    log.reportStatus("VESK backup completed without SQLServer version");
    end.database = Database::withoutDatabase;
    return end;
  }

  run.stepNumber = 81;
  run.settingsFile.emplace(
      settingsFileText(platform.system, platform.files.readFile(folders.dbPropertiesPath)));
  DbSettings db;
  readDbSettings(*run.settingsFile, db);
  run.settingsFile.reset();

  run.stepNumber = 113;
  switch (runDatabaseBackup(platform, log, db, folders.destinationDir, settings.logPath)) {
    case SqlEnd::complete:
      end.database = Database::complete;
      break;
    case SqlEnd::stillRunning:
      end.database = Database::stillRunning;
      break;
    case SqlEnd::notComplete:
      end.database = Database::notComplete;
      break;
  }
  return end;
}

int statusOfCompletedRun(const SequenceEnd& end) {
  using Database = SequenceEnd::Database;
  if (end.copiesMade == 0 || !end.everyCopyCompleted) return exitStatus::nothingBackedUp;
  switch (end.database) {
    case Database::withoutDatabase:
    case Database::complete:
      return exitStatus::backedUp;
    case Database::stillRunning:
      return exitStatus::databaseStillRunning;
    default:
      return exitStatus::nothingBackedUp;
  }
}

}  // namespace

// How a run ends, and its exit status:
//
//   the usage message                                          1
//   a failure before path.conf is open: the generic report     4
//   a failure after, or a test that refuses the run: the       2 (4 when a failure arises in
//     error report, then the exit block                          the error report itself)
//   the last stage done, then the exit block                   0, 3 or 5 (statusOfCompletedRun)
int runBackup(const Platform& platform) {
  RunState run(platform);
  SequenceEnd end;
  std::optional<Failure> failure;
  try {
    end = runSequence(run);
  } catch (Failure& raised) {
    if (raised.step < 0) raised.step = static_cast<int32_t>(run.stepNumber);
    failure = raised;
  }
  if (failure && !run.errorReportArmed) return genericReport(run, *failure);
  if (failure || end.flow == SequenceEnd::Flow::errorReport)
    return endThroughErrorReport(run, failure);

  exitBlock(run);
  return end.flow == SequenceEnd::Flow::usage ? exitStatus::usage : statusOfCompletedRun(end);
}

}  // namespace vesk
