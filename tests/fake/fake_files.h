#pragma once

// The fake of files by their ANSI path, over the simulated file system.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fake/fake_file_system.h"
#include "platform/files.h"

namespace vesk {

class FakeFiles : public Files {
 public:
  explicit FakeFiles(FakeFileSystem& disk) : disk_(disk) {}

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

 private:
  FakeFileSystem& disk() { return disk_; }
  FakeFileSystem& disk_;  // the file system the calls act on
  friend class FakeStream;
};

}  // namespace vesk
