// The fake of files: every path goes through the file system's keys.

#include "fake/fake_files.h"

#include <algorithm>
#include <cctype>

#include "platform/failure.h"

namespace vesk {

class FakeStream : public TextStream {
 public:
  FakeStream(FakeFiles& files, std::string key) : files_(files), key_(std::move(key)) {}
  void writeLine(const std::string& text) override {
    if (closed_) throw Failure(Fault::badFileName);
    if (files_.failLogWrites) throw Failure(Fault::diskFull);
    files_.disk().files[key_].content += text + "\r\n";
  }
  void close() noexcept override { closed_ = true; }

 private:
  FakeFiles& files_;
  std::string key_;
  bool closed_ = false;
};

bool FakeFiles::folderExists(const std::string& path) {
  return disk().folderAt(disk().keyOf(path));
}

bool FakeFiles::fileExists(const std::string& path) {
  return disk().files.count(disk().keyOf(path)) > 0;
}

bool FakeFiles::driveExists(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         disk().drives.count(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
}

void FakeFiles::createFolder(const std::string& path) { disk().createFolderAt(disk().keyOf(path)); }

std::unique_ptr<TextStream> FakeFiles::openForAppend(const std::string& path) {
  const std::string key = disk().keyOf(path);
  if (disk().unreadable.count(key)) throw Failure(Fault::permissionDenied);
  if (!disk().folderAt(FakeFileSystem::parentKey(key))) throw Failure(Fault::pathNotFound);
  disk().files[key];  // created when missing
  return std::make_unique<FakeStream>(*this, key);
}

std::string FakeFiles::readFile(const std::string& path) {
  const std::string key = disk().keyOf(path);
  filesRead.push_back(path);
  if (disk().unreadable.count(key)) throw Failure(Fault::permissionDenied);
  auto it = disk().files.find(key);
  if (it == disk().files.end()) throw Failure(Fault::fileNotFound);
  return it->second.content;
}

std::optional<std::string> FakeFiles::readFileWithin(const std::string& path, uint64_t limit) {
  const std::string key = disk().keyOf(path);
  // The files the fake holds open are held by another program, as the Win32 layer reports it.
  if (disk().unreadable.count(key)) throw Failure(Fault::permissionDenied, {}, FileCause::inUse);
  auto it = disk().files.find(key);
  if (it == disk().files.end()) throw Failure(Fault::fileNotFound);
  auto size = sizes.find(key);
  if ((size != sizes.end() ? size->second : it->second.content.size()) > limit) return std::nullopt;
  filesRead.push_back(path);
  return it->second.content;
}

std::string FakeFiles::readFileTail(const std::string& path, size_t size) {
  std::string content = readFile(path);
  return content.substr(content.size() - std::min(size, content.size()));
}

void FakeFiles::deleteFile(const std::string& path) {
  const std::string key = disk().keyOf(path);
  if (undeletable.count(key)) throw Failure(Fault::permissionDenied);
  disk().files.erase(key);
}

std::string FakeFiles::fullPath(const std::string& path) { return disk().fullPathOf(path); }

void FakeFiles::replaceFile(const std::string& path, const std::string& content) {
  const std::string key = disk().keyOf(path);
  if (unreplaceable.count(key)) throw Failure(Fault::diskFull);
  if (!disk().folderAt(FakeFileSystem::parentKey(key))) throw Failure(Fault::pathNotFound);
  disk().files[key].content = content;
}

}  // namespace vesk
