#pragma once

// Started programs, the clock their waits are measured on, and the current drive and folder
// that a started program inherits.

#include <cstdint>
#include <optional>
#include <string>

namespace vesk {

/// Opaque token of a started process, valid until closeProcess; never 0.
using ProcessToken = uint64_t;

enum class WaitResult { ended, stillRunning, failed };

/// How the window of a started program is shown. The run shows its tools maximised.
enum class WindowMode { maximised };

class Processes {
 public:
  virtual ~Processes() = default;

  /// Starts commandLine; applicationName, when not empty, is the program to run. The child
  /// inherits the current drive and folder. Throws Failure when it cannot be started.
  virtual ProcessToken startProcess(const std::string& applicationName,
                                    const std::string& commandLine, WindowMode window) = 0;
  virtual WaitResult waitForProcess(ProcessToken process, int milliseconds) = 0;
  /// The exit code of an ended process; nothing while it runs or when it cannot be read.
  virtual std::optional<uint32_t> processExitCode(ProcessToken process) = 0;
  virtual void closeProcess(ProcessToken process) noexcept = 0;
  /// Handles the program's pending window messages, then returns.
  virtual void yieldToMessages() = 0;
  /// Wall clock in whole seconds.
  virtual int64_t wallClockSeconds() = 0;

  /// Makes the drive of text (its first character) current. Throws Failure.
  virtual void changeDrive(const std::string& text) = 0;
  /// Throws Failure.
  virtual void changeFolder(const std::string& path) = 0;
};

}  // namespace vesk
