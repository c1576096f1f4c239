#include "run/previous_backup.h"

#include "actions/database_backup.h"
#include "platform/failure.h"
#include "run/status_file.h"

namespace vesk {

void confirmPreviousBackup(RunState& run) {
  Files& files = run.platform.files;
  const std::string statusPath = run.record.destination + statusFileName;
  std::optional<std::string> outputPath;
  bool confirmed = false;
  try {
    if (!files.fileExists(statusPath)) return;
    outputPath = stillRunningOutput(run.platform.system, files.readFile(statusPath));
    if (!outputPath) return;
    // The record holds the path that run's client wrote to, whatever log path this run has.
    confirmed =
        files.fileExists(*outputPath) && clientOutputConfirmsBackup(files.readFile(*outputPath));
  } catch (const Failure&) {
    // A status file that cannot be read tells nothing; an output that cannot be read confirms
    // nothing.
    if (!outputPath) return;
  }
  run.record.previousDatabase = PreviousDatabase{confirmed, *outputPath};
  const std::string line = confirmed ? "previous SQL backup confirmed: " + *outputPath
                                     : "previous SQL backup NOT confirmed, see " + *outputPath;
  run.log.writeLog(line);
  run.record.outcomeLines.push_back(line);
}

}  // namespace vesk
