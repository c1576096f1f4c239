#pragma once

// In-memory stand-in for the operating system. State lives in containers, time moves only
// while the code waits, and what the code did is recorded for the tests to assert on.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vesk {

/// Windows compares paths without regard to letter case; so does the fake.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct FakeFile {
  std::string content;
  int64_t lastWriteTime = 0;
  bool hidden = false;  // hidden or system: Windows' xcopy without /h passes it over
};

/// How a copy tool of the fake (see FakePlatform::copyTree) treats the files of a tree.
struct FakeCopyTool {
  bool onlyNewer = false;   // xcopy /d: only files missing from the copy or newer in the source
  bool skipHidden = false;  // Windows' xcopy without /h
  /// Source paths whose copy the tool leaves at the given length, with the source's time (the
  /// shell copy on a full disk).
  std::map<std::string, size_t> truncated;
};

struct FakeRegistryValue {
  uint32_t type = 1;
  std::string data;  // raw bytes
};

/// What a started process does in the fake.
struct FakeProcessScript {
  bool failToStart = false;
  int64_t runsForMs = 0;  // < 0: never ends
  uint32_t exitCode = 0;
  std::function<void()> onStart;  // side effects, for instance files that a copy makes
};

struct StartedCommand {
  std::string applicationName;
  std::string commandLine;
  int showWindow = 0;
  std::string currentFolder;  // the folder current when it was started
};

class FakePlatform : public Platform {
 public:
  FakePlatform();

  std::string commandLine() override { return commandLineText; }
  std::string programFolder() override { return programFolderPath; }
  std::string systemFolder() override { return systemFolderPath; }

  LocalTime localTime() override { return now; }
  std::string shortDateText(const LocalTime& t) override;
  std::string longTimeText(const LocalTime& t) override;
  int64_t wallClockSeconds() override { return clockMs / 1000; }

  /// The fake's ANSI code page is Windows-1252.
  std::string ansiFromUtf16(const std::u16string& text) override;
  std::u16string utf16FromAnsi(const std::string& text) override;

  void showMessage(const std::string& text) override;

