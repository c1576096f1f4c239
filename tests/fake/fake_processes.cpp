// The fake of started programs: scripts instead of programs, and a clock that moves only while
// the code waits.

#include "fake/fake_processes.h"

#include <cctype>

#include "platform/failure.h"

namespace vesk {

StartedProcess FakeProcesses::startProcess(const ProcessStart& start) {
  commandsStarted.push_back({start.applicationName, start.commandLine, start.window,
                             start.outputPath, disk().currentFolder, start.inputFromNul,
                             start.environment, start.outlivesTheRun, start.currentFolder});
  FakeProcessScript script;
  if (processes_.size() < processScripts.size()) script = processScripts[processes_.size()];
  if (script.failToStart) {
    processes_.push_back({script, clockMs, false});
    throw Failure(Fault::fileNotFound);
  }
  // The output file is made as the Win32 layer makes it: in an existing folder, over a file
  // that nobody holds open, never over a folder; otherwise the output is lost.
  bool outputKept = true;
  if (!start.outputPath.empty()) {
    const std::string key = disk().keyOf(start.outputPath);
    outputKept = !key.empty() && disk().folderAt(FakeFileSystem::parentKey(key)) &&
                 !disk().folderAt(key) && !disk().unreadable.count(key);
    if (outputKept) disk().files[key] = {script.output, clockMs * 10'000};
  }
  if (script.onStart) script.onStart();
  const auto id = static_cast<uint32_t>(processIdsReused ? 4 : 4 * (processes_.size() + 1));
  processes_.push_back({script, clockMs, true, id, start.applicationName});
  ++openProcesses;
  return {processes_.size(), outputKept, id, static_cast<uint64_t>(clockMs) * 10'000};
}

std::optional<ProcessToken> FakeProcesses::openProcess(uint32_t processId, uint64_t creationTime) {
  for (size_t i = 0; i < processes_.size(); ++i) {
    const Process& p = processes_[i];
    if (p.id == processId && static_cast<uint64_t>(p.startedAtMs) * 10'000 == creationTime) {
      processes_[i].open = true;
      ++openProcesses;
      return i + 1;
    }
  }
  return std::nullopt;
}

WaitResult FakeProcesses::waitForProcess(ProcessToken process, int milliseconds) {
  Process& p = processes_.at(process - 1);
  int64_t endsAt = p.startedAtMs + p.script.runsForMs;
  WaitResult result = WaitResult::stillRunning;
  if (p.script.runsForMs >= 0 && clockMs >= endsAt) {
    result = WaitResult::ended;
  } else if (p.script.runsForMs >= 0 && clockMs + milliseconds >= endsAt) {
    clockMs = endsAt;  // the wait returns as soon as the process ends
    result = WaitResult::ended;
  } else {
    clockMs += milliseconds;
  }
  return failWaits ? WaitResult::failed : result;
}

std::optional<uint32_t> FakeProcesses::processExitCode(ProcessToken process) {
  Process& p = processes_.at(process - 1);
  if (p.script.runsForMs < 0 || clockMs < p.startedAtMs + p.script.runsForMs) return std::nullopt;
  return p.script.exitCode;
}

void FakeProcesses::closeProcess(ProcessToken process) noexcept {
  Process& p = processes_.at(process - 1);
  if (p.open) --openProcesses;
  p.open = false;
}

void FakeProcesses::changeDrive(const std::string& text) {
  if (text.empty() ||
      !disk().drives.count(static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])))))
    throw Failure(Fault::pathNotFound);
  driveAndFolderChanges.push_back("drive " + text.substr(0, 1));
}

void FakeProcesses::changeFolder(const std::string& path) {
  if (!disk().folderAt(disk().keyOf(path))) throw Failure(Fault::pathNotFound);
  driveAndFolderChanges.push_back("folder " + path);
  disk().currentFolder = path;
}

}  // namespace vesk
