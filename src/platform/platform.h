#pragma once

// Everything the run asks of the operating system. The Win32 implementation (the
// src/platform/*_win32.cpp files, one per area) is the only code that includes <windows.h>;
// unit tests use the in-memory fake in tests/fake_platform.h. Texts are single-byte, in the
// ANSI code page.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

struct LocalTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

/// An open run log. Each line is written by one append, so two runs sharing a log interleave
/// whole lines.
class TextStream {
 public:
  virtual ~TextStream() = default;
  /// Appends text and CR LF; throws Failure.
  virtual void writeLine(const std::string& text) = 0;
  /// Flushes and closes; a second close does nothing.
  virtual void close() noexcept = 0;
};

enum class WaitResult { ended, stillRunning, failed };

/// Work that runs beside the caller (see Platform::startAlongside). Destroying it waits for
/// its end.
class BackgroundWork {
 public:
  virtual ~BackgroundWork() = default;
  /// Returns once the work has ended; a second call returns at once.
  virtual void wait() = 0;
};

/// Opaque token of a started process, valid until closeProcess.
using ProcessToken = uint64_t;
/// Opaque registry key handle as regOpenKey hands it out; never 0.
using RegistryKey = uint64_t;

/// The root keys that the registry is read below: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
enum class RegistryRoot { localMachine, currentUser };

/// Which registry a key is opened in on 64-bit Windows: the view of 32-bit programs
/// (HKLM\SOFTWARE\Wow6432Node, where 32-bit set-up programs register) or that of 64-bit ones.
/// Keys that both share, such as those below HKEY_CURRENT_USER, read alike in both.
enum class RegistryView { view32, view64 };

/// How a read of a registry value went: read whole, too large for the buffer, not there, or
/// not readable (a name the system cannot take, access denied).
enum class RegistryRead { ok, moreData, missing, failed };

/// The type that a registry value is stored with: a text (REG_SZ), a text with %variables%
/// (REG_EXPAND_SZ), NUL-separated texts (REG_MULTI_SZ), a 32-bit integer (REG_DWORD), bytes
/// (REG_BINARY), or any other type.
enum class RegistryType { text, expandableText, multiText, integer, bytes, other };

/// What the shell copy may do without asking anyone. An unattended copy sets all three: it must
/// never wait for a person, and its errors show in its result instead of in a dialog.
struct ShellCopyOptions {
  bool replaceWithoutAsking = false;        // files that are there already
  bool createFoldersWithoutAsking = false;  // folders that are missing
  bool noErrorDialog = false;
};

struct ShellCopyResult {
  int returnCode = 0;
  bool anyOperationsAborted = false;
};

/// What a folder is to the file system, whatever the path it was reached by: the volume's serial
/// number and the folder's index on it.
struct FolderIdentity {
  uint32_t volumeSerial = 0;
  uint64_t fileIndex = 0;
  bool operator==(const FolderIdentity&) const = default;
  bool operator<(const FolderIdentity& other) const {
    return volumeSerial != other.volumeSerial ? volumeSerial < other.volumeSerial
                                              : fileIndex < other.fileIndex;
  }
};

/// One entry of a folder listing, or what is known of one file or folder.
struct FolderEntry {
  std::u16string name;
  bool isFolder = false;
  bool isLink = false;        // a junction or symbolic link (a reparse point)
  uint64_t size = 0;          // bytes; 0 for a folder
  int64_t lastWriteTime = 0;  // 100-ns intervals since 1601-01-01 UTC
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Program and command line.
  /// The whole command line, the program's own name included (GetCommandLineA).
  virtual std::string commandLine() = 0;
  /// Folder holding the program file, without a trailing backslash.
  virtual std::string programFolder() = 0;
  /// The system folder (GetSystemDirectoryA), without a trailing backslash.
  virtual std::string systemFolder() = 0;

  // Time.
  virtual LocalTime localTime() = 0;
  /// The user's short date form of t.
  virtual std::string shortDateText(const LocalTime& t) = 0;
  /// The user's long time form of t, with seconds.
  virtual std::string longTimeText(const LocalTime& t) = 0;
  /// Wall clock in whole seconds.
  virtual int64_t wallClockSeconds() = 0;

  // Text. The ANSI code page is the one the system uses for the "A" functions.
  /// text in the ANSI code page; a character that it cannot show becomes "?".
  virtual std::string ansiFromUtf16(const std::u16string& text) = 0;
  /// ANSI text as UTF-16.
  virtual std::u16string utf16FromAnsi(const std::string& text) = 0;

  /// A modal box with the text, an OK button, no icon and the program's title as caption.
  /// Returns at once, as if OK had been pressed, when nobody can see the desktop.
  virtual void showMessage(const std::string& text) = 0;

