#pragma once

#include <optional>
#include <string>
#include <vector>

#include "actions/copy_plan.h"

namespace vesk {

/// The four settings of a run, taken from the command line, and what the flags among them
/// mean.
struct RunSettings {
  std::string destinationDir;
  std::string logPath;
  std::string notifyFlag = "N";         // as given
  std::string copyMode = "Y";           // as given
  bool showStatusBoxes = false;         // the notify flag is other than exactly "N"
  CopyMode copyWith = CopyMode::xcopy;  // the copy mode is exactly "N": the shell copy
};

/// The text of the usage message.
extern const char* const usageMessage;

/// The argument text of a command line: everything after the program's own name (quoted or
/// not) and the blanks that follow it.
std::string argumentTextOf(const std::string& commandLine);

/// The argument text cut at every double quote; an empty text gives no piece.
std::vector<std::string> splitArgumentText(const std::string& argumentText);

/// The settings of the argument text, from its counting pieces in order (a piece of spaces only
/// does not count): destination, log path ("default" in any letter case keeps defaultLogPath),
/// notify flag and copy mode; later pieces are ignored. Nothing when the text has fewer than
/// two double quotes: the run shows its usage message.
std::optional<RunSettings> readRunSettings(const std::string& argumentText,
                                           const std::string& defaultLogPath);

}  // namespace vesk
