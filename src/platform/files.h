#pragma once

// Files by their path in the ANSI code page: what the run reads and writes whole (the settings
// files, the run log, the database client's output) and the folders it tests and creates.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vesk {

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

/// Operations that fail throw Failure (see fileSystemFailure).
class Files {
 public:
  virtual ~Files() = default;

  virtual bool folderExists(const std::string& path) = 0;
  virtual bool fileExists(const std::string& path) = 0;
  /// True when the drive of a full path exists (for a share: its root).
  virtual bool driveExists(const std::string& path) = 0;
  /// Creates one folder level; its parent must exist.
  virtual void createFolder(const std::string& path) = 0;
  /// Opens a text file for appending, creating it when missing, shared for reading and
  /// writing with other processes.
  virtual std::unique_ptr<TextStream> openForAppend(const std::string& path) = 0;
  /// The whole content of a file, byte for byte.
  virtual std::string readFile(const std::string& path) = 0;
  /// The whole content of a file of at most limit bytes; nothing, without reading it, when it
  /// holds more. A file that another program holds open without sharing is tried again for a
  /// while (half a second); then the failure has FileCause::inUse.
  virtual std::optional<std::string> readFileWithin(const std::string& path, uint64_t limit) = 0;
  /// The last bytes of a file, up to size of them.
  virtual std::string readFileTail(const std::string& path, size_t size) = 0;
  /// Removes a file; a file that is not there is no failure. Throws otherwise (a file held
  /// open by another program, a read-only file).
  virtual void deleteFile(const std::string& path) = 0;
  /// The path in its full form: "." and ".." resolved, "/" as "\", relative to the current
  /// drive and folder. The path unchanged when it has no full form.
  virtual std::string fullPath(const std::string& path) = 0;
  /// Replaces the file at path by content in one step: content is written whole to a file
  /// beside it (path and ".tmp"), flushed to the disk and then moved over path, so that a reader
  /// finds the old file or the new one, never a part. A move that a reader holding the file
  /// prevents is tried again for a while. Throws on a failure, which leaves the old file as it
  /// was and removes the one beside it.
  virtual void replaceFile(const std::string& path, const std::string& content) = 0;
};

}  // namespace vesk
