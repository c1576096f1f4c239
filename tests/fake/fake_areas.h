#pragma once

// In-memory fakes of the platform's areas, one class each. They are as dumb as they can be:
// state in containers, failures injected by setting a field, time that moves only while the
// code waits, and what the code did recorded for the tests. The Windows rules that the files,
// trees and processes need (paths, letter case, code page) are those of FakeFileSystem, which
// the combined FakePlatform (tests/fake_platform.h) provides.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fake/fake_file_system.h"
#include "platform/failure.h"
#include "platform/platform.h"

namespace vesk {

class FakeFiles : public Files {
 public:
  bool folderExists(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  /// True for a path beginning with the letter of a drive that exists and ":".
  bool driveExists(const std::string& path) override;
  void createFolder(const std::string& path) override;
  std::unique_ptr<TextStream> openForAppend(const std::string& path) override;
  std::string readFile(const std::string& path) override;
  std::optional<std::string> readFileWithin(const std::string& path, uint64_t limit) override;
  std::string readFileTail(const std::string& path, size_t size) override;
  void deleteFile(const std::string& path) override;
  std::string fullPath(const std::string& path) override;
  void replaceFile(const std::string& path, const std::string& content) override;

  PathSet undeletable;         // deleteFile fails
  bool failLogWrites = false;  // writeLine of every open stream fails
  /// replaceFile fails as on a full disk, or while a reader holds the file, and leaves the
  /// file as it was.
  PathSet unreplaceable;
  /// The size that readFileWithin sees for a file, in place of its content's (a sparse file).
  PathMap<uint64_t> sizes;
  std::vector<std::string> filesRead;  // by readFile and readFileWithin, in order

 protected:
  /// The file system the calls act on.
  virtual FakeFileSystem& disk() = 0;

 private:
  friend class FakeStream;
};

class FakeTrees : public Trees {
 public:
  std::u16string longPathOf(const std::string& path) override;
  std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) override;
  std::optional<FolderEntry> entryAt(const std::u16string& path) override;
  void copyFile(const std::u16string& from, const std::u16string& to) override;
  void createFolder(const std::u16string& path) override;
  std::optional<FolderIdentity> folderIdentity(const std::u16string& path) override;
  int compareNames(const std::u16string& a, const std::u16string& b) override;
  /// The drive's file system as FakeFileSystem::fileSystems names it; a share is on the network.
  std::optional<VolumeFacts> volumeOf(const std::u16string& path) override;
  std::optional<bool> sameContent(const std::u16string& a, const std::u16string& b) override;
  /// Runs the work at once: the fake has one thread, and the work sees what was there before
  /// the caller goes on, the earliest it could.
  std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) override;

  PathSet unlistable;  // listFolder fails (no right to list them, say)
  /// Source paths whose copyFile fails as on a full disk, leaving the given number of bytes.
  PathMap<size_t> copyFailsAfter;
  int64_t copyTime = 0;  // when set, copies that fail are left with this last-write time
  std::vector<std::string> filesCopied;  // by copyFile: the source paths
  int contentComparisons = 0;            // calls of sameContent

 protected:
  virtual FakeFileSystem& disk() = 0;

 private:
  PathMap<uint64_t> folderIndexes_;
};

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

 protected:
  virtual FakeFileSystem& disk() = 0;

 private:
  struct Process {
    FakeProcessScript script;
    int64_t startedAtMs = 0;
    bool open = true;
    uint32_t id = 0;
    std::string program = {};
  };
  std::vector<Process> processes_;
};

struct FakeRegistryValue {
  RegistryType type = RegistryType::text;
  std::string data;  // raw bytes
};

class FakeRegistry : public Registry {
 public:
  /// Below HKLM\SOFTWARE the 32-bit view reads HKLM\SOFTWARE\Wow6432Node; other keys are
  /// shared by both views.
  std::optional<RegistryKey> openKey(RegistryRoot root, const std::string& subKey,
                                     RegistryView view) override;
  std::optional<RegistryData> readValue(RegistryKey key, const std::string& name) override;
  void closeKey(RegistryKey key) noexcept override;

