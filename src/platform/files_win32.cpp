// The Win32 layer: files and folders, the run log's stream, and the trees, which the "W"
// functions take in the "\\?\" form.

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/win32_platform.h"

namespace vesk::win32 {
namespace {

// The longest path the wide-character functions take, in the "\\?\" form.
constexpr DWORD longPathLimit = 32767;

// char16_t and wchar_t are both UTF-16 code units on Windows.
const wchar_t* wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
wchar_t* wide(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }

FolderEntry entryOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written) {
  FolderEntry entry;
  entry.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!entry.isFolder) entry.size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  entry.lastWriteTime = static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) |
                                             written.dwLowDateTime);
  return entry;
}

struct FindCloser {
  void operator()(HANDLE find) const noexcept { FindClose(find); }
};

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

bool Win32Platform::folderExists(const std::string& path) {
  if (path.empty() || hasNul(path)) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::fileExists(const std::string& path) {
  if (path.empty() || hasNul(path)) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::driveExists(const std::string& path) {
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

void Win32Platform::createFolder(const std::string& path) {
  checkPathText(path);
  if (!CreateDirectoryA(path.c_str(), nullptr)) throwPathFailure(GetLastError());
}

std::unique_ptr<TextStream> Win32Platform::openForAppend(const std::string& path) {
  checkPathText(path);
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file.
  HANDLE file =
      CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throwPathFailure(GetLastError());
  return std::make_unique<AppendStream>(file);
}

std::string Win32Platform::readFile(const std::string& path) {
  checkPathText(path);
  Handle file =
      ownedHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw fileSystemFailure(GetLastError());
  std::string content;
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

std::u16string Win32Platform::longPathOf(const std::string& path) {
  if (path.empty() || hasNul(path)) return u"";
  std::u16string given = utf16FromAnsi(path);
  if (given.empty()) return u"";
  if (given.rfind(u"\\\\?\\", 0) == 0) return given;
  DWORD size = GetFullPathNameW(wide(given), 0, nullptr, nullptr);
  if (size == 0 || size > longPathLimit) return u"";
  std::u16string full(size, u'\0');
  DWORD length = GetFullPathNameW(wide(given), size, wide(full), nullptr);
  if (length == 0 || length >= size) return u"";
  full.resize(length);
  while (full.size() > 3 && full.back() == u'\\') full.pop_back();
  if (full.rfind(u"\\\\", 0) == 0) return u"\\\\?\\UNC\\" + full.substr(2);
  return u"\\\\?\\" + full;
}

std::optional<std::vector<FolderEntry>> Win32Platform::listFolder(const std::u16string& path) {
  if (path.empty() || path.find(u'\0') != std::u16string::npos) return std::nullopt;
  // Wildcards would list other folders' entries; no folder's name holds one.
  size_t start = path.rfind(u"\\\\?\\", 0) == 0 ? 4 : 0;
  if (path.find_first_of(u"*?", start) != std::u16string::npos) return std::nullopt;
  std::u16string pattern = path;
  if (pattern.back() != u'\\') pattern += u'\\';
  pattern += u'*';

  // The basic information (no short names) in large batches: the cheapest listing there is.
  WIN32_FIND_DATAW data;
  Owned find(FindFirstFileExW(wide(pattern), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH),
             INVALID_HANDLE_VALUE, FindCloser{});
  if (!find.valid()) {
    // A drive root has no "." entry: an empty root lists as "no file found".
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {
      DWORD attributes = GetFileAttributesW(wide(path));
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::vector<FolderEntry>{};
    }
    return std::nullopt;
  }
  std::vector<FolderEntry> entries;
  do {
    const auto* name = reinterpret_cast<const char16_t*>(data.cFileName);
    if (name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0))) continue;
    entries.push_back(entryOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                              data.ftLastWriteTime));
    entries.back().name = name;
  } while (FindNextFileW(find.get(), &data));
  // A listing cut short must not pass for the whole folder.
  if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
  return entries;
}

std::optional<FolderEntry> Win32Platform::entryAt(const std::u16string& path) {
  if (path.empty() || path.find(u'\0') != std::u16string::npos) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data)) return std::nullopt;
  return entryOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                 data.ftLastWriteTime);
}

void Win32Platform::copyFile(const std::u16string& from, const std::u16string& to) {
  if (from.find(u'\0') != std::u16string::npos || to.find(u'\0') != std::u16string::npos)
    throw fileSystemFailure(ERROR_INVALID_NAME);
  if (CopyFileW(wide(from), wide(to), FALSE)) return;
  DWORD code = GetLastError();
  // The copy tools keep attributes: an earlier copy may be read-only or hidden, which the
  // system refuses to replace.
  constexpr DWORD guarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  DWORD attributes = GetFileAttributesW(wide(to));
  if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & guarded) &&
      SetFileAttributesW(wide(to), attributes & ~guarded)) {
    if (CopyFileW(wide(from), wide(to), FALSE)) return;
    code = GetLastError();
    SetFileAttributesW(wide(to), attributes);
  }
  throw fileSystemFailure(code);
}

void Win32Platform::createFolder(const std::u16string& path) {
  if (path.find(u'\0') != std::u16string::npos) throw fileSystemFailure(ERROR_INVALID_NAME);
  if (!CreateDirectoryW(wide(path), nullptr)) throwPathFailure(GetLastError());
}

std::optional<FolderIdentity> Win32Platform::folderIdentity(const std::u16string& path) {
  if (path.empty() || path.find(u'\0') != std::u16string::npos) return std::nullopt;
  // No access right is asked for: the identity is readable also where the folder is not.
  Handle folder =
      ownedHandle(CreateFileW(wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!folder.valid() || !GetFileInformationByHandle(folder.get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  // Some network file systems give every file the index 0: that names no folder.
  if (index == 0) return std::nullopt;
  return FolderIdentity{info.dwVolumeSerialNumber, index};
}

int Win32Platform::compareNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return a.compare(b);
  int result = CompareStringOrdinal(wide(a), static_cast<int>(a.size()), wide(b),
                                    static_cast<int>(b.size()), TRUE);
  return result == 0 ? a.compare(b) : result - CSTR_EQUAL;
}

std::string Win32Platform::readFileTail(const std::string& path, size_t size) {
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

void Win32Platform::deleteFile(const std::string& path) {
  checkPathText(path);
  if (DeleteFileA(path.c_str())) return;
  DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return;
  throw fileSystemFailure(code);
}

std::string Win32Platform::fullPath(const std::string& path) {
  if (path.empty() || hasNul(path)) return path;
  std::u16string wide = utf16FromAnsi(path);
  const auto* in = reinterpret_cast<const wchar_t*>(wide.c_str());
  DWORD size = GetFullPathNameW(in, 0, nullptr, nullptr);
  if (size == 0) return path;
  std::u16string full(size, u'\0');
  DWORD length = GetFullPathNameW(in, size, reinterpret_cast<wchar_t*>(full.data()), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return ansiFromUtf16(full);
}

}  // namespace vesk::win32
