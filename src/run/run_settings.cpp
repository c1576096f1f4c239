#include "run/run_settings.h"

#include <algorithm>
#include <cctype>

#include "config/settings_file.h"

namespace vesk {

const char* const usageMessage =
    "veskbackup.bat destdirectory [outputlog: veskbackuplog.txtDD(default)] "
    "[backgroud:N(default)]  - remember filename with double quote required";

std::string argumentTextOf(const std::string& commandLine) {
  size_t position = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    size_t closing = commandLine.find('"', 1);
    position = closing == std::string::npos ? commandLine.size() : closing + 1;
  } else {
    position = commandLine.find_first_of(" \t");
    if (position == std::string::npos) position = commandLine.size();
  }
  while (position < commandLine.size() &&
         (commandLine[position] == ' ' || commandLine[position] == '\t'))
    ++position;
  return commandLine.substr(position);
}

std::vector<std::string> splitArgumentText(const std::string& argumentText) {
  if (argumentText.empty()) return {};
  return splitAt(argumentText, '"');
}

bool readRunSettings(const std::string& argumentText, RunSettings& settings) {
  std::vector<std::string> pieces = splitArgumentText(argumentText);
  if (pieces.size() < 3) return false;

  int filled = 0;
  for (const std::string& piece : pieces) {
    // Only spaces make a piece blank; a piece of tabs counts.
    if (piece.find_first_not_of(' ') == std::string::npos) continue;
    switch (filled++) {
      case 0:
        settings.destinationDir = piece;
        break;
      case 1: {
        std::string lower = piece;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower != "default") settings.logPath = piece;
        break;
      }
      case 2:
        settings.notifyFlag = piece;
        break;
      case 3:
        settings.copyMode = piece;
        break;
      default:
        return true;  // a fifth and later counting piece is ignored
    }
  }
  return true;
}

}  // namespace vesk
