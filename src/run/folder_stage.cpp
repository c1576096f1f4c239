#include "actions/folder_copy.h"
#include "actions/paths.h"
#include "run/run_state.h"

namespace vesk {
namespace {

std::string withBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

/// Steps 58 to 693 for one finalPath record.
StageEnd backUpFolder(RunState& run, const std::string& value) {
  Platform& platform = run.platform;
  RunLog& log = run.log;
  std::string& destination = run.settings.destinationDir;

  run.sourceDir = withBackslashes(value);
  run.dbPropertiesPath = dbPropertiesPathOf(run.sourceDir);

  run.stepNumber = 59;
  if (!platform.folderExists(run.sourceDir)) {
    log.reportStatus(value + "Not a folder.");
    if (!platform.driveExists(run.sourceDir)) {
      log.reportStatus(value + " Pls. use a valid source folder");
      return StageEnd::errorReport;
    }
  }

  run.stepNumber = 63;
  if (!platform.folderExists(destination)) {
    log.reportStatus(destination + " folder can not be created.");
    if (!platform.driveExists(destination)) {
      log.reportStatus(destination + "Pls. specify a valid backup path .");
      return StageEnd::errorReport;
    }
  }

  // Copying a folder into itself or into its own subtree recurses until the copy breaks, so
  // the same folder and any folder inside it are refused, by whatever name they are reached.
  run.stepNumber = 651;
  const SourceTree tree =
      walkSource(platform, platform.longPathOf(run.sourceDir), platform.longPathOf(destination));
  if (backsUpIntoItself(platform, destination, run.sourceDir, tree)) {
    log.reportStatus("Cannot back up to itself" + value);
    return StageEnd::errorReport;
  }

  run.stepNumber = 66;
  destination = normaliseFolderPath(destination);
  if (!run.sourceDir.empty() && run.sourceDir.back() == '\\') run.sourceDir.pop_back();
  log.reportStatus("Start copying from " + run.sourceDir + "to " + destination);

  run.stepNumber = 69;
  bool copied = copyFolder(platform, log, tree, run.sourceDir, destination, run.settings.copyMode,
                           run.settings.logPath);
  ++run.copiesMade;

  run.stepNumber = 691;
  if (copied) {
    log.reportStatus("Backup Folder completed");
  } else {
    run.stepNumber = 693;
    run.everyCopyCompleted = false;
    log.reportStatus("Backup Folder NOT complete");
  }
  return StageEnd::next;
}

}  // namespace

StageEnd runFolderStage(RunState& run) {
  Platform& platform = run.platform;

  run.stepNumber = 48;
  if (!platform.fileExists(run.pathConfPath)) {
    run.log.reportStatus(run.pathConfPath + "not found. Pls. check");
    return StageEnd::errorReport;
  }

  run.stepNumber = 52;
  run.settingsFile.emplace(settingsFileText(platform, platform.readFile(run.pathConfPath)));
  run.stepNumber = 53;
  run.handler = Handler::errorReport;

  for (;;) {
    run.stepNumber = 54;
    if (run.settingsFile->atEnd()) break;
    run.stepNumber = 55;
    std::string record = run.settingsFile->readRecord();
    run.stepNumber = 56;
    if (record.empty()) continue;
    run.stepNumber = 57;
    std::vector<std::string> pieces = splitSettingsRecord(record);
    run.stepNumber = 58;
    if (pieces[0] != "finalPath") continue;
    if (backUpFolder(run, valuePiece(pieces)) == StageEnd::errorReport)
      return StageEnd::errorReport;
  }

  run.stepNumber = 74;
  run.settingsFile.reset();
  return StageEnd::next;
}

}  // namespace vesk
