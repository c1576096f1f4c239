#include "run/previous_backup.h"

#include "actions/client_output.h"
#include "actions/read_back.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "run/status_file.h"
#include "run/status_reader.h"

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
  // A record that names a live process of another program (planted in a share that others can
  // write, say) does not hold back this run's database backup.
  const std::optional<std::string> program = processes.programOf(*token);
  const bool theClient = !client.program.empty() &&
                         (!program || comparablePath(*program) == comparablePath(client.program));
  const bool running = theClient && processes.waitForProcess(*token, 0) == WaitResult::stillRunning;
  processes.closeProcess(*token);
  return running;
}

/// Why the output that a status file names is not read, or nothing when it may be: the file
/// lies where others may write, and the path it names could be anywhere.
std::optional<std::string> outputRefusal(RunState& run, const std::string& outputPath) {
  Files& files = run.platform.files;
  Trees& trees = run.platform.trees;
  const std::vector<std::string> runPaths = {files.fullPath(run.record.logPath),
                                             files.fullPath(run.record.destination)};
  return readBackRefusal(files.fullPath(outputPath), runPaths, [&](char drive) {
    const std::optional<VolumeFacts> volume = trees.volumeOf(trees.longPathOf({drive, ':', '\\'}));
    return volume && volume->network;
  });
}

/// Records a previous backup NOT confirmed whose output was not read, and why.
void notRead(RunState& run, PreviousDatabase previous, const std::string& why) {
  previous.outcome = PreviousDatabase::Outcome::notConfirmed;
  previous.reason = "output not read: " + why;
  run.record.previousDatabase = previous;
  recordOutcome(run,
                "previous SQL backup NOT confirmed, output not read: " + previous.outputPath +
                    " (" + why + ")",
                Shown::logOnly);
}

}  // namespace

PreviousBackup confirmPreviousBackup(RunState& run) {
  const Platform& platform = run.platform;
  PreviousBackup found;
  const std::optional<StatusReading> reading =
      readStatusFile(platform.files, platform.system, run.record.destination + statusFileName);
  if (!reading) return found;
  if (!reading->status) {
    // What the run before left cannot be told: said, and kept as unknown.
    run.record.previousDatabase = PreviousDatabase{
        .outcome = PreviousDatabase::Outcome::unknown, .outputPath = "", .reason = reading->reason};
    recordOutcome(run, "previous status file not used: " + reading->reason, Shown::logOnly);
    return found;
  }
  run.record.lastSuccessBefore = reading->status->lastSuccess;
  if (!reading->status->stillRunning) return found;
  const ClientProcess* client = &*reading->status->stillRunning;

  PreviousDatabase previous{.outputPath = client->outputPath};
  if (stillRuns(platform.processes, *client)) {
    found.stillRunning = *client;
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

  found.notConfirmed = true;
  if (const std::optional<std::string> refusal = outputRefusal(run, client->outputPath)) {
    notRead(run, previous, *refusal);
    return found;
  }
  const ClientEvidence evidence = outputEvidence(platform, *client);
  if (evidence.outputTooLarge) {
    notRead(run, previous, "larger than 4 MiB");
    return found;
  }
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
