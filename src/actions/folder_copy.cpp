#include "actions/folder_copy.h"

#include "actions/command_runner.h"
#include "actions/copy_check.h"
#include "platform/failure.h"

namespace vesk {
namespace {

constexpr int32_t noTimeout = -1;
// The copy runs unattended: it never waits for a person, and errors show in its result.
constexpr ShellCopyOptions unattended{
    .replaceWithoutAsking = true, .createFoldersWithoutAsking = true, .noErrorDialog = true};

/// The text up to and including the first ":\", or nothing when there is none.
std::string drivePart(const std::string& path) {
  size_t colon = path.find(":\\");
  return colon == std::string::npos ? std::string() : path.substr(0, colon + 2);
}

void runXcopy(const Platform& platform, RunLog& log, const std::string& source,
              const std::string& destination, const std::string& logPath) {
  log.writeLog("doing xcopy");
  std::string drive = drivePart(destination);
  if (!drive.empty()) {
    log.writeLog("cd to " + drive);
    platform.processes.changeDrive(drive);
  }
  // xcopy is given no destination: it copies into the current folder.
  platform.processes.changeFolder(destination);

  // cmd is named by its full path so that a cmd.exe planted in the program folder or in the
  // destination is never the one that runs.
  CommandOutcome outcome =
      runAndWait(platform.processes, platform.desktop, xcopyCommandLine(source, logPath),
                 WindowMode::maximised, noTimeout, platform.system.systemFolder() + "\\cmd.exe");

  std::string home = platform.system.programFolder();
  // A program at a drive root is reported as "X:", which would name the drive's current
  // folder rather than its root.
  if (home.size() == 2 && home[1] == ':') home += '\\';
  std::string homeDrive = drivePart(home);
  if (!homeDrive.empty()) platform.processes.changeDrive(homeDrive);
  platform.processes.changeFolder(home);

  // xcopy ends with 1 when it found no files to copy; that is still a success. Anything else
  // is logged, so that a copy reported incomplete says why.
  if (outcome.end == CommandEnd::exited && outcome.exitCode <= 1) return;
  if (outcome.end == CommandEnd::exited)
    log.writeLog("xcopy ended with exit code " + std::to_string(outcome.exitCode));
  else if (outcome.end == CommandEnd::stillRunning)
    log.writeLog("xcopy not seen to end");
  else
    log.writeLog("xcopy could not be started");
}

void runShellCopy(Desktop& desktop, RunLog& log, const std::string& source,
                  const std::string& destination) {
  log.writeLog("doing full copy");
  ShellCopyResult result = desktop.shellCopy(source + "\\*", destination, unattended);
  if (result.end == ShellCopyEnd::aborted) log.writeLog("full copy aborted");
  if (result.end != ShellCopyEnd::copied && result.code != 0)
    log.writeLog("full copy ended with code " + std::to_string(result.code));
}

// The copy tools report success for a missing source or a locked file, and leave files
// truncated on a full disk; xcopy passes over hidden files and never replaces a copy newer
// than the source. Only the files themselves tell whether the backup is there.
FolderCopyResult checkAndRepair(const Platform& platform, RunLog& log, const SourceTree& tree,
                                const std::string& source, const EarlyListing* early,
                                FolderCopyResult result) {
  std::vector<Difference> differences = compareWithBackup(platform.trees, tree, early);
  Repair repair = repairBackup(platform.trees, platform.system, log, tree, differences, source);
  logPaths(log, "not in backup: ", repair.left);
  result.complete = repair.left.count == 0;
  result.counts = countBackup(tree, repair.leftDifferences);
  result.counts.copiedAgain = repair.copiedAgain.count;
  result.counts.notInBackup = std::move(repair.left);
  return result;
}

}  // namespace

std::string xcopyCommandLine(const std::string& source, const std::string& logPath) {
  return "cmd /c  xcopy \"" + source + "\" /e /s /d /y >\"" + logPath + "xcp\"";
}

FolderCopyResult copyFolder(const Platform& platform, RunLog& log, const SourceTree& tree,
                            const std::string& source, const std::string& destination,
                            CopyMode copyWith, const std::string& logPath) {
  FolderCopyResult result;
  if (tree.source.empty() || tree.destination.empty()) {
    log.writeLog("too long to copy: " + (tree.source.empty() ? source : destination));
    return result;
  }
  if (copyWith == CopyMode::xcopy) {
    if (drivePart(destination).empty()) {
      // cmd cannot make a network folder its current folder: it falls back to the Windows
      // folder, and xcopy, given no destination, would copy into that.
      log.writeLog("xcopy cannot copy into a network folder: " + destination);
    } else {
      // xcopy is waited for without limit, and one path too long for it can make it hang for
      // ever: such a tree goes to the shell copy.
      PathList tooLong = pathsTooLong(platform.system, tree, source, destination, xcopyPathLimit);
      if (tooLong.count == 0) {
        // The backup is listed while xcopy runs; afterwards only what xcopy may have changed
        // since is looked at again.
        EarlyListing early;
        {
          auto listing =
              platform.trees.startAlongside([&] { early = listBackup(platform.trees, tree); });
          runXcopy(platform, log, source, destination, logPath);
        }
        result.tool = CopyTool::xcopy;
        try {
          result.toolCopied = xcopyCountIn(platform.files.readFile(logPath + "xcp"));
        } catch (const Failure&) {
          // No listing: its count is not known.
        }
        return checkAndRepair(platform, log, tree, source, &early, result);
      }
      logPaths(log, "too long for xcopy: ", tooLong);
    }
  }

  // The shell copy, chosen or where xcopy cannot go. A path too long for it overruns its
  // buffers: then only the repair pass, which takes every path the file system holds, copies
  // the tree.
  PathList tooLong = pathsTooLong(platform.system, tree, source, destination, shellCopyPathLimit);
  if (tooLong.count == 0) {
    runShellCopy(platform.desktop, log, source, destination);
    result.tool = CopyTool::shellCopy;
    result.toolCopied = filesOf(tree);
  } else {
    logPaths(log, "too long for the shell copy: ", tooLong);
    result.toolCopied = 0;
  }
  return checkAndRepair(platform, log, tree, source, nullptr, result);
}

}  // namespace vesk
