// The Win32 layer: trees by the wide-character functions, which take paths in the "\\?\"
// form, and work on a second thread.

#include <algorithm>
#include <climits>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/folder_lister.h"
#include "platform/win32/win32_platform.h"

namespace vesk::win32 {
namespace {

// The longest path the wide-character functions take, in the "\\?\" form.
constexpr size_t longPathLimit = 32767;

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

/// Reads into buffer until it is full or the file ends; the bytes read, or nothing on a failure.
std::optional<size_t> readUpTo(HANDLE file, std::vector<char>& buffer) {
  size_t filled = 0;
  while (filled < buffer.size()) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data() + filled, static_cast<DWORD>(buffer.size() - filled), &got,
                  nullptr))
      return std::nullopt;
    if (got == 0) break;
    filled += got;
  }
  return filled;
}

struct WorkThread final : BackgroundWork {
  ~WorkThread() override { wait(); }
  void wait() override {
    if (thread.joinable()) thread.join();
  }
  std::thread thread;
};

}  // namespace

std::u16string Win32Trees::longPathOf(const std::string& path) {
  if (path.empty() || hasNul(path)) return u"";
  std::u16string given = utf16FromAnsi(path);
  if (given.empty()) return u"";
  if (given.rfind(u"\\\\?\\", 0) == 0) return given;
  std::optional<std::u16string> full = fullPathName(given);
  if (!full || full->size() >= longPathLimit) return u"";
  while (full->size() > 3 && full->back() == u'\\') full->pop_back();
  if (full->rfind(u"\\\\", 0) == 0) return u"\\\\?\\UNC\\" + full->substr(2);
  return u"\\\\?\\" + *full;
}

std::optional<std::vector<FolderEntry>> Win32Trees::listFolder(const std::u16string& path) {
  if (path.empty() || hasNul(path)) return std::nullopt;
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

std::optional<FolderEntry> Win32Trees::entryAt(const std::u16string& path) {
  if (path.empty() || hasNul(path)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data)) return std::nullopt;
  return entryOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                 data.ftLastWriteTime);
}

void Win32Trees::copyFile(const std::u16string& from, const std::u16string& to) {
  if (hasNul(from) || hasNul(to)) throw fileSystemFailure(ERROR_INVALID_NAME);
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

void Win32Trees::createFolder(const std::u16string& path) {
  if (hasNul(path)) throw fileSystemFailure(ERROR_INVALID_NAME);
  if (!CreateDirectoryW(wide(path), nullptr)) throwPathFailure(GetLastError());
}

std::optional<FolderIdentity> Win32Trees::folderIdentity(const std::u16string& path) {
  if (path.empty() || hasNul(path)) return std::nullopt;
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

int Win32Trees::compareNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return a.compare(b);
  int result = CompareStringOrdinal(wide(a), static_cast<int>(a.size()), wide(b),
                                    static_cast<int>(b.size()), TRUE);
  return result == 0 ? a.compare(b) : result - CSTR_EQUAL;
}

std::optional<VolumeFacts> Win32Trees::volumeOf(const std::u16string& path) {
  if (path.empty() || hasNul(path)) return std::nullopt;
  // The root of the volume that holds the path, also of one mounted on a folder.
  std::vector<wchar_t> root(path.size() + 2);
  if (!GetVolumePathNameW(wide(path), root.data(), static_cast<DWORD>(root.size())))
    return std::nullopt;
  VolumeFacts facts;
  wchar_t name[MAX_PATH + 1] = {};
  if (GetVolumeInformationW(root.data(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1))
    facts.fileSystem = ansiFromUtf16(reinterpret_cast<const char16_t*>(name));
  facts.network = path.rfind(u"\\\\?\\UNC\\", 0) == 0 || GetDriveTypeW(root.data()) == DRIVE_REMOTE;
  return facts;
}

std::optional<bool> Win32Trees::sameContent(const std::u16string& a, const std::u16string& b) {
  if (a.empty() || b.empty() || hasNul(a) || hasNul(b)) return std::nullopt;
  auto open = [](const std::u16string& path) {
    return ownedHandle(CreateFileW(wide(path), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  };
  Handle first = open(a), second = open(b);
  if (!first.valid() || !second.valid()) return std::nullopt;
  constexpr size_t chunk = 1 << 20;
  std::vector<char> one(chunk), two(chunk);
  for (;;) {
    std::optional<size_t> gotOne = readUpTo(first.get(), one);
    std::optional<size_t> gotTwo = readUpTo(second.get(), two);
    if (!gotOne || !gotTwo) return std::nullopt;
    if (*gotOne != *gotTwo || !std::equal(one.begin(), one.begin() + *gotOne, two.begin()))
      return false;
    if (*gotOne < chunk) return true;
  }
}

std::unique_ptr<FolderLister> Win32Trees::listerAhead() {
  // A listing waits mostly on the system's answers (under Wine, on its one server process):
  // two in flight beside the walk's own roughly halve a walk of many small folders; more gain
  // nothing on two processors and cost each thread's memory.
  return std::make_unique<FolderLister>(
      [this](const std::u16string& path) { return listFolder(path); }, 2);
}

std::unique_ptr<BackgroundWork> Win32Trees::startAlongside(std::function<void()> work) {
  auto thread = std::make_unique<WorkThread>();
  try {
    thread->thread = std::thread(work);  // a copy: work is still whole if this throws
  } catch (const std::system_error&) {
    work();  // no thread to be had: the work is done before the caller goes on
  }
  return thread;
}

}  // namespace vesk::win32
