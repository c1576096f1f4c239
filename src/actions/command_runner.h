#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop.h"
#include "platform/processes.h"

namespace vesk {

enum class CommandEnd { exited, stillRunning, notStarted };

struct CommandOutcome {
  CommandEnd end = CommandEnd::notStarted;
  uint32_t exitCode = 0;  // meaningful when end is exited
  /// False when the output file that the start asked for could not be created.
  bool outputKept = true;
  /// The started process's identity (see StartedProcess).
  uint32_t processId = 0;
  uint64_t creationTime = 0;
};

/// Starts the program and waits for its end, in waits of 250 ms; with timeoutSeconds > 0 it
/// stops waiting once more whole seconds than that have passed. When the program cannot be
/// started the box "error" is shown. The started process is never ended by the runner.
CommandOutcome runAndWait(Processes& processes, Desktop& desktop, const ProcessStart& start,
                          int32_t timeoutSeconds);

/// value as one argument by the rules the C runtime uses to split a command line: unchanged
/// when it is not empty and holds no blank, tab or double quote; otherwise enclosed in double
/// quotes, each inner double quote written \" and the backslashes directly before a double quote
/// doubled.
std::string quoteArgument(const std::string& value);

/// value as it stands inside a quoted argument: each double quote written \", the backslashes
/// directly before it doubled.
std::string escapedInQuotes(const std::string& value);

}  // namespace vesk
