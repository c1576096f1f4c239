#include "actions/folder_copy.h"

#include "actions/copy_check.h"
#include "actions/copy_repair.h"
#include "actions/copy_tools.h"

namespace vesk {

CopyRequest copyRequestOf(const Platform& platform, const std::string& source,
                          const std::string& destination, CopyMode mode,
                          const std::string& logPath) {
  CopyRequest request{source, destination, mode, logPath, source};
  if (mode == CopyMode::xcopy) request.fullSource = platform.files.fullPath(source);
  auto length = [&platform](const std::string& path) {
    std::u16string wide = platform.system.utf16FromAnsi(path);
    while (!wide.empty() && (wide.back() == u'\\' || wide.back() == u'/')) wide.pop_back();
    return wide.size();
  };
  request.sourceLength = length(source);
  request.fullSourceLength = length(request.fullSource);
  request.destinationLength = length(destination);
  return request;
}

FolderCopyResult copyFolder(const Platform& platform, RunLog& log, const SourceTree& tree,
                            const CopyRequest& request,
                            const std::vector<std::u16string>& heldForEarlier) {
  System& system = platform.system;
  const CopyPlan plan = planCopy(tree, request, heldForEarlier);
  for (const PlanNote& note : plan.notes)
    logPaths(log, system, note.prefix, note.paths, note.whole);

  const TimeKeeping times = timeKeepingOf(platform.trees.volumeOf(tree.destination));
  // While xcopy runs, the backup is looked at entry by entry on a second thread; afterwards
  // only what xcopy's report names as written is looked at again.
  TreeMarks heldBefore;
  ToolReport report;
  if (plan.tool == CopyTool::xcopy) {
    auto looking = platform.trees.startAlongside(
        [&] { heldBefore = lookAtBackup(platform.trees, tree, times); });
    report = runXcopy(platform, log, tree, request);
    looking->wait();
  } else if (plan.tool == CopyTool::shellCopy)
    report = runShellCopy(platform.desktop, log, tree, request);
  else
    report = noTool(tree, plan.toolsGivenNothing);
  FolderCopyResult result;
  result.tool = plan.tool;
  result.warnings = plan.warnings;
  result.toolCopied = report.count;

  // The copy tools report success for a missing source or a locked file, and leave files
  // truncated on a full disk; xcopy passes over hidden files and never replaces a copy newer
  // than the source. Only the files themselves tell whether the backup is there.
  if (plan.comparable) {
    CopyJudge judge(platform.trees, tree, times);
    const Repair repair =
        repairBackup(platform.trees, tree,
                     compareWithBackup(platform.trees, tree, judge, report.written,
                                       heldBefore.empty() ? nullptr : &heldBefore),
                     judge, plan.heldForEarlier);
    PathList timeNotKept;
    for (const std::u16string& relative : judge.timeNotKept()) timeNotKept.add(relative);
    logPaths(log, system, "copied again: ", repair.copiedAgain, request.source);
    logPaths(log, system, "time not kept by the destination: ", timeNotKept, request.source);
    logPaths(log, system, "not in backup: ", repair.left, request.source);
    result.complete = repair.left.count == 0;
    result.counts = countBackup(tree, repair.leftDifferences);
    result.counts.copiedAgain = repair.copiedAgain.count;
    result.counts.notInBackup = repair.left;
    result.counts.notInBackupCauses = repair.leftCauses;
    result.warnings.timesNotKept = timeNotKept;
  }
  return result;
}

}  // namespace vesk
