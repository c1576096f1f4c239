#include "run/folder_stage.h"

#include "actions/folder_copy.h"
#include "actions/paths.h"
#include "config/settings_file.h"
#include "run/report.h"

namespace vesk {
namespace {

std::string withBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

enum class FolderEnd { refused, completed, notComplete };

/// The test of a source or destination folder: a folder that is not there is reported with
/// missing, and passes only when its drive is there (the copy then tells what is missing);
/// otherwise noDrive is reported too.
bool folderPasses(RunState& run, const std::string& folder, const std::string& missing,
                  const std::string& noDrive) {
  if (run.platform.files.folderExists(folder)) return true;
  run.log.reportStatus(missing);
  if (run.platform.files.driveExists(folder)) return true;
  run.log.reportStatus(noDrive);
  return false;
}

/// Tests source and destination for one finalPath record, then copies the source. A refusal
/// sends the run to the error report. destination is normalised on the way and stays so for
/// the records after it. copied holds the trees of the records copied before, and gets this
/// one's: a file that the run placed for one of them is not replaced (see heldByEarlierRecords).
FolderEnd backUpFolder(RunState& run, const RunSettings& settings, const std::string& value,
                       const std::string& sourceDir, std::string& destination,
                       std::vector<SourceTree>& copied) {
  const Platform& platform = run.platform;
  RunLog& log = run.log;

  // The source's test, then the destination's; either may refuse the run.
  run.step = Step::sourceTest;
  bool passed = folderPasses(run, sourceDir, value + "Not a folder.",
                             value + " Pls. use a valid source folder");
  if (passed) {
    run.step = Step::destinationTest;
    passed = folderPasses(run, destination, destination + " folder can not be created.",
                          destination + "Pls. specify a valid backup path .");
  }
  if (!passed) return FolderEnd::refused;

  // Copying a folder into itself or into its own subtree recurses until the copy breaks, so
  // the same folder and any folder inside it are refused, by whatever name they are reached.
  // The walk over the source serves the copy too.
  run.step = Step::selfBackupTest;
  const DestinationChain chain = destinationChainOf(platform, destination);
  SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf(sourceDir),
                               platform.trees.longPathOf(destination), {},
                               chain.identities.empty() ? nullptr : &chain.names);
  if (backsUpIntoItself(platform.files, destination, sourceDir, tree, chain)) {
    // Nothing of the run is left there, not even its status file: it would be in the source.
    run.record.destination.clear();
    log.reportStatus("Cannot back up to itself" + value);
    return FolderEnd::refused;
  }

  run.step = Step::normaliseDestination;
  destination = normaliseFolderPath(destination);
  std::string source = sourceDir;
  // A drive root keeps its backslash: "C:" alone names the drive's current folder.
  const bool driveRoot = source.size() == 3 && source[1] == ':' && source[2] == '\\';
  if (!source.empty() && source.back() == '\\' && !driveRoot) source.pop_back();
  log.reportStatus("Start copying from " + source + "to " + destination);

  run.step = Step::copyFolder;
  const FolderCopyResult result =
      copyFolder(platform, log, tree,
                 copyRequestOf(platform, source, destination, settings.copyWith, settings.logPath),
                 heldByEarlierRecords(platform.trees, tree, copied));
  copied.push_back(std::move(tree));
  run.record.folders.push_back({source, result});

  run.step = result.complete ? Step::folderCompleted : Step::folderNotComplete;
  const std::string outcome =
      result.complete ? "Backup Folder completed" : "Backup Folder NOT complete";
  recordOutcome(run, outcome);
  recordOutcome(run, summaryLine(result.counts), Shown::logOnly);
  return result.complete ? FolderEnd::completed : FolderEnd::notComplete;
}

}  // namespace

FolderStageResult runFolderStage(RunState& run, const RunSettings& settings,
                                 const std::string& pathConfPath) {
  const Platform& platform = run.platform;
  FolderStageResult result;
  std::string destination = settings.destinationDir;
  std::vector<SourceTree> copied;

  if (!platform.files.fileExists(pathConfPath)) {
    run.log.reportStatus(pathConfPath + "not found. Pls. check");
    result.refused = true;
    return result;
  }
  SettingsFile pathConf(settingsFileText(platform.system, platform.files.readFile(pathConfPath)));
  run.errorReportArmed = true;

  while (const std::optional<std::vector<std::string>> pieces = pathConf.nextPieces()) {
    if (pieces->front() != "finalPath") continue;
    run.step = Step::finalPathValue;
    const std::string& value = valuePiece(*pieces);
    const std::string sourceDir = withBackslashes(value);
    result.dbPropertiesPath = dbPropertiesPathOf(sourceDir);
    FolderEnd end = backUpFolder(run, settings, value, sourceDir, destination, copied);
    if (end == FolderEnd::refused) {
      result.refused = true;
      break;
    }
    ++result.copiesMade;
    if (end == FolderEnd::notComplete) result.everyCopyCompleted = false;
  }
  result.destinationDir = destination;
  return result;
}

}  // namespace vesk
