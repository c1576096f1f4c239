#include "actions/folder_copy.h"

#include <string_view>

#include "actions/command_runner.h"
#include "actions/copy_check.h"
#include "actions/copy_listing.h"
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

/// Runs xcopy; true when it ended with an exit code that reports success.
bool runXcopy(const Platform& platform, RunLog& log, const std::string& source,
              const std::string& destination, const std::string& logPath) {
  log.writeLog("doing xcopy");
  std::string drive = drivePart(destination);
  if (!drive.empty()) {
    log.writeLog("cd to " + drive);
    platform.processes.changeDrive(drive);
  }
  // xcopy is given no destination: it copies into the current folder.
  platform.processes.changeFolder(destination);

  // No command interpreter stands between the run and xcopy, so that no character of a path
  // (%NAME%, ^, &, |, < and > among them) means anything but itself; and xcopy is named by its
  // full path, so that one planted in the program folder or in the destination never runs.
  CommandOutcome outcome =
      runAndWait(platform.processes, platform.desktop,
                 xcopyStart(platform.system.systemFolder(), source, logPath), noTimeout);

  std::string home = platform.system.programFolder();
  // A program at a drive root is reported as "X:", which would name the drive's current
  // folder rather than its root.
  if (home.size() == 2 && home[1] == ':') home += '\\';
  std::string homeDrive = drivePart(home);
  if (!homeDrive.empty()) platform.processes.changeDrive(homeDrive);
  platform.processes.changeFolder(home);

  // The listing is only a record of what xcopy did: xcopy still copies, its output goes
  // nowhere, and the check below decides as ever.
  if (!outcome.outputKept) log.writeLog("xcopy listing could not be created: " + logPath + "xcp");
  // xcopy ends with 1 when it found no files to copy; that is still a success. Anything else
  // is logged, so that a copy reported incomplete says why.
  if (outcome.end == CommandEnd::exited && outcome.exitCode <= 1) return true;
  if (outcome.end == CommandEnd::exited)
    log.writeLog("xcopy ended with exit code " + std::to_string(outcome.exitCode));
  else if (outcome.end == CommandEnd::stillRunning)
    log.writeLog("xcopy not seen to end");
  else
    log.writeLog("xcopy could not be started");
  return false;
}

void runShellCopy(Desktop& desktop, RunLog& log, const std::string& source,
                  const std::string& destination) {
  log.writeLog("doing full copy");
  // A drive root keeps its backslash: "C:" alone would be the drive's current folder.
  const std::string everything = source + (!source.empty() && source.back() == '\\' ? "*" : "\\*");
  ShellCopyResult result = desktop.shellCopy(everything, destination, unattended);
  if (result.end == ShellCopyEnd::aborted) log.writeLog("full copy aborted");
  if (result.end != ShellCopyEnd::copied && result.code != 0)
    log.writeLog("full copy ended with code " + std::to_string(result.code));
}

// The copy tools report success for a missing source or a locked file, and leave files
// truncated on a full disk; xcopy passes over hidden files and never replaces a copy newer
// than the source. Only the files themselves tell whether the backup is there.
FolderCopyResult checkAndRepair(const Platform& platform, RunLog& log, const SourceTree& tree,
                                const std::string& source, TimeKeeping times, const ToolWork& work,
                                FolderCopyResult result) {
  CopyJudge judge(platform.trees, tree, times);
  std::vector<Difference> differences = compareWithBackup(platform.trees, tree, judge, work);
  Repair repair =
      repairBackup(platform.trees, platform.system, log, tree, differences, source, judge);
  PathList timeNotKept;
  for (const std::u16string& relative : judge.timeNotKept())
    addPath(platform.system, timeNotKept, relative, source);
  logPaths(log, "time not kept by the destination: ", timeNotKept);
  logPaths(log, "not in backup: ", repair.left);
  result.complete = repair.left.count == 0;
  result.counts = countBackup(tree, repair.leftDifferences);
  result.counts.copiedAgain = repair.copiedAgain.count;
  result.counts.notInBackup = std::move(repair.left);
  result.counts.notInBackupCauses = std::move(repair.leftCauses);
  result.warnings.timesNotKept = std::move(timeNotKept);
  return result;
}

/// What xcopy wrote into its listing; nothing when it cannot be read.
std::string xcopyListing(Files& files, const std::string& logPath) {
  try {
    return files.readFile(logPath + "xcp");
  } catch (const Failure&) {
    return "";
  }
}

}  // namespace