  // File system. Operations that fail throw Failure (see fileSystemFailure).
  virtual bool folderExists(const std::string& path) = 0;
  virtual bool fileExists(const std::string& path) = 0;
  /// True when the drive of a full path exists.
  virtual bool driveExists(const std::string& path) = 0;
  /// Creates one folder level; its parent must exist.
  virtual void createFolder(const std::string& path) = 0;
  /// Opens a text file for appending, creating it when missing, shared for reading and
  /// writing with other processes.
  virtual std::unique_ptr<TextStream> openForAppend(const std::string& path) = 0;
  /// The whole content of a file, byte for byte.
  virtual std::string readFile(const std::string& path) = 0;

  // Trees, in UTF-16, so that every name the file system holds is seen as itself. The paths
  // are those that longPathOf returns, with names joined by "\\"; they may be up to 32,767
  // characters long. Every function here may be called from two threads at once.
  /// path in the form the functions below take (for a local path "\\?\" and the full path);
  /// empty when it cannot have that form (too long, or not a path).
  virtual std::u16string longPathOf(const std::string& path) = 0;
  /// The entries of a folder (not "." and ".."), or nothing when it cannot be listed.
  virtual std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) = 0;
  /// What is at path (its name left empty), or nothing when there is nothing there.
  virtual std::optional<FolderEntry> entryAt(const std::u16string& path) = 0;
  /// Copies a file with its last-write time and attributes, replacing a file at to (also a
  /// read-only or hidden one). Throws Failure.
  virtual void copyFile(const std::u16string& from, const std::u16string& to) = 0;
  /// Creates one folder level; its parent must exist. Throws Failure.
  virtual void createFolder(const std::u16string& path) = 0;
  /// The identity of an existing folder, through drive aliases, links and ".." alike; nothing
  /// when it cannot be opened or its file system gives no index.
  virtual std::optional<FolderIdentity> folderIdentity(const std::u16string& path) = 0;
  /// Starts work on a second thread, or runs it at once where there is none (the work then
  /// ends before this returns). The work must not throw.
  virtual std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) = 0;
  /// Compares two names as the file system does: code unit by code unit, letter case ignored.
  /// Negative, zero or positive, as a comes before, equals or follows b.
  virtual int compareNames(const std::u16string& a, const std::u16string& b) = 0;
  /// The last bytes of a file, up to size of them; throws Failure when it cannot be read.
  virtual std::string readFileTail(const std::string& path, size_t size) = 0;
  /// Removes a file; a file that is not there is no failure. Throws Failure otherwise (a file
  /// held open by another program, a read-only file).
  virtual void deleteFile(const std::string& path) = 0;
  /// The path in its full form (GetFullPathNameW): "." and ".." resolved, "/" as "\", relative
  /// to the current drive and folder. The path unchanged when it has no full form.
  virtual std::string fullPath(const std::string& path) = 0;

  /// The current user's profile folder, as the platform writes it (it may hold NULs after the
  /// path); empty when it is not available.
  virtual std::string userProfileFolder() = 0;

  // Registry.
  /// Opens a key for reading in the given view; nothing when the key is not there or cannot be
  /// opened (also for a root that is no RegistryRoot).
  virtual std::optional<RegistryKey> regOpenKey(RegistryRoot root, const std::string& subKey,
                                                RegistryView view) = 0;
  /// Reads a value into data, which holds dataSize bytes. With ok, type and dataSize tell what
  /// was read; with moreData, the type and the size that the value needs (nothing was read);
  /// with missing or failed, both stay as the caller set them.
  virtual RegistryRead regQueryValue(RegistryKey key, const std::string& valueName,
                                     RegistryType& type, uint8_t* data, uint32_t& dataSize) = 0;
  virtual void regCloseKey(RegistryKey key) noexcept = 0;

  // Processes.
  /// Starts commandLine; applicationName, when not empty, is the program to run. The child
  /// inherits the current drive and folder. Throws Failure when it cannot be started.
  virtual ProcessToken startProcess(const std::string& applicationName,
                                    const std::string& commandLine, int showWindow) = 0;
  virtual WaitResult waitForProcess(ProcessToken process, int milliseconds) = 0;
  /// The exit code of an ended process; nothing while it runs or when it cannot be read.
  virtual std::optional<uint32_t> processExitCode(ProcessToken process) = 0;
  virtual void closeProcess(ProcessToken process) noexcept = 0;
  /// Handles the program's pending window messages, then returns.
  virtual void yieldToMessages() = 0;

  // Current drive and folder; both throw Failure.
  /// Makes the drive of text (its first character) current.
  virtual void changeDrive(const std::string& text) = 0;
  virtual void changeFolder(const std::string& path) = 0;

  /// Copies what the pattern from names (a folder's path and "\\*": everything in it) into the
  /// folder to, by SHFileOperationA with FO_COPY, each path handed over as a list of one. Throws
  /// Failure "Bad file name or number" for a path with a NUL inside.
  virtual ShellCopyResult shellCopy(const std::string& from, const std::string& to,
                                    ShellCopyOptions options) = 0;
};

}  // namespace vesk
