#include "run/run_state.h"

namespace vesk {

void recordOutcome(RunState& run, const std::string& line, Shown shown,
                   const std::vector<std::string>& messages) {
  if (shown == Shown::inBox)
    run.log.reportStatus(line);
  else
    run.log.writeLog(line);
  keepOutcome(run, line);
  for (const std::string& message : messages) {
    run.log.writeLog(messageIndent + message);
    keepOutcome(run, messageIndent + message);
  }
}

void keepOutcome(RunState& run, const std::string& line) {
  run.record.outcomeLines.push_back(line);
}

}  // namespace vesk
