#pragma once

// The copy tools, each run as the plan says and returning what it reports of its work.

#include <cstdint>
#include <optional>
#include <string>

#include "actions/copy_plan.h"
#include "actions/source_tree.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// What a copy tool reports of its work.
struct ToolReport {
  /// The files it copied by its own count: xcopy's, the files the shell copy was given; nothing
  /// where it does not tell.
  std::optional<uint64_t> count;
  /// The files of the tree that it wrote, where its report can be relied on; nothing where any
  /// file may have been written (the shell copy, an xcopy that failed or whose listing cannot
  /// be relied on).
  std::optional<TreeMarks> written;
};

/// Runs xcopy with the destination as the current folder, then returns to the program folder.
/// Logs "doing xcopy", "cd to " and the drive, and what went wrong: an exit code other than 0
/// or 1, a start that failed, a listing that could not be created. Its report is its listing's:
/// the files it names and their count.
ToolReport runXcopy(const Platform& platform, RunLog& log, const SourceTree& tree,
                    const CopyRequest& request);

/// Runs the shell copy of the source's contents into the destination, unattended. Logs "doing
/// full copy", and an abort or the failure code it gives.
ToolReport runShellCopy(Desktop& desktop, RunLog& log, const SourceTree& tree,
                        const CopyRequest& request);

/// The report where no tool ran: no file written; the count 0 where the tools were given
/// nothing, none otherwise.
ToolReport noTool(const SourceTree& tree, bool givenNothing);

/// How xcopy is started, with the destination as current folder: systemFolder\xcopy.exe by
/// its full path, with the command line SYSTEMFOLDER\xcopy.exe SOURCE /e /s /d /y (each
/// argument quoted by quoteArgument), its output and errors written to the listing file
/// LOGPATHxcp, its input the NUL device.
ProcessStart xcopyStart(const std::string& systemFolder, const std::string& source,
                        const std::string& logPath);

/// Which files of the tree xcopy's listing names as copied; nothing when the listing cannot be
/// relied on (forEachCopiedFile), or names a file that is not one of the tree's.
std::optional<TreeMarks> filesListed(Trees& trees, const SourceTree& tree, std::string_view listing,
                                     const std::vector<std::string>& sources);

}  // namespace vesk
