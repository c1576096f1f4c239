#pragma once

// The Win32 layer's own header, included by its *_win32.cpp files only: the class that
// implements Platform over the Win32 "A" functions (and the "W" ones for trees), and the helpers
// that several of its areas share. Each area defines its member functions in its own file:
// files_win32.cpp, processes_win32.cpp, registry_win32.cpp and system_win32.cpp.

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

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

inline bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// The failure of a file-system operation that the system reported with code.
Failure fileSystemFailure(DWORD code);

/// Throws Fault::badFileName for a path with a NUL inside.
void checkPathText(const std::string& path);

/// The failure of an operation on a folder, or on a file that it creates when missing: there a
/// missing file can only be a missing folder or drive, which Wine (for a missing drive) and
/// SetCurrentDirectoryA (for a missing folder) report as ERROR_FILE_NOT_FOUND.
[[noreturn]] void throwPathFailure(DWORD code);

class Win32Platform final : public Platform {
 public:
  // system_win32.cpp
  std::string commandLine() override;
  std::string programFolder() override;
  std::string systemFolder() override;
  LocalTime localTime() override;
  std::string shortDateText(const LocalTime& t) override;
  std::string longTimeText(const LocalTime& t) override;
  int64_t wallClockSeconds() override;
  std::string ansiFromUtf16(const std::u16string& text) override;
  std::u16string utf16FromAnsi(const std::string& text) override;
  void showMessage(const std::string& text) override;
  std::string userProfileFolder() override;
  void changeDrive(const std::string& text) override;
  void changeFolder(const std::string& path) override;
  ShellCopyResult shellCopy(const std::string& from, const std::string& to,
                            ShellCopyOptions options) override;

  // files_win32.cpp
  bool folderExists(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  bool driveExists(const std::string& path) override;
  void createFolder(const std::string& path) override;
  std::unique_ptr<TextStream> openForAppend(const std::string& path) override;
  std::string readFile(const std::string& path) override;
  std::u16string longPathOf(const std::string& path) override;
  std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) override;
  std::optional<FolderEntry> entryAt(const std::u16string& path) override;
  void copyFile(const std::u16string& from, const std::u16string& to) override;
  void createFolder(const std::u16string& path) override;
  std::optional<FolderIdentity> folderIdentity(const std::u16string& path) override;
  int compareNames(const std::u16string& a, const std::u16string& b) override;
  std::string readFileTail(const std::string& path, size_t size) override;
  void deleteFile(const std::string& path) override;
  std::string fullPath(const std::string& path) override;

  // registry_win32.cpp
  std::optional<RegistryKey> regOpenKey(RegistryRoot root, const std::string& subKey,
                                        RegistryView view) override;
  RegistryRead regQueryValue(RegistryKey key, const std::string& valueName, RegistryType& type,
                             uint8_t* data, uint32_t& dataSize) override;
  void regCloseKey(RegistryKey key) noexcept override;

  // processes_win32.cpp
  ProcessToken startProcess(const std::string& applicationName, const std::string& commandLine,
                            int showWindow) override;
  WaitResult waitForProcess(ProcessToken process, int milliseconds) override;
  std::optional<uint32_t> processExitCode(ProcessToken process) override;
  void closeProcess(ProcessToken process) noexcept override;
  void yieldToMessages() override;
  std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) override;
};

}  // namespace vesk::win32
