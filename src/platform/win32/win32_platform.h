#pragma once

// The Win32 layer: one class per area of Platform over the Win32 "A" functions (and the "W"
// ones for trees), the helpers that several areas share, and makeWin32Platform, the layer's one
// way in. Each area defines its class in its own file (files_win32.cpp, trees_win32.cpp,
// processes_win32.cpp, registry_win32.cpp, desktop_win32.cpp, system_win32.cpp,
// event_log_win32.cpp). This is the only header that includes <windows.h>.

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/owned.h"
#include "platform/platform.h"

namespace vesk::win32 {

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
/// A kernel handle (file, process, access token), closed with CloseHandle.
using Handle = Owned<HANDLE, HandleCloser>;

/// Holds handle. CreateFile reports a failure with INVALID_HANDLE_VALUE, most other functions
/// with nullptr: both hold nothing.
inline Handle ownedHandle(HANDLE handle) noexcept {
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle, nullptr, HandleCloser{});
}

/// A text with a NUL inside would reach the system cut short, naming another file or key.
inline bool hasNul(const std::string& text) { return text.find('\0') != std::string::npos; }
inline bool hasNul(const std::u16string& text) { return text.find(u'\0') != std::u16string::npos; }

inline bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// char16_t and wchar_t are both UTF-16 code units on Windows.
inline const wchar_t* wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

/// The failure of a file-system operation that the system reported with code.
Failure fileSystemFailure(DWORD code);
/// What code tells of a file that could not be read or written, beyond its Fault.
FileCause fileCauseOf(DWORD code);

/// Throws Fault::badFileName for a path with a NUL inside.
void checkPathText(const std::string& path);

/// The failure of an operation on a folder, or on a file that it creates when missing: there a
/// missing file can only be a missing folder or drive, which Wine (for a missing drive) and
/// SetCurrentDirectoryA (for a missing folder) report as ERROR_FILE_NOT_FOUND.
[[noreturn]] void throwPathFailure(DWORD code);

/// text in the ANSI code page, without best fit: a character it lacks becomes "?".
std::string ansiFromUtf16(const std::u16string& text);
/// ANSI text as UTF-16.
std::u16string utf16FromAnsi(const std::string& text);

/// The full form of path (GetFullPathNameW); nothing when it has none.
std::optional<std::u16string> fullPathName(const std::u16string& path);

/// One RegQueryValueExA of a value into data, which holds size bytes; type and size as the call
/// leaves them.
using ValueQuery = std::function<LONG(DWORD& type, BYTE* data, DWORD& size)>;

/// The value that query reads: first into 1024 bytes, and when it is larger a second time into
/// exactly the size the first read reported. Nothing when the value is not there.
std::optional<RegistryData> valueInTwoReads(const ValueQuery& query);

class Win32Files final : public Files {
 public:
  bool folderExists(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  bool driveExists(const std::string& path) override;
  void createFolder(const std::string& path) override;
  std::unique_ptr<TextStream> openForAppend(const std::string& path) override;
  std::string readFile(const std::string& path) override;
  std::optional<std::string> readFileWithin(const std::string& path, uint64_t limit) override;
  std::string readFileTail(const std::string& path, size_t size) override;
  void deleteFile(const std::string& path) override;
  std::string fullPath(const std::string& path) override;
  void replaceFile(const std::string& path, const std::string& content) override;
};

class Win32Trees final : public Trees {
 public:
  std::u16string longPathOf(const std::string& path) override;
  std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) override;
  std::optional<FolderEntry> entryAt(const std::u16string& path) override;
  void copyFile(const std::u16string& from, const std::u16string& to) override;
  void createFolder(const std::u16string& path) override;
  std::optional<FolderIdentity> folderIdentity(const std::u16string& path) override;
  int compareNames(const std::u16string& a, const std::u16string& b) override;
  std::optional<VolumeFacts> volumeOf(const std::u16string& path) override;
  std::optional<bool> sameContent(const std::u16string& a, const std::u16string& b) override;
  std::unique_ptr<FolderLister> listerAhead() override;
  std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) override;
};

class Win32Processes final : public Processes {
 public:
  StartedProcess startProcess(const ProcessStart& start) override;
  WaitResult waitForProcess(ProcessToken process, int milliseconds) override;
  std::optional<uint32_t> processExitCode(ProcessToken process) override;
  void closeProcess(ProcessToken process) noexcept override;
  std::optional<ProcessToken> openProcess(uint32_t processId, uint64_t creationTime) override;
  std::optional<std::string> programOf(ProcessToken process) override;
  void yieldToMessages() override;
  int64_t wallClockSeconds() override;
  void changeDrive(const std::string& text) override;
  void changeFolder(const std::string& path) override;
};

class Win32Registry final : public Registry {
 public:
  std::optional<RegistryKey> openKey(RegistryRoot root, const std::string& subKey,
                                     RegistryView view) override;
  std::optional<RegistryData> readValue(RegistryKey key, const std::string& name) override;
  void closeKey(RegistryKey key) noexcept override;
};

class Win32Desktop final : public Desktop {
 public:
  void showMessage(const std::string& text) override;
  ShellCopyResult shellCopy(const std::string& from, const std::string& to,
                            ShellCopyOptions options) override;
};

class Win32System final : public System {
 public:
  std::string commandLine() override;
  std::string programPath() override;
  std::string programFolder() override;
  std::optional<std::string> environmentVariable(const std::string& name) override;
  std::string systemFolder() override;
  LocalTime localTime() override;
  ZonedTime zonedTime() override;
  std::string shortDateText(const LocalTime& t) override;
  std::string longTimeText(const LocalTime& t) override;
  std::string ansiFromUtf16(const std::u16string& text) override;
  std::u16string utf16FromAnsi(const std::string& text) override;
  void onCrash(int exitStatus, std::function<std::string(const Crash&)> record) override;
  std::string computerName() override;
  std::string accountName() override;
  std::string userProfileFolder() override;
};

class Win32EventLog final : public EventLog {
 public:
  void writeEntry(EventLevel level, uint16_t eventId,
                  const std::vector<std::string>& texts) override;
};

/// The areas of the Win32 layer, held together for as long as the run uses them.
class Win32Platform {
 public:
  Platform platform() {
    return {files_, trees_, processes_, registry_, desktop_, system_, eventLog_};
  }

 private:
  Win32Files files_;
  Win32Trees trees_;
  Win32Processes processes_;
  Win32Registry registry_;
  Win32Desktop desktop_;
  Win32System system_;
  Win32EventLog eventLog_;
};

std::unique_ptr<Win32Platform> makeWin32Platform();

}  // namespace vesk::win32
