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

/// A program to start. It inherits the current drive and folder.
struct ProcessStart {
  /// The program, by its full path; when empty, the first word of the command line names it
  /// and the system looks for it.
  std::string applicationName = {};
  std::string commandLine = {};
  WindowMode window = WindowMode::maximised;
  /// When not empty, the program's standard output and standard error go to this file, created
  /// or emptied first (a relative path is taken from the current folder), and its standard
  /// input is the NUL device, so that a question from the program never waits for a person.
  std::string outputPath = {};
};

struct StartedProcess {
  ProcessToken process = 0;
  /// False when the output file could not be created: the program's output then goes to the
  /// NUL device.
  bool outputKept = true;
};

class Processes {
 public:
  virtual ~Processes() = default;

  /// Throws Failure when the program cannot be started.
  virtual StartedProcess startProcess(const ProcessStart& start) = 0;
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
