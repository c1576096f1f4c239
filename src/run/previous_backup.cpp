#include "run/previous_backup.h"

#include "actions/client_output.h"
#include "platform/failure.h"
#include "run/status_file.h"

namespace vesk {
namespace {

constexpr int64_t ticksPerSecond = 10'000'000;
constexpr int64_t secondsInADay = 24 * 60 * 60;

/// True when the process that the record names (its id and its creation time) still runs.
bool stillRuns(Processes& processes, const ClientProcess& client) {
  if (client.processId == 0 || client.creationTime == 0) return false;
  const std::optional<ProcessToken> token =
      processes.openProcess(client.processId, client.creationTime);
  if (!token) return false;
  const bool running = processes.waitForProcess(*token, 0) == WaitResult::stillRunning;
  processes.closeProcess(*token);
  return running;
}

}  // namespace

PreviousBackup confirmPreviousBackup(RunState& run) {
  const Platform& platform = run.platform;
  PreviousBackup found;
  const std::string statusPath = run.record.destination + statusFileName;
  std::optional<ClientProcess> client;
  try {
    if (!platform.files.fileExists(statusPath)) return found;
    client = stillRunningClient(platform.system, platform.files.readFile(statusPath));
  } catch (const Failure&) {
    // A status file that cannot be read tells nothing.
  }
  if (!client) return found;

  PreviousDatabase previous{.outputPath = client->outputPath};
  if (stillRuns(platform.processes, *client)) {
    found.stillRunning = client;
    found.overADay = platform.processes.wallClockSeconds() -
                         static_cast<int64_t>(client->creationTime / ticksPerSecond) >
                     secondsInADay;
    previous.outcome = PreviousDatabase::Outcome::stillRunning;
    previous.reason = "still running since " + client->clientStart;
    run.record.previousDatabase = previous;
    recordOutcome(run, "previous SQL backup still running since " + client->clientStart,
                  Shown::logOnly);
    return found;
  }

  const ClientEvidence evidence = outputEvidence(platform, *client);
  // This run's client may write to the same path: what the earlier one wrote is kept beside it.
  std::string shownPath = client->outputPath;
  if (evidence.output) {
    try {
      platform.files.replaceFile(client->outputPath + ".prev", *evidence.output);
      shownPath = previous.keptPath = client->outputPath + ".prev";
    } catch (const Failure&) {
    }
  }
  const ClientVerdict verdict = judgeClient(evidence, shownPath);
  found.notConfirmed = !verdict.confirmed;
  previous.outcome = verdict.confirmed ? PreviousDatabase::Outcome::confirmed
                                       : PreviousDatabase::Outcome::notConfirmed;
  previous.reason = verdict.reason;
  // The password is not known yet; the client never had it on its command line to repeat.
  previous.messages = messagesForLog(platform.system, verdict.messages, verdict.utf16, "");
  run.record.previousDatabase = previous;
  recordOutcome(run,
                verdict.confirmed ? "previous SQL backup confirmed: " + shownPath
                                  : "previous SQL backup NOT confirmed, see " + shownPath,
                Shown::logOnly, previous.messages);
  return found;
}

}  // namespace vesk
