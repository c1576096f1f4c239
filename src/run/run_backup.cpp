#include "run/run_backup.h"

#include "actions/database_backup.h"
#include "actions/paths.h"
#include "config/db_properties.h"
#include "config/settings_file.h"
#include "run/folder_stage.h"
#include "run/previous_backup.h"
#include "run/run_end.h"
#include "run/run_settings.h"

namespace vesk {
namespace {

/// The database stage: db.properties, then the client's backup. Nothing when db.properties is
/// not there.
std::optional<SqlEnd> backUpDatabase(RunState& run, const RunSettings& settings,
                                     const FolderStageResult& folders,
                                     const std::string& pathConfPath) {
  const Platform& platform = run.platform;
  RunRecord& record = run.record;
  if (!platform.files.fileExists(folders.dbPropertiesPath)) {
    run.step = Step::noDbProperties;
    record.databaseStage = DatabaseStage::noDbProperties;
    // Every finalPath record that the stage let through was copied.
    if (folders.copiesMade == 0) {
      const std::string nothing = "nothing backed up: no finalPath record in " + pathConfPath;
      run.log.writeLog(nothing);
      record.outcomeLines.push_back(nothing);
    }
    const std::string without = "VESK backup completed without SQLServer version";
    run.log.reportStatus(without);
    record.outcomeLines.push_back(without);
    return std::nullopt;
  }
  record.databaseStage = DatabaseStage::started;

  run.step = Step::readDbProperties;
  DbSettings db;
  try {
    db = readDbSettings(
        settingsFileText(platform.system, platform.files.readFile(folders.dbPropertiesPath)));
  } catch (const MalformedRecord& malformed) {
    run.step = stepOf(malformed.where);
    throw Failure(malformed);
  }

  run.step = Step::databaseStart;
  try {
    record.database =
        runDatabaseBackup(platform, run.log, db, folders.destinationDir, settings.logPath);
    record.databaseStage = DatabaseStage::ended;
    record.outcomeLines.push_back(record.database.outcomeLine);
    return record.database.end;
  } catch (const DatabaseFailure& failure) {
    // Only a supported version gets as far as a phase that can fail.
    run.step = stepOf(failure.where, db.serverVersion == ServerVersion::msde ? ClientForm::msde
                                                                             : ClientForm::sql2005);
    throw Failure(failure);
  }
}

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
  const RunSettings& settings = *read;
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
  if (!run.record.destination.empty()) confirmPreviousBackup(run);
  const std::string pathConfPath = platform.system.userProfileFolder() + "\\.quorlin\\path.conf";

  const FolderStageResult folders = runFolderStage(run, settings, pathConfPath);
  ending.copiesMade = folders.copiesMade;
  ending.everyCopyCompleted = folders.everyCopyCompleted;
  if (folders.refused) {
    ending.way = RunEnding::Way::refused;
    return ending;
  }
  ending.database = backUpDatabase(run, settings, folders, pathConfPath);
  return ending;
}

}  // namespace

int runBackup(const Platform& platform) {
  RunState run(platform);
  run.record.start = platform.system.zonedTime();
  RunEnding ending;
  try {
    ending = runSequence(run);
  } catch (const Failure& raised) {
    ending.way = RunEnding::Way::failed;
    ending.failure = raised;
    ending.step = run.step;
  }
  return endRun(run, ending, [&](int exitStatus) { reportRunEnd(run, exitStatus); });
}

}  // namespace vesk
