#pragma once

#include <string>
#include <vector>

namespace vesk {

/// The four settings of a run, taken from the command line.
struct RunSettings {
  std::string destinationDir;
  std::string logPath;
  std::string notifyFlag = "N";
  std::string copyMode = "Y";
};

/// The text of the usage message (step 34).
extern const char* const usageMessage;

/// The argument text of a command line: everything after the program's own name (quoted or
/// not) and the blanks that follow it.
std::string argumentTextOf(const std::string& commandLine);

/// The argument text cut at every double quote; an empty text gives no piece.
std::vector<std::string> splitArgumentText(const std::string& argumentText);

/// Steps 33 and 35: false when the text has fewer than two double quotes (settings untouched);
/// otherwise fills the settings from the counting pieces in order.
bool readRunSettings(const std::string& argumentText, RunSettings& settings);

}  // namespace vesk
