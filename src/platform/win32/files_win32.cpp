// The Win32 layer: files and folders by their ANSI path, and the run log's stream.

#include <algorithm>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace vesk::win32 {
namespace {

class AppendStream : public TextStream {
 public:
  explicit AppendStream(HANDLE file) : file_(ownedHandle(file)) {}

  void writeLine(const std::string& text) override {
    if (!file_.valid()) throw Failure(Fault::badFileName);
    // One write per line on a handle opened for appending only: the system puts each write
    // whole at the current end of the file, so runs sharing a log interleave whole lines.
    std::string line = text + "\r\n";
    if (line.size() > MAXDWORD) throw fileSystemFailure(ERROR_INVALID_PARAMETER);
    DWORD written = 0;
    if (!WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
      throw fileSystemFailure(GetLastError());
    if (written != line.size()) throw fileSystemFailure(ERROR_DISK_FULL);
  }

  void close() noexcept override {
    if (!file_.valid()) return;
    // Every line is with the system once WriteFile returned; a flush that fails loses nothing
    // that a failure here could save.
    FlushFileBuffers(file_.get());
    file_.close();
  }

 private:
  Handle file_;
};

}  // namespace

bool Win32Files::folderExists(const std::string& path) {
  if (path.empty() || hasNul(path)) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::fileExists(const std::string& path) {
  if (path.empty() || hasNul(path)) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::driveExists(const std::string& path) {
  if (hasNul(path)) return false;
  if (path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':') {
    std::string root = path.substr(0, 2) + "\\";
    UINT type = GetDriveTypeA(root.c_str());
    return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
  }
  // A share: \\server\share stands for the drive.
  if (path.size() > 2 && (path[0] == '\\' || path[0] == '/') &&
      (path[1] == '\\' || path[1] == '/')) {
    size_t server = path.find_first_of("\\/", 2);
    if (server == std::string::npos || server == 2) return false;
    size_t share = path.find_first_of("\\/", server + 1);
    if (share == server + 1) return false;
    std::string root = path.substr(0, share == std::string::npos ? path.size() : share) + "\\";
    return folderExists(root);
  }
  return false;
}

void Win32Files::createFolder(const std::string& path) {
  checkPathText(path);
  if (!CreateDirectoryA(path.c_str(), nullptr)) throwPathFailure(GetLastError());
}

std::unique_ptr<TextStream> Win32Files::openForAppend(const std::string& path) {
  checkPathText(path);
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file.
  HANDLE file =
      CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throwPathFailure(GetLastError());
  return std::make_unique<AppendStream>(file);
}

std::string Win32Files::readFile(const std::string& path) {
  checkPathText(path);
  Handle file =
      ownedHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw fileSystemFailure(GetLastError());
  // Room for the whole file at once: grown by appending, a large file (xcopy's listing of a
  // full run) would briefly take up to three times its size.
  std::string content;
  LARGE_INTEGER length{};
  if (GetFileSizeEx(file.get(), &length) && length.QuadPart > 0 &&
      static_cast<uint64_t>(length.QuadPart) < content.max_size())
    content.reserve(static_cast<size_t>(length.QuadPart));
  std::vector<char> chunk(65536);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr))
      throw fileSystemFailure(GetLastError());
    if (got == 0) break;
    content.append(chunk.data(), got);
  }
  return content;
}

namespace {

// A reader that holds a file without sharing (a monitoring script, an editor) holds it briefly.
constexpr int openAttempts = 10;
constexpr DWORD openRetryMs = 50;

}  // namespace

