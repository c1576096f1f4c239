#include "run/run_state.h"

namespace vesk {

void recordOutcome(RunState& run, const std::string& line, Shown shown,
                   const std::vector<std::string>& messages) {
  if (shown == Shown::inBox)
    run.log.reportStatus(line);
  else
    run.log.writeLog(line);
  run.record.outcomeLines.push_back(line);
  for (const std::string& message : messages) {
    run.log.writeLog(messageIndent + message);
    run.record.outcomeLines.push_back(messageIndent + message);
  }
}

}  // namespace vesk
