#include "run/run_settings.h"

#include "platform/text.h"

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

std::optional<RunSettings> readRunSettings(const std::string& argumentText,
                                           const std::string& defaultLogPath) {
  std::vector<std::string> pieces = splitArgumentText(argumentText);
  if (pieces.size() < 3) return std::nullopt;

  RunSettings settings;
  settings.logPath = defaultLogPath;
  int filled = 0;
  for (const std::string& piece : pieces) {
    // Only spaces make a piece blank; a piece of tabs counts.
    if (piece.find_first_not_of(' ') == std::string::npos) continue;
    if (filled == 0) settings.destinationDir = piece;
    if (filled == 1 && lowerCase(piece) != "default") settings.logPath = piece;
    if (filled == 2) settings.notifyFlag = piece;
    if (filled == 3) settings.copyMode = piece;
    if (++filled == 4) break;  // a fifth and later counting piece is ignored
  }
  settings.showStatusBoxes = settings.notifyFlag != "N";
  settings.copyWith = settings.copyMode == "N" ? CopyMode::shellCopy : CopyMode::xcopy;
  return settings;
}

}  // namespace vesk
