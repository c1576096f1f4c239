#include "actions/folder_copy.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "actions/command_runner.h"

namespace vesk {
namespace {

constexpr int showMaximised = 3;
constexpr int32_t noTimeout = -1;
// FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI: an unattended copy must never wait
// for a person; errors show in the return code instead of a dialog.
constexpr uint16_t shellCopyFlags = 0x0610;
// FAT keeps last-write times to 2 seconds; the unit is 100 ns.
constexpr uint64_t timeTolerance = 20'000'000;
constexpr size_t failuresLogged = 10;

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

/// A path as Windows compares it: letter case ignored, "/" as "\", no trailing backslashes.
std::string comparable(const std::string& path) {
  std::string result = lowerCase(path);
  for (char& c : result)
    if (c == '/') c = '\\';
  while (!result.empty() && result.back() == '\\') result.pop_back();
  return result;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (name.empty()) return folder;
  if (folder.empty() || folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

/// The text up to and including the first ":\", or nothing when there is none.
std::string drivePart(const std::string& path) {
  size_t colon = path.find(":\\");
  return colon == std::string::npos ? std::string() : path.substr(0, colon + 2);
}

bool runXcopy(Platform& platform, RunLog& log, const std::string& source,
              const std::string& destination, const std::string& logPath) {
  log.writeLog("doing xcopy");
  std::string drive = drivePart(destination);
  if (!drive.empty()) {
    log.writeLog("cd to " + drive);
    platform.changeDrive(drive);
  }
  // xcopy is given no destination: it copies into the current folder.
  platform.changeFolder(destination);

  // cmd is named by its full path so that a cmd.exe planted in the program folder or in the
  // destination is never the one that runs.
  CommandOutcome outcome = runAndWait(platform, xcopyCommandLine(source, logPath), showMaximised,
                                      noTimeout, platform.systemFolder() + "\\cmd.exe");

  std::string home = platform.programFolder();
  // A program at a drive root is reported as "X:", which would name the drive's current
  // folder rather than its root.
  if (home.size() == 2 && home[1] == ':') home += '\\';
  std::string homeDrive = drivePart(home);
  if (!homeDrive.empty()) platform.changeDrive(homeDrive);
  platform.changeFolder(home);

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

bool runShellCopy(Platform& platform, RunLog& log, const std::string& source,
                  const std::string& destination) {
  log.writeLog("doing full copy");
  std::string from = source + "\\*";
  from.append(2, '\0');
  std::string to = destination;
  to.append(2, '\0');
  ShellCopyResult result = platform.shellCopy(from, to, shellCopyFlags);
  if (result.anyOperationsAborted) log.writeLog("full copy aborted");
  if (result.returnCode != 0)
    log.writeLog("full copy ended with code " + std::to_string(result.returnCode));
  return !result.anyOperationsAborted && result.returnCode == 0;
}

struct PendingFolder {
  std::string relative;  // to the source; empty for the source itself
  size_t depth = 0;
  bool inDestination = false;
};

/// Counts a failing path; the first ten are kept by name.
void addFailure(CopyCheck& check, const std::string& what) {
  ++check.failures;
  if (check.firstFailures.size() < failuresLogged) check.firstFailures.push_back(what);
}

/// One line per named path, then one line with the count of the others.
void logFailures(RunLog& log, const std::string& prefix, const CopyCheck& check) {
  for (const std::string& failure : check.firstFailures) log.writeLog(prefix + failure);
  if (check.failures > check.firstFailures.size())
    log.writeLog(prefix + std::to_string(check.failures - check.firstFailures.size()) + " more");
}

std::string withoutTrailingSlashes(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

}  // namespace

std::string xcopyCommandLine(const std::string& source, const std::string& logPath) {
  return "cmd /c  xcopy \"" + source + "\" /e /s /d /y >\"" + logPath + "xcp\"";
}

CopyCheck findPathsTooLongForXcopy(Platform& platform, const std::string& source,
                                   const std::string& destination, const WalkLimits& limits) {
  CopyCheck found;
  const std::string sourceRoot = withoutTrailingSlashes(source);
  const std::string destinationRoot = withoutTrailingSlashes(destination);
  const std::string destinationKey = comparable(destination);
  auto fits = [&](const std::string& relative, bool isFolder) {
    size_t longer =
        std::max(joinPath(sourceRoot, relative).size(), joinPath(destinationRoot, relative).size());
    return longer + (isFolder ? 2 : 0) <= xcopyPathLimit;
  };

  if (!fits("", true)) {
    addFailure(found, source);
    return found;
  }
  std::vector<PendingFolder> pending{{"", 0, true}};
  size_t foldersWalked = 0;
  while (!pending.empty()) {
    PendingFolder folder = std::move(pending.back());
    pending.pop_back();
    // A tree too big to walk (a folder loop that branches, for one) cannot be shown to fit.
    if (++foldersWalked > limits.maxFolders) {
      addFailure(found, folder.relative.empty() ? source : folder.relative);
      break;
    }
    auto entries = platform.listFolder(joinPath(source, folder.relative));
    if (!entries) continue;

    std::vector<PendingFolder> subfolders;
    for (const FolderEntry& entry : *entries) {
      std::string relative = joinPath(folder.relative, entry.name);
      if (entry.isFolder && comparable(joinPath(source, relative)) == destinationKey) continue;
      if (!fits(relative, entry.isFolder) ||
          (entry.isFolder && folder.depth + 1 > limits.maxDepth)) {
        addFailure(found, relative);
        continue;
      }
      if (entry.isFolder) subfolders.push_back({relative, folder.depth + 1, true});
    }
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
      pending.push_back(std::move(*it));
  }
  return found;
}

CopyCheck checkCopy(Platform& platform, const std::string& source, const std::string& destination,
                    const WalkLimits& limits) {
  CopyCheck check;
  auto fail = [&check](const std::string& what) { addFailure(check, what); };
  const std::string destinationKey = comparable(destination);

  // An explicit stack rather than recursion: a deep tree must not exhaust the call stack.
  std::vector<PendingFolder> pending{{"", 0, true}};
  size_t foldersWalked = 0;
  while (!pending.empty()) {
    PendingFolder folder = std::move(pending.back());
    pending.pop_back();
    const std::string shownName = folder.relative.empty() ? source : folder.relative;

    // A folder missing from the destination failed already when its parent was listed.
    if (++foldersWalked > limits.maxFolders) {
      if (folder.inDestination) fail(shownName);
      continue;
    }
    auto entries = platform.listFolder(joinPath(source, folder.relative));
    if (!entries) {
      if (folder.inDestination) fail(shownName);
      continue;
    }

    std::map<std::string, FolderEntry> copies;
    if (folder.inDestination) {
      auto destinationEntries = platform.listFolder(joinPath(destination, folder.relative));
      if (destinationEntries) {
        for (FolderEntry& entry : *destinationEntries)
          copies.emplace(lowerCase(entry.name), std::move(entry));
      } else if (folder.relative.empty()) {
        fail(source);  // the destination itself is missing
      }
    }

    std::vector<PendingFolder> subfolders;
    for (const FolderEntry& entry : *entries) {
      std::string relative = joinPath(folder.relative, entry.name);
      auto copy = copies.find(lowerCase(entry.name));
      bool present = copy != copies.end() && copy->second.isFolder == entry.isFolder;
      if (entry.isFolder) {
        // The backup lying inside the source is not part of what is backed up.
        if (comparable(joinPath(source, relative)) == destinationKey) continue;
        if (!present) fail(relative);
        if (folder.depth + 1 > limits.maxDepth) {
          if (present) fail(relative);
          continue;
        }
        subfolders.push_back({relative, folder.depth + 1, present});
        continue;
      }
      // Unsigned difference: times far apart must not overflow.
      bool outOfDate =
          present &&
          copy->second
              .lastWriteTime<entry.lastWriteTime&& static_cast<uint64_t>(entry.lastWriteTime) -
                             static_cast<uint64_t>(copy->second.lastWriteTime)>
                  timeTolerance;
      if (!present || outOfDate) fail(relative);
    }
    // Reversed, so that subfolders are walked in the order they were listed.
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
      pending.push_back(std::move(*it));
  }
  return check;
}

bool copyFolder(Platform& platform, RunLog& log, const std::string& source,
                const std::string& destination, const std::string& copyMode,
                const std::string& logPath) {
  bool toolSucceeded = false;
  if (copyMode == "N") {
    toolSucceeded = runShellCopy(platform, log, source, destination);
  } else if (drivePart(destination).empty()) {
    // cmd cannot make a network folder its current folder: it falls back to the Windows
    // folder, and xcopy, given no destination, would copy into that.
    log.writeLog("xcopy cannot copy into a network folder: " + destination);
    toolSucceeded = runShellCopy(platform, log, source, destination);
  } else {
    // xcopy is waited for without limit, and one path too long for it can make it hang for
    // ever: such a tree goes to the shell copy, which copies everything else, and the check
    // below names what did not get into the backup.
    CopyCheck tooLong = findPathsTooLongForXcopy(platform, source, destination);
    if (tooLong.failures == 0) {
      toolSucceeded = runXcopy(platform, log, source, destination, logPath);
    } else {
      logFailures(log, "too long for xcopy: ", tooLong);
      toolSucceeded = runShellCopy(platform, log, source, destination);
    }
  }

  // The copy tools report success for a missing source, a locked file or a redirect that
  // went nowhere; only the files themselves tell whether the backup is there.
  CopyCheck check = checkCopy(platform, source, destination);
  logFailures(log, "not in backup: ", check);
  return toolSucceeded && check.failures == 0;
}

}  // namespace vesk