std::optional<std::string> Win32Files::readFileWithin(const std::string& path, uint64_t limit) {
  checkPathText(path);
  HANDLE opened = INVALID_HANDLE_VALUE;
  for (int attempt = 1;; ++attempt) {
    opened = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened != INVALID_HANDLE_VALUE) break;
    const DWORD code = GetLastError();
    if (attempt == openAttempts || fileCauseOf(code) != FileCause::inUse)
      throw fileSystemFailure(code);
    Sleep(openRetryMs);
  }
  Handle file = ownedHandle(opened);
  // A file that is not on a disk (a device, a pipe) has no size to go by: it is not read.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) throw fileSystemFailure(ERROR_BAD_FILE_TYPE);
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file.get(), &length)) throw fileSystemFailure(GetLastError());
  if (length.QuadPart < 0 || static_cast<uint64_t>(length.QuadPart) > limit) return std::nullopt;
  std::string content(static_cast<size_t>(length.QuadPart), '\0');
  size_t got = 0;
  // Up to one byte past the size: a file that grew since is over the limit or read whole.
  for (;;) {
    if (got == content.size()) {
      if (content.size() > limit) return std::nullopt;
      content.resize(content.size() + 1);
    }
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(content.size() - got, 1 << 20));
    if (!ReadFile(file.get(), content.data() + got, wanted, &read, nullptr))
      throw fileSystemFailure(GetLastError());
    if (read == 0) break;
    got += read;
  }
  content.resize(got);
  return content;
}

std::string Win32Files::readFileTail(const std::string& path, size_t size) {
  checkPathText(path);
  Handle file = ownedHandle(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw fileSystemFailure(GetLastError());
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file.get(), &length)) throw fileSystemFailure(GetLastError());
  const uint64_t fileSize = static_cast<uint64_t>(length.QuadPart);
  const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>({size, fileSize, 65536}));
  LARGE_INTEGER from{};
  from.QuadPart = static_cast<LONGLONG>(fileSize - wanted);
  if (!SetFilePointerEx(file.get(), from, nullptr, FILE_BEGIN))
    throw fileSystemFailure(GetLastError());
  std::string tail(wanted, '\0');
  DWORD got = 0;
  if (wanted > 0 && !ReadFile(file.get(), tail.data(), wanted, &got, nullptr))
    throw fileSystemFailure(GetLastError());
  tail.resize(got);
  return tail;
}

void Win32Files::deleteFile(const std::string& path) {
  checkPathText(path);
  if (DeleteFileA(path.c_str())) return;
  DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return;
  throw fileSystemFailure(code);
}

std::string Win32Files::fullPath(const std::string& path) {
  if (path.empty() || hasNul(path)) return path;
  std::optional<std::u16string> full = fullPathName(utf16FromAnsi(path));
  return full ? ansiFromUtf16(*full) : path;
}

namespace {

// A reader holding the file (a monitoring script, the next run reading it) makes the move fail
// with ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION for as long as it holds it.
constexpr int moveAttempts = 20;
constexpr DWORD moveRetryMs = 25;

bool heldByAReader(DWORD code) {
  return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
         code == ERROR_LOCK_VIOLATION;
}

/// Writes content whole into a new file at path and flushes it to the disk; the code of what
/// failed, or ERROR_SUCCESS.
DWORD writeWhole(const std::u16string& path, const std::string& content) {
  Handle file = ownedHandle(CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return GetLastError();
  for (size_t at = 0; at < content.size();) {
    const DWORD size = static_cast<DWORD>(std::min<size_t>(content.size() - at, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file.get(), content.data() + at, size, &written, nullptr)) return GetLastError();
    // A disk that fills up during the write can report success for fewer bytes.
    if (written == 0) return ERROR_DISK_FULL;
    at += written;
  }
  // MOVEFILE_WRITE_THROUGH flushes only a move made as a copy; the data is flushed here.
  if (!FlushFileBuffers(file.get())) return GetLastError();
  return ERROR_SUCCESS;
}

}  // namespace

void Win32Files::replaceFile(const std::string& path, const std::string& content) {
  checkPathText(path);
  const std::u16string target = utf16FromAnsi(path);
  const std::u16string beside = target + u".tmp";
  DWORD code = writeWhole(beside, content);
  for (int attempt = 1; code == ERROR_SUCCESS; ++attempt) {
    if (MoveFileExW(wide(beside), wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return;
    code = GetLastError();
    if (attempt == moveAttempts || !heldByAReader(code)) break;
    code = ERROR_SUCCESS;
    Sleep(moveRetryMs);
  }
  DeleteFileW(wide(beside));
  throw fileSystemFailure(code);
}

}  // namespace vesk::win32
