#pragma once

// The fake of started programs: scripts instead of programs, a clock that moves only while the
// code waits, and the current drive and folder of the simulated file system.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake/fake_file_system.h"
#include "platform/processes.h"

namespace vesk {

/// What a started process does in the fake.
struct FakeProcessScript {
  bool failToStart = false;
  int64_t runsForMs = 0;  // < 0: never ends
  uint32_t exitCode = 0;
  std::function<void()> onStart = {};  // side effects, for instance files that a copy makes
  std::string output = {};  // written to the output file, when one was asked for, at the start
};

struct StartedCommand {
  std::string applicationName;
  std::string commandLine;
  WindowMode window = WindowMode::maximised;
  std::string outputPath;
  std::string currentFolder;  // the folder current when it was started
  bool inputFromNul = false;
  std::vector<std::pair<std::string, std::string>> environment;  // added for it alone
  bool outlivesTheRun = false;
  std::string startFolder;  // the folder it was told to start in; empty: the current one
};

class FakeProcesses : public Processes {
 public:
  explicit FakeProcesses(FakeFileSystem& disk) : disk_(disk) {}

  StartedProcess startProcess(const ProcessStart& start) override;
  WaitResult waitForProcess(ProcessToken process, int milliseconds) override;
  std::optional<uint32_t> processExitCode(ProcessToken process) override;
  void closeProcess(ProcessToken process) noexcept override;
  /// Every process started keeps its id; processIdsReused hands an id to a later process.
  std::optional<ProcessToken> openProcess(uint32_t processId, uint64_t creationTime) override;
  /// The applicationName it was started with.
  std::optional<std::string> programOf(ProcessToken process) override {
    return processes_.at(process - 1).program;
  }
  void yieldToMessages() override { ++yields; }
  int64_t wallClockSeconds() override { return clockMs / 1000; }
  void changeDrive(const std::string& text) override;
  void changeFolder(const std::string& path) override;

  std::vector<FakeProcessScript> processScripts;  // one per startProcess, in order; default ends
  int64_t clockMs = 1'000'000;
  bool failWaits = false;  // every wait fails, as on a broken handle, after its time has passed
  /// Ids of processes started: 4, 8, 12 and so on; when set, every start takes the id 4.
  bool processIdsReused = false;

  std::vector<StartedCommand> commandsStarted;
  std::vector<std::string> driveAndFolderChanges;  // "drive X", "folder P"
  int yields = 0;
  int openProcesses = 0;

 private:
  FakeFileSystem& disk() { return disk_; }
  FakeFileSystem& disk_;  // the file system the calls act on
  struct Process {
    FakeProcessScript script;
    int64_t startedAtMs = 0;
    bool open = true;
    uint32_t id = 0;
    std::string program = {};
  };
  std::vector<Process> processes_;
};

}  // namespace vesk
