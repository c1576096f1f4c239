#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vesk {

/// The show-window code that every started command gets: maximised.
constexpr int showMaximised = 3;

enum class CommandEnd { exited, stillRunning, notStarted };

struct CommandOutcome {
  CommandEnd end = CommandEnd::notStarted;
  uint32_t exitCode = 0;  // meaningful when end is exited
};

/// Starts commandLine with the show-window code and waits for its end, in waits of 250 ms;
/// with timeoutSeconds > 0 it stops waiting once more whole seconds than that have passed.
/// When the command cannot be started the box "error" is shown. The started process is never
/// ended by the runner. applicationName, when not empty, names the program to run.
CommandOutcome runAndWait(Platform& platform, const std::string& commandLine, int windowStyle,
                          int32_t timeoutSeconds, const std::string& applicationName = "");

/// value as one argument by the rules the C runtime uses to split a command line: unchanged
/// when it is not empty and holds no blank, tab or double quote; otherwise enclosed in double
/// quotes, each inner double quote written \" and the backslashes directly before a double quote
/// doubled.
std::string quoteArgument(const std::string& value);

}  // namespace vesk