ProcessStart xcopyStart(const std::string& systemFolder, const std::string& source,
                        const std::string& logPath) {
  const std::string program = systemFolder + "\\xcopy.exe";
  // xcopy splits its command line itself, at blanks outside double quotes. No folder's name
  // holds a double quote and the source ends in a backslash only as a drive root, which holds
  // no blank: where quoteArgument quotes, xcopy reads the argument as the C runtime does.
  return {.applicationName = program,
          .commandLine = quoteArgument(program) + " " + quoteArgument(source) + " /e /s /d /y",
          .window = WindowMode::maximised,
          .outputPath = logPath + "xcp"};
}

bool canNameAFolder(const std::string& path) {
  constexpr std::string_view neverInNames = "\"*?<>|";
  for (size_t at = path.rfind("\\\\?\\", 0) == 0 ? 4 : 0; at < path.size(); ++at)
    if (static_cast<unsigned char>(path[at]) < 0x20 ||
        neverInNames.find(path[at]) != std::string_view::npos)
      return false;
  return true;
}

FolderCopyResult copyFolder(const Platform& platform, RunLog& log, const SourceTree& tree,
                            const std::string& source, const std::string& destination,
                            CopyMode copyWith, const std::string& logPath) {
  FolderCopyResult result;
  if (tree.source.empty() || tree.destination.empty()) {
    log.writeLog("too long to copy: " + (tree.source.empty() ? source : destination));
    return result;
  }
  const TimeKeeping times = timeKeepingOf(platform.trees.volumeOf(tree.destination));
  if (!canNameAFolder(source)) {
    // Nothing can be copied from there; handed to a tool, such a path could name other folders.
    log.writeLog("not a folder name, not copied: " + source);
    return checkAndRepair(platform, log, tree, source, times, {}, result);
  }
  PathList loops = linkLoops(platform.system, tree, source);
  if (loops.count > 0) {
    // Both tools follow links, and would copy the folders of a loop again and again.
    logPaths(log, "link loop not followed: ", loops);
    result.warnings.linkLoops = std::move(loops);
    return checkAndRepair(platform, log, tree, source, times, {}, result);
  }
  if (copyWith == CopyMode::xcopy) {
    if (drivePart(destination).empty()) {
      // xcopy, given no destination, copies into the current folder. cmd could not make a
      // network folder current (it fell back to the Windows folder); xcopy started directly
      // copies into one under Wine, but that was never tried on Windows, so a network
      // destination stays with the shell copy.
      log.writeLog("xcopy cannot copy into a network folder: " + destination);
    } else {
      // xcopy runs in the destination, where a source relative to the current drive or folder
      // ("C:", "\\App") would name another folder than the one the walk listed.
      const std::string fullSource = platform.files.fullPath(source);
      // xcopy is waited for without limit, and one path too long for it can make it hang for
      // ever: such a tree goes to the shell copy.
      PathList tooLong =
          pathsTooLong(platform.system, tree, fullSource, destination, xcopyPathLimit);
      if (tooLong.count == 0) {
        // The backup is listed while xcopy runs; afterwards the files that xcopy's listing
        // names are looked at again. Where neither its exit code nor its listing can be relied
        // on, every file is compared afresh.
        EarlyListing early;
        bool succeeded = false;
        {
          auto listing = platform.trees.startAlongside(
              [&] { early = listBackup(platform.trees, tree, times); });
          succeeded = runXcopy(platform, log, fullSource, destination, logPath);
        }
        result.tool = CopyTool::xcopy;
        bool marked = false;
        {
          // Read once, and let go before the check: a full run's listing names every file.
          const std::string listing = xcopyListing(platform.files, logPath);
          // No listing: the count of what xcopy copied is not known.
          if (!listing.empty()) result.toolCopied = xcopyCountIn(listing);
          marked = succeeded &&
                   markCopiedFiles(early, platform.trees, tree, listing, {source, fullSource});
        }
        const ToolWork work = marked ? ToolWork{.early = &early} : ToolWork{.anyFileWritten = true};
        return checkAndRepair(platform, log, tree, source, times, work, result);
      }
      logPaths(log, "too long for xcopy: ", tooLong);
      result.warnings.tooLongForXcopy = std::move(tooLong);
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
    return checkAndRepair(platform, log, tree, source, times, {.anyFileWritten = true}, result);
  }
  logPaths(log, "too long for the shell copy: ", tooLong);
  result.warnings.tooLongForShellCopy = std::move(tooLong);
  result.toolCopied = 0;
  return checkAndRepair(platform, log, tree, source, times, {}, result);
}

}  // namespace vesk