  bool folderExists(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  bool driveExists(const std::string& path) override;
  void createFolder(const std::string& path) override;
  std::unique_ptr<TextStream> openForAppend(const std::string& path) override;
  std::string readFile(const std::string& path) override;

  // The fake keeps names in UTF-8, also those passed to its single-byte functions.
  std::u16string longPathOf(const std::string& path) override;
  std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) override;
  std::optional<FolderEntry> entryAt(const std::u16string& path) override;
  void copyFile(const std::u16string& from, const std::u16string& to) override;
  void createFolder(const std::u16string& path) override;
  /// Runs the work at once: the fake has one thread, and the work sees what was there before
  /// the caller goes on, the earliest it could.
  std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) override;
  /// Letter case of ASCII, Latin-1, Greek and Cyrillic ignored.
  int compareNames(const std::u16string& a, const std::u16string& b) override;
  std::string readFileTail(const std::string& path, size_t size) override;
  void deleteFile(const std::string& path) override;
  std::optional<FolderIdentity> folderIdentity(const std::u16string& path) override;
  std::string fullPath(const std::string& path) override;

  std::string userProfileFolder() override { return profileFolder; }

  /// Below HKLM\SOFTWARE the 32-bit view reads HKLM\SOFTWARE\Wow6432Node; other keys are
  /// shared by both views.
  std::optional<RegistryKey> regOpenKey(RegistryRoot root, const std::string& subKey,
                                        RegistryView view) override;
  /// The types are stored as their Win32 numbers: 1 text, 2 expandable text, 3 bytes, 4
  /// integer, 7 multiple texts; any other number reads as RegistryType::other.
  RegistryRead regQueryValue(RegistryKey key, const std::string& valueName, RegistryType& type,
                             uint8_t* data, uint32_t& dataSize) override;
  void regCloseKey(RegistryKey key) noexcept override;

  ProcessToken startProcess(const std::string& applicationName, const std::string& commandLine,
                            int showWindow) override;
  WaitResult waitForProcess(ProcessToken process, int milliseconds) override;
  std::optional<uint32_t> processExitCode(ProcessToken process) override;
  void closeProcess(ProcessToken process) noexcept override;
  void yieldToMessages() override { ++yields; }

  void changeDrive(const std::string& text) override;
  void changeFolder(const std::string& path) override;

  /// Recorded as the system is handed it: the lists, NULs shown as "|", and the number of the
  /// flags.
  ShellCopyResult shellCopy(const std::string& from, const std::string& to,
                            ShellCopyOptions options) override;

  // Helpers for tests.
  /// Adds a file and every folder above it.
  void addFile(const std::string& path, const std::string& content, int64_t lastWriteTime = 0);
  /// Adds a folder and every folder above it.
  void addFolder(const std::string& path);
  std::string fileContent(const std::string& path) const;
  /// Copies the files and folders below from into to as tool says; the copies keep their times.
  void copyTree(const std::string& from, const std::string& to, const FakeCopyTool& tool = {});
  /// The lines of a file, split at CR LF.
  std::vector<std::string> fileLines(const std::string& path) const;
  void setRegistryValue(const std::string& keyPath, const std::string& name, uint32_t type,
                        const std::string& data);

  // Configuration.
  std::string commandLineText = "veskbackup.exe";
  std::string programFolderPath = "C:\\Tools";
  std::string systemFolderPath = "C:\\windows\\system32";
  LocalTime now{2026, 12, 7, 14, 5, 9};
  int64_t clockMs = 1'000'000;
  std::string profileFolder = "C:\\users\\tester";
  std::set<char> drives{'C'};
  std::set<std::string, CaseInsensitiveLess> folders;
  std::map<std::string, FakeFile, CaseInsensitiveLess> files;
  std::set<std::string, CaseInsensitiveLess> unreadable;    // readFile and openForAppend fail
  std::set<std::string, CaseInsensitiveLess> failCreating;  // createFolder fails
  /// Source paths whose copyFile fails as on a full disk, leaving the given number of bytes.
  std::map<std::string, size_t, CaseInsensitiveLess> copyFailsAfter;
  int64_t copyTime = 0;  // when set, copies that fail are left with this last-write time
  std::set<std::string, CaseInsensitiveLess> undeletable;  // deleteFile fails
  /// Another name for a folder, as a subst drive, a mapped share or a junction gives one: a
  /// path beginning with the alias ("E:", "C:\App\link") names the same as the folder.
  std::map<std::string, std::string, CaseInsensitiveLess> aliases;
  bool failLogWrites = false;  // writeLine of every open stream fails
  std::map<std::string, std::map<std::string, FakeRegistryValue>, CaseInsensitiveLess> registry;
  std::vector<FakeProcessScript> processScripts;  // one per startProcess, in order; default ends
  ShellCopyResult shellCopyResult;
  std::function<void()> onShellCopy;

  // Record of what the code did.
  std::vector<std::string> messages;
  std::vector<std::string> foldersCreated;
  std::vector<StartedCommand> commandsStarted;
  std::vector<std::string> driveAndFolderChanges;  // "drive X", "folder P"
  std::vector<std::string> shellCopies;            // "C:\\App\\*|| -> D:\\Backup\\|| flags 1552"
  std::vector<std::string> filesCopied;            // by copyFile: the source paths
  std::string currentFolder = "C:\\Tools";
  int yields = 0;
  int openRegistryKeys = 0;
  int registryQueries = 0;
  int openProcesses = 0;
  std::function<void(const std::string&)> onMessage;  // runs inside showMessage

 private:
  struct Process {
    FakeProcessScript script;
    int64_t startedAtMs = 0;
    bool open = true;
  };
  /// The path with its "." and ".." levels and its aliases resolved.
  std::string resolved(const std::string& path) const;

  std::vector<Process> processes_;
  std::vector<std::string> openKeys_;
  std::map<std::string, uint64_t, CaseInsensitiveLess> folderIndexes_;
};

}  // namespace vesk
