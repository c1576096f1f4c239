#pragma once

// Started programs, the clock their waits are measured on, and the current drive and folder
// that a started program inherits.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk {

/// Opaque token of a started process, valid until closeProcess; never 0.
using ProcessToken = uint64_t;

enum class WaitResult { ended, stillRunning, failed };

/// How the window of a started program is shown. The run shows its tools maximised; its own
/// watch has none to show.
enum class WindowMode { maximised, hidden };

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
  /// Standard input is the NUL device, and without outputPath standard output and error are
  /// too: a program that asks a question reads the end of its input instead of waiting.
  bool inputFromNul = false;
  /// Variables added to this program's environment alone, by name and value (ANSI); the
  /// program's own environment is not changed, so no other program started sees them.
  std::vector<std::pair<std::string, std::string>> environment = {};
  /// The program is to outlive the run: it is taken out of a job that would end it with the
  /// run, where the job lets it go.
  bool outlivesTheRun = false;
  /// The folder the program starts in; empty: the current one.
  std::string currentFolder = {};
};

struct StartedProcess {
  ProcessToken process = 0;
  /// False when the output file could not be created: the program's output then goes to the
  /// NUL device.
  bool outputKept = true;
  /// The process's identity: its id, which the system hands to another process once it has
  /// ended, and its creation time (100-ns intervals since 1601-01-01 UTC), which together with
  /// the id names it alone.
  uint32_t processId = 0;
  uint64_t creationTime = 0;
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
  /// A token for the process of this id that was created at creationTime, while it runs or
  /// after it ended as long as the system still knows it; nothing when there is none (a
  /// process of another creation time that took the id over is not it). Close it with
  /// closeProcess.
  virtual std::optional<ProcessToken> openProcess(uint32_t processId, uint64_t creationTime) = 0;
  /// The full path of the program that the process runs; nothing when it cannot be read.
  virtual std::optional<std::string> programOf(ProcessToken process) = 0;
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
