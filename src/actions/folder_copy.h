#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "actions/backup_counts.h"
#include "actions/source_tree.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// How the installation folder is copied.
enum class CopyMode { xcopy, shellCopy };

/// The tool that copied the tree.
enum class CopyTool { xcopy, shellCopy, none };

struct FolderCopyResult {
  bool complete = false;  // nothing is left "not in backup"
  CopyTool tool = CopyTool::none;
  /// The files the tool copied: xcopy's own count, the files the shell copy was given;
  /// nothing when xcopy's listing does not tell.
  std::optional<uint64_t> toolCopied;
  BackupCounts counts;
  /// What the copy logged that kept no file out of the backup by itself.
  struct Warnings {
    PathList linkLoops;     // "link loop not followed: "
    PathList timesNotKept;  // "time not kept by the destination: "
    PathList tooLongForXcopy;
    PathList tooLongForShellCopy;
  } warnings = {};
};

/// Copies the contents of source into destination (which ends in one backslash), whose tree the
/// walk has listed (walkSource of source and destination): by xcopy or by the shell copy. A
/// tree with paths too long for xcopy goes to the shell copy, after one "too long for xcopy: "
/// line per path; one with paths too long for the shell copy goes to no tool, after "too long
/// for the shell copy: " lines, and so does a source that no folder's name can be, after "not a
/// folder name, not copied: ". Then the backup is compared with the source, what differs is
/// copied again (see repairBackup), and what is still missing or different is logged "not in
/// backup: ". Complete exactly when nothing is left.
FolderCopyResult copyFolder(const Platform& platform, RunLog& log, const SourceTree& tree,
                            const std::string& source, const std::string& destination,
                            CopyMode copyWith, const std::string& logPath);

/// How xcopy is started, with the destination as current folder: systemFolder\xcopy.exe by
/// its full path, with the command line SYSTEMFOLDER\xcopy.exe SOURCE /e /s /d /y (each
/// argument quoted by quoteArgument), its output and errors written to the listing file
/// LOGPATHxcp, its input the NUL device.
ProcessStart xcopyStart(const std::string& systemFolder, const std::string& source,
                        const std::string& logPath);

/// False when path holds a character that no folder's name can hold: one that the copy tools
/// read as a pattern (* ?) or as the end of their argument ("), or that Windows refuses in a
/// name (< > |, a control character). The ? of a leading \\?\ belongs to the path's form.
bool canNameAFolder(const std::string& path);

/// The longest full path that xcopy is handed: it builds each path in a buffer of MAX_PATH
/// (260) characters; Windows' xcopy gives up on paths of about 255 characters with
/// "Insufficient memory", Wine's overruns its buffers and then may never end.
constexpr size_t xcopyPathLimit = 254;

/// The longest full path that the shell copy is handed: its paths are held in MAX_PATH
/// characters with their NUL, and a longer one overruns its buffers.
constexpr size_t shellCopyPathLimit = 259;

}  // namespace vesk
