#include "run/watch.h"

#include <algorithm>

#include "actions/client_output.h"
#include "actions/command_runner.h"
#include "log/run_log.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "run/report.h"
#include "run/run_settings.h"
#include "run/status_file.h"
#include "run/status_reader.h"

namespace vesk {
namespace {

constexpr int64_t ticksPerSecond = 10'000'000;
constexpr int64_t longestWaitSeconds = 24 * 60 * 60;
constexpr int waitPieceMilliseconds = 60'000;

/// The watch shows nothing: no box waits for anyone while it runs unseen.
class NoBoxes : public Desktop {
 public:
  void showMessage(const std::string&) override {}
  ShellCopyResult shellCopy(const std::string&, const std::string&, ShellCopyOptions) override {
    throw Failure(Fault::invalidArgument);
  }
};

std::string descriptionOf(const std::exception& error) {
  const auto* failure = dynamic_cast<const Failure*>(&error);
  return failure ? reported(*failure).description : error.what();
}

/// Waits for the client up to a day; its exit code when it ended and the code can be read.
/// ended is false when it still runs at the bound.
std::optional<uint32_t> waitForClient(Processes& processes, const ClientProcess& client,
                                      bool& ended) {
  ended = true;
  // Gone before the watch looked: it ended, and its exit code went with it.
  const std::optional<ProcessToken> token =
      processes.openProcess(client.processId, client.creationTime);
  if (!token) return std::nullopt;
  const int64_t start = processes.wallClockSeconds();
  WaitResult waited = WaitResult::stillRunning;
  while (waited == WaitResult::stillRunning &&
         processes.wallClockSeconds() - start < longestWaitSeconds)
    waited = processes.waitForProcess(*token, waitPieceMilliseconds);
  ended = waited != WaitResult::stillRunning;
  const std::optional<uint32_t> exitCode = ended ? processes.processExitCode(*token) : std::nullopt;
  processes.closeProcess(*token);
  return exitCode;
}

/// The settlement by the one rule, or NOT complete when the client outlived the bound.
Settlement settle(const Platform& platform, const WatchOrder& order) {
  Settlement settlement;
  bool ended = false;
  ClientEvidence evidence;
  evidence.exitCode = waitForClient(platform.processes, order.client, ended);
  settlement.at = platform.system.zonedTime();
  if (!ended) {
    settlement.reason = "client still running after 24 hours";
  } else {
    const std::optional<uint32_t> exitCode = evidence.exitCode;
    evidence = outputEvidence(platform, order.client);
    evidence.exitCode = exitCode;
    const ClientVerdict verdict = judgeClient(evidence, order.client.outputPath);
    settlement.confirmed = verdict.confirmed;
    settlement.reason = verdict.reason;
    // The password is not known here; the client never had it on its command line to repeat.
    settlement.messages = messagesForLog(platform.system, verdict.messages, verdict.utf16, "");
  }
  if (settlement.confirmed) {
    const int64_t seconds = platform.processes.wallClockSeconds() -
                            static_cast<int64_t>(order.client.creationTime / ticksPerSecond);
    settlement.lines = {"SQL backup confirmed after " +
                        std::to_string(std::max<int64_t>(0, seconds) / 60) + " minutes"};
  } else {
    settlement.lines = {"SQL backup NOT complete, " + settlement.reason};
    for (const std::string& message : settlement.messages)
      settlement.lines.push_back(messageIndent + message);
  }
  settlement.exitStatus =
      settlement.confirmed ? order.statusIfConfirmed : exitStatus::nothingBackedUp;
  return settlement;
}

}  // namespace

std::string watchOrderText(const WatchOrder& order) {
  return "status=" + order.statusPath + "\nlog=" + order.logPath + "\nrunStart=" + order.runStart +
         "\nclient=" + order.client.program + "\noutput=" + order.client.outputPath +
         "\nclientStart=" + order.client.clientStart +
         "\nprocessId=" + std::to_string(order.client.processId) +
         "\ncreated=" + std::to_string(order.client.creationTime) +
         "\nifConfirmed=" + std::to_string(order.statusIfConfirmed) + "\n";
}

std::optional<WatchOrder> watchOrderOf(const std::string& text) {
  WatchOrder order;
  auto number = [](const std::string& value, uint64_t largest) -> std::optional<uint64_t> {
    if (value.empty() || value.size() > 19 ||
        value.find_first_not_of("0123456789") != std::string::npos)
      return std::nullopt;
    const uint64_t n = std::stoull(value);
    return n <= largest ? std::optional<uint64_t>(n) : std::nullopt;
  };
  std::vector<std::string> keys;
  for (const std::string& line : splitAt(text, '\n')) {
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    std::optional<uint64_t> n;
    if (key == "status")
      order.statusPath = value;
    else if (key == "log")
      order.logPath = value;
    else if (key == "runStart")
      order.runStart = value;
    else if (key == "client")
      order.client.program = value;
    else if (key == "output")
      order.client.outputPath = value;
    else if (key == "clientStart")
      order.client.clientStart = value;
    else if (key == "processId" && (n = number(value, UINT32_MAX)))
      order.client.processId = static_cast<uint32_t>(*n);
    else if (key == "created" && (n = number(value, UINT64_MAX)))
      order.client.creationTime = *n;
    else if (key == "ifConfirmed" && (n = number(value, exitStatus::databaseStillRunning)))
      order.statusIfConfirmed = static_cast<int>(*n);
    else
      return std::nullopt;  // a key it does not know, or a value that is no number
    keys.push_back(key);
  }
  std::sort(keys.begin(), keys.end());
  // Every key once, and what the watch cannot do without.
  if (keys.size() != 9 || std::adjacent_find(keys.begin(), keys.end()) != keys.end() ||
      order.logPath.empty() || order.client.outputPath.empty() || order.client.processId == 0 ||
      order.client.creationTime == 0)
    return std::nullopt;
  return order;
}

std::optional<WatchOrder> watchOrderFor(System& system) {
  const std::optional<std::string> text = system.environmentVariable(watchVariable);
  if (!text || argumentTextOf(system.commandLine()).find('"') != std::string::npos)
    return std::nullopt;
  return watchOrderOf(*text);
}

void leaveWatch(RunState& run, int statusIfConfirmed) {
  const Platform& platform = run.platform;
  const RunRecord& record = run.record;
  WatchOrder order{record.destination.empty() ? "" : record.destination + statusFileName,
                   record.logPath, isoTimeText(record.start), record.database.client,
                   statusIfConfirmed};
  const std::string program = platform.system.programPath();
  try {
    const StartedProcess watch =
        platform.processes.startProcess({.applicationName = program,
                                         .commandLine = quoteArgument(program),
                                         .window = WindowMode::hidden,
                                         .environment = {{watchVariable, watchOrderText(order)}},
                                         .outlivesTheRun = true,
                                         .currentFolder = platform.system.systemFolder()});
    platform.processes.closeProcess(watch.process);
  } catch (const Failure& failure) {
    run.log.writeLog("database backup watch not started: " + reported(failure).description);
  }
}

int runWatch(const Platform& platform, const WatchOrder& order) {
  NoBoxes noBoxes;
  const Platform quiet{platform.files, platform.trees,  platform.processes, platform.registry,
                       noBoxes,        platform.system, platform.eventLog};
  const Settlement settlement = settle(quiet, order);

  RunLog log(quiet.files, quiet.system, quiet.desktop);
  bool whole = true;
  auto logLine = [&](const std::string& line) {
    try {
      log.writeLog(line);
    } catch (const Failure&) {
      whole = false;  // a log that cannot take it loses it
    }
  };
  try {
    log.open(order.logPath);
  } catch (const Failure&) {
  }
  for (const std::string& line : settlement.lines) logLine(line);

  if (!order.statusPath.empty()) {
    try {
      if (quiet.files.fileExists(order.statusPath)) {
        // Within the bound of a status file: a larger one is no longer the run's.
        const std::optional<std::string> text =
            quiet.files.readFileWithin(order.statusPath, maxStatusFileSize);
        const std::optional<std::string> settled =
            text ? settledStatusText(quiet.system, *text, order.runStart, order.client, settlement)
                 : std::nullopt;
        if (settled) quiet.files.replaceFile(order.statusPath, *settled);
      }
    } catch (const std::exception& error) {
      whole = false;
      logLine("status file not settled: " + order.statusPath + ": " + descriptionOf(error));
    }
  }

  std::string lines;
  for (const std::string& line : settlement.lines) lines += (lines.empty() ? "" : "\r\n") + line;
  try {
    quiet.eventLog.writeEntry(
        settlement.confirmed ? EventLevel::information : EventLevel::error,
        settlement.confirmed ? watchConfirmedEventId : watchNotConfirmedEventId,
        {lines, order.logPath});
  } catch (const std::exception& error) {
    whole = false;
    logLine("Event Log entry not written: " + descriptionOf(error));
  }
  log.release();
  return whole ? 0 : 1;
}

}  // namespace vesk
