#include "actions/copy_tools.h"

#include <algorithm>
#include <map>

#include "actions/backup_counts.h"
#include "actions/command_runner.h"
#include "actions/copy_listing.h"
#include "platform/failure.h"

namespace vesk {
namespace {

constexpr int32_t noTimeout = -1;
// The copy runs unattended: it never waits for a person, and errors show in its result.
constexpr ShellCopyOptions unattended{
    .replaceWithoutAsking = true, .createFoldersWithoutAsking = true, .noErrorDialog = true};

TreeMarks unmarked(const SourceTree& tree) {
  TreeMarks marks;
  marks.reserve(tree.folders.size());
  for (const TreeFolder& folder : tree.folders) marks.emplace_back(folder.entries.size(), false);
  return marks;
}

/// The tree's files by their path, for the lines of the listing.
class TreeFiles {
 public:
  TreeFiles(Trees& trees, const SourceTree& tree) : trees_(trees), tree_(tree) {
    for (size_t index = 0; index < tree.folders.size(); ++index) folders_.push_back(index);
    std::sort(folders_.begin(), folders_.end(), [this](size_t a, size_t b) {
      return trees_.compareNames(tree_.folders[a].relative, tree_.folders[b].relative) < 0;
    });
  }

  /// The folder and the place among its entries of the file at relative (ASCII); nothing when
  /// the tree holds no file there.
  std::optional<std::pair<size_t, size_t>> find(std::string_view relative) {
    const size_t cut = relative.find_last_of('\\');
    const std::u16string folderPath(relative.begin(),
                                    relative.begin() + (cut == std::string::npos ? 0 : cut));
    const std::u16string name(relative.begin() + (cut == std::string::npos ? 0 : cut + 1),
                              relative.end());
    auto folder =
        std::lower_bound(folders_.begin(), folders_.end(), folderPath,
                         [this](size_t index, const std::u16string& wanted) {
                           return trees_.compareNames(tree_.folders[index].relative, wanted) < 0;
                         });
    if (folder == folders_.end() ||
        trees_.compareNames(tree_.folders[*folder].relative, folderPath) != 0)
      return std::nullopt;
    const std::vector<TreeEntry>& entries = tree_.folders[*folder].entries;
    const std::vector<size_t>& order = entriesInOrder(*folder);
    auto at = std::lower_bound(order.begin(), order.end(), name,
                               [&](size_t index, const std::u16string& wanted) {
                                 return trees_.compareNames(entries[index].entry.name, wanted) < 0;
                               });
    if (at == order.end() || entries[*at].entry.isFolder ||
        trees_.compareNames(entries[*at].entry.name, name) != 0)
      return std::nullopt;
    return std::pair{*folder, *at};
  }

 private:
  /// The places of a folder's entries in the order of their names, sorted when first asked.
  const std::vector<size_t>& entriesInOrder(size_t folder) {
    auto [it, added] = entryOrders_.try_emplace(folder);
    if (added) {
      const std::vector<TreeEntry>& entries = tree_.folders[folder].entries;
      for (size_t at = 0; at < entries.size(); ++at) it->second.push_back(at);
      std::sort(it->second.begin(), it->second.end(), [&](size_t a, size_t b) {
        return trees_.compareNames(entries[a].entry.name, entries[b].entry.name) < 0;
      });
    }
    return it->second;
  }

  Trees& trees_;
  const SourceTree& tree_;
  std::vector<size_t> folders_;  // indices into tree.folders, in the order of their paths
  std::map<size_t, std::vector<size_t>> entryOrders_;
};

/// Runs xcopy and returns to the program folder; true when it ended with an exit code that
/// reports success.
bool xcopySucceeded(const Platform& platform, RunLog& log, const CopyRequest& request) {
  log.writeLog("doing xcopy");
  std::string drive = drivePart(request.destination);
  log.writeLog("cd to " + drive);
  platform.processes.changeDrive(drive);
  // xcopy is given no destination: it copies into the current folder.
  platform.processes.changeFolder(request.destination);

  // No command interpreter stands between the run and xcopy, so that no character of a path
  // (%NAME%, ^, &, |, < and > among them) means anything but itself; and xcopy is named by its
  // full path, so that one planted in the program folder or in the destination never runs.
  CommandOutcome outcome = runAndWait(
      platform.processes, platform.desktop,
      xcopyStart(platform.system.systemFolder(), request.fullSource, request.logPath), noTimeout);

  std::string home = platform.system.programFolder();
  // A program at a drive root is reported as "X:", which would name the drive's current
  // folder rather than its root.
  if (home.size() == 2 && home[1] == ':') home += '\\';
  std::string homeDrive = drivePart(home);
  if (!homeDrive.empty()) platform.processes.changeDrive(homeDrive);
  platform.processes.changeFolder(home);

  // The listing is only a record of what xcopy did: xcopy still copies, its output goes
  // nowhere, and the check decides as ever.
  if (!outcome.outputKept)
    log.writeLog("xcopy listing could not be created: " + request.logPath + "xcp");
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

/// What xcopy wrote into its listing; nothing when it cannot be read.
std::string xcopyListing(Files& files, const std::string& logPath) {
  try {
    return files.readFile(logPath + "xcp");
  } catch (const Failure&) {
    return "";
  }
}

}  // namespace

ToolReport runXcopy(const Platform& platform, RunLog& log, const SourceTree& tree,
                    const CopyRequest& request) {
  const bool succeeded = xcopySucceeded(platform, log, request);
  // Read once, and let go before the check: a full run's listing names every file.
  const std::string listing = xcopyListing(platform.files, request.logPath);
  ToolReport report;
  // No listing: the count of what xcopy copied is not known.
  if (!listing.empty()) report.count = xcopyCountIn(listing);
  // Where neither its exit code nor its listing can be relied on, every file may have been
  // written.
  if (succeeded)
    report.written =
        filesListed(platform.trees, tree, listing, {request.source, request.fullSource});
  return report;
}

ToolReport runShellCopy(Desktop& desktop, RunLog& log, const SourceTree& tree,
                        const CopyRequest& request) {
  log.writeLog("doing full copy");
  const std::string& source = request.source;
  // A drive root keeps its backslash: "C:" alone would be the drive's current folder.
  const std::string everything = source + (!source.empty() && source.back() == '\\' ? "*" : "\\*");
  ShellCopyResult result = desktop.shellCopy(everything, request.destination, unattended);
  if (result.end == ShellCopyEnd::aborted) log.writeLog("full copy aborted");
  if (result.end != ShellCopyEnd::copied && result.code != 0)
    log.writeLog("full copy ended with code " + std::to_string(result.code));
  return {.count = filesOf(tree), .written = std::nullopt};
}

ToolReport noTool(const SourceTree& tree, bool givenNothing) {
  return {.count = givenNothing ? std::optional<uint64_t>(0) : std::nullopt,
          .written = unmarked(tree)};
}

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

std::optional<TreeMarks> filesListed(Trees& trees, const SourceTree& tree, std::string_view listing,
                                     const std::vector<std::string>& sources) {
  TreeMarks marks = unmarked(tree);
  std::optional<TreeFiles> files;
  const bool reliable = forEachCopiedFile(listing, sources, [&](std::string_view relative) {
    if (!files) files.emplace(trees, tree);
    std::optional<std::pair<size_t, size_t>> file = files->find(relative);
    if (file) marks[file->first][file->second] = true;
    return file.has_value();
  });
  if (!reliable) return std::nullopt;
  return marks;
}

}  // namespace vesk
