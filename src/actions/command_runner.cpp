#include "actions/command_runner.h"

#include "platform/failure.h"
#include "platform/owned.h"

namespace vesk {
namespace {

constexpr int waitMilliseconds = 250;

}  // namespace

CommandOutcome runAndWait(Processes& processes, Desktop& desktop, const ProcessStart& start,
                          int32_t timeoutSeconds) {
  StartedProcess started;
  try {
    started = processes.startProcess(start);
  } catch (const Failure&) {
    // Shown directly, not through reportStatus: a command that did not start must be seen
    // even in a run that shows no status boxes.
    desktop.showMessage("error");
    return {CommandEnd::notStarted, 0};
  }
  const ProcessToken process = started.process;
  // Closed on every way out of the wait, a failure included; closing only releases the token,
  // the process itself is not affected.
  Owned closer(process, ProcessToken{0},
               [&processes](ProcessToken token) noexcept { processes.closeProcess(token); });

  processes.yieldToMessages();
  const int64_t startSeconds = processes.wallClockSeconds();
  for (;;) {
    WaitResult waited = processes.waitForProcess(process, waitMilliseconds);
    if (waited != WaitResult::stillRunning) break;
    processes.yieldToMessages();
    // Whole seconds of the wall clock, strictly more than the timeout: a timeout of T ends the
    // wait between T and T + 1 seconds (plus one wait) after the start. A clock set back
    // makes the elapsed time smaller and the wait simply goes on.
    if (timeoutSeconds > 0 && processes.wallClockSeconds() - startSeconds > timeoutSeconds)
      return {CommandEnd::stillRunning, 0, started.outputKept, started.processId,
              started.creationTime};
  }

  // After a failed wait, or when the exit code cannot be read, the end of the command is not
  // confirmed; callers treat that like a command still running, never as a success.
  std::optional<uint32_t> exitCode = processes.processExitCode(process);
  return {exitCode ? CommandEnd::exited : CommandEnd::stillRunning, exitCode.value_or(0),
          started.outputKept, started.processId, started.creationTime};
}

std::string escapedInQuotes(const std::string& value) {
  std::string escaped;
  size_t backslashes = 0;
  for (char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only directly before a double quote.
    escaped.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    escaped += c;
    backslashes = 0;
  }
  return escaped.append(backslashes, '\\');
}

std::string quoteArgument(const std::string& value) {
  // Left bare, an empty value would vanish and the next argument take its place.
  if (!value.empty() && value.find_first_of(" \t\"") == std::string::npos) return value;
  // The closing double quote must not be escaped by backslashes that end the value.
  const size_t last = value.find_last_not_of('\\');
  const size_t trailing = value.size() - (last == std::string::npos ? 0 : last + 1);
  return "\"" + escapedInQuotes(value) + std::string(trailing, '\\') + "\"";
}

}  // namespace vesk