  void setRegistryValue(const std::string& keyPath, const std::string& name, RegistryType type,
                        const std::string& data);

  /// Keys by their path from "HKLM\" or "HKCU\"; a value that cannot be read is one of the type
  /// other without bytes, as the platform gives it.
  PathMap<std::map<std::string, FakeRegistryValue>> registry;
  std::vector<std::string> keysOpened;  // their paths, in order
  int openRegistryKeys = 0;

 private:
  std::vector<std::string> openKeys_;
};

/// A shell copy as the run asked for it.
struct ShellCopyCall {
  std::string from, to;
  ShellCopyOptions options;
};

class FakeDesktop : public Desktop {
 public:
  void showMessage(const std::string& text) override;
  ShellCopyResult shellCopy(const std::string& from, const std::string& to,
                            ShellCopyOptions options) override;

  std::vector<std::string> messages;
  std::function<void(const std::string&)> onMessage;  // runs inside showMessage
  std::vector<ShellCopyCall> shellCopies;
  ShellCopyResult shellCopyResult;
  std::function<void()> onShellCopy;  // what the copy does (FakeFileSystem::copyTree, say)
};

class FakeSystem : public System {
 public:
  std::string commandLine() override { return commandLineText; }
  std::string programPath() override { return programFolderPath + "\\veskbackup.exe"; }
  std::string programFolder() override { return programFolderPath; }
  std::optional<std::string> environmentVariable(const std::string& name) override {
    const auto found = environment.find(name);
    if (found == environment.end()) return std::nullopt;
    return found->second;
  }
  std::string systemFolder() override { return systemFolderPath; }
  LocalTime localTime() override { return now; }
  ZonedTime zonedTime() override { return {now, utcOffsetMinutes}; }
  /// M/d/yyyy, as the English user forms give it.
  std::string shortDateText(const LocalTime& t) override;
  /// h:mm:ss AM or PM.
  std::string longTimeText(const LocalTime& t) override;
  /// The fake's ANSI code page is Windows-1252.
  std::string ansiFromUtf16(const std::u16string& text) override;
  std::u16string utf16FromAnsi(const std::string& text) override;
  std::string userProfileFolder() override { return profileFolder; }
  void onCrash(int exitStatus, std::function<std::string(const Crash&)> record) override {
    crashExitStatus = exitStatus;
    crashRecord = std::move(record);
  }
  std::string computerName() override { return computer; }
  std::string accountName() override { return account; }

  std::string commandLineText = "veskbackup.exe";
  std::map<std::string, std::string> environment;
  std::string programFolderPath = "C:\\Tools";
  std::string systemFolderPath = "C:\\windows\\system32";
  LocalTime now{2026, 12, 7, 14, 5, 9};
  int utcOffsetMinutes = 60;
  std::string profileFolder = "C:\\users\\tester";
  /// What onCrash was given: a test crashes the run by calling crashRecord.
  int crashExitStatus = 0;
  std::function<std::string(const Crash&)> crashRecord;
  std::string computer = "SRV-APP01";
  std::string account = "svc-backup";
};

struct EventEntry {
  EventLevel level = EventLevel::error;
  uint16_t eventId = 0;
  std::vector<std::string> texts;
};

class FakeEventLog : public EventLog {
 public:
  void writeEntry(EventLevel level, uint16_t eventId,
                  const std::vector<std::string>& texts) override {
    if (failEventLog) throw Failure(Fault::permissionDenied);
    eventEntries.push_back({level, eventId, texts});
  }

  std::vector<EventEntry> eventEntries;
  bool failEventLog = false;  // writeEntry fails, as without the right to write the log
};

}  // namespace vesk
