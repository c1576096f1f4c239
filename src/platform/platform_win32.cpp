// The platform layer over the Win32 "A" functions: the one file of the program that includes
// <windows.h>. Texts are passed to and from the system in the ANSI code page.

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> first: the two headers below rely on its types.
#include <shellapi.h>
#include <userenv.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/failure.h"
#include "platform/platform_win32.h"

namespace vesk {
namespace {

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE h = nullptr) : handle_(h) {}
  ~OwnedHandle() { reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void reset() {
    if (valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : handle_(h) {}
  ~FindHandle() {
    if (valid()) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

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

/// A text with a NUL inside would reach the system cut short, naming another file or key.
bool hasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void checkPathText(const std::string& path) {
  if (hasNul(path)) throw fileSystemFailure(ERROR_INVALID_NAME);
}

/// The failure of an operation on a folder, or on a file that it creates when missing: there a
/// missing file can only be a missing folder or drive, which Wine (for a missing drive) and
/// SetCurrentDirectoryA (for a missing folder) report as ERROR_FILE_NOT_FOUND.
[[noreturn]] void throwPathFailure(DWORD code) {
  throw fileSystemFailure(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code);
}

/// A failure numbered with the Win32 code and described by the system's text for it.
[[noreturn]] void throwWin32Failure(DWORD code) {
  char* text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string description = text ? text : "system error " + std::to_string(code);
  LocalFree(text);
  while (!description.empty() &&
         (description.back() == '\r' || description.back() == '\n' || description.back() == ' '))
    description.pop_back();  // the system's texts end in ".\r\n"
  throw Failure(static_cast<int32_t>(code), description);
}

/// The SYSTEMTIME of t, with the day of the week filled in for user date forms that show it.
SYSTEMTIME toSystemTime(const LocalTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  FILETIME ft;
  if (SystemTimeToFileTime(&st, &ft)) FileTimeToSystemTime(&ft, &st);
  return st;
}

/// Calls a Get*FormatA-style function twice: for the size, then for the text.
template <typename Format>
std::string formatted(Format format) {
  int size = format(nullptr, 0);
  if (size <= 0) return "";
  std::string text(static_cast<size_t>(size), '\0');
  size = format(text.data(), size);
  if (size <= 0) return "";
  text.resize(static_cast<size_t>(size) - 1);  // the count includes the NUL
  return text;
}

/// A box that nobody can see (a scheduled task without a visible desktop) would wait forever.
bool desktopIsVisible() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr ||
      !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
    return true;  // when in doubt, show the box
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

struct WorkThread final : BackgroundWork {
  ~WorkThread() override { wait(); }
  void wait() override {
    if (thread.joinable()) thread.join();
  }
  std::thread thread;
};

class AppendStream : public TextStream {
 public:
  explicit AppendStream(HANDLE file) : file_(file) {}

  void writeLine(const std::string& text) override {
    if (!file_.valid()) throw Failure(failure::badFileName, "Bad file name or number");
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
    file_.reset();
  }

 private:
  OwnedHandle file_;
};

HANDLE toHandle(ProcessToken token) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(token));
}
HKEY toHkey(RegistryKey key) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(key)); }

class Win32Platform final : public Platform {
 public:
  std::string commandLine() override {
    const char* line = GetCommandLineA();
    return line ? line : "";
  }

  std::string programFolder() override {
    std::string path(MAX_PATH, '\0');
    for (;;) {
      DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) return "";
      if (length < path.size()) {
        path.resize(length);
        break;
      }
      if (path.size() >= 65536) return "";
      path.assign(path.size() * 2, '\0');  // cut short: read again into a larger buffer
    }
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? "" : path.substr(0, cut);
  }

  std::string systemFolder() override {
    std::string path(MAX_PATH, '\0');
    UINT length = GetSystemDirectoryA(path.data(), static_cast<UINT>(path.size()));
    if (length >= path.size()) {
      path.assign(length + 1, '\0');
      length = GetSystemDirectoryA(path.data(), static_cast<UINT>(path.size()));
    }
    if (length == 0 || length >= path.size()) return "";
    path.resize(length);
    return path;
  }

  LocalTime localTime() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  }

  std::string shortDateText(const LocalTime& t) override {
    SYSTEMTIME st = toSystemTime(t);
    std::string text = formatted([&](char* buffer, int size) {
      return GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, size);
    });
    if (!text.empty()) return text;
    char fallback[48];  // a date the system does not take still gets a readable stamp
    std::snprintf(fallback, sizeof fallback, "%d/%d/%d", t.month, t.day, t.year);
    return fallback;
  }

  std::string longTimeText(const LocalTime& t) override {
    SYSTEMTIME st = toSystemTime(t);
    std::string text = formatted([&](char* buffer, int size) {
      return GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, size);
    });
    if (!text.empty()) return text;
    char fallback[48];
    std::snprintf(fallback, sizeof fallback, "%d:%02d:%02d", t.hour, t.minute, t.second);
    return fallback;
  }

  int64_t wallClockSeconds() override {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);  // universal time: a change of daylight saving is no jump
    uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10'000'000);
  }

  std::string ansiFromUtf16(const std::u16string& text) override {
    if (text.empty() || text.size() > INT_MAX / 4) return "";
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // No best fit: a "Ω" shown as "O" would name another file.
    int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, "?", nullptr);
    if (size <= 0) return std::string(text.size(), '?');
    std::string ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, ansi.data(), size, "?",
                        nullptr);
    return ansi;
  }

  std::u16string utf16FromAnsi(const std::string& text) override {
    if (text.empty() || text.size() > INT_MAX / 2) return u"";
    const int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return u"";
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(wide.data()),
                        size);
    return wide;
  }

  void showMessage(const std::string& text) override {
    if (!desktopIsVisible()) return;
    MessageBoxA(nullptr, text.c_str(), "veskbackup", MB_OK);
  }

  bool folderExists(const std::string& path) override {
    if (path.empty() || hasNul(path)) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool fileExists(const std::string& path) override {
    if (path.empty() || hasNul(path)) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool driveExists(const std::string& path) override {
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

  void createFolder(const std::string& path) override {
    checkPathText(path);
    if (!CreateDirectoryA(path.c_str(), nullptr)) throwPathFailure(GetLastError());
  }

  std::unique_ptr<TextStream> openForAppend(const std::string& path) override {
    checkPathText(path);
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file.
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throwPathFailure(GetLastError());
    return std::make_unique<AppendStream>(file);
  }

  std::string readFile(const std::string& path) override {
    checkPathText(path);
    OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
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

  std::u16string longPathOf(const std::string& path) override {
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

  std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) override {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return std::nullopt;
    // Wildcards would list other folders' entries; no folder's name holds one.
    size_t start = path.rfind(u"\\\\?\\", 0) == 0 ? 4 : 0;
    if (path.find_first_of(u"*?", start) != std::u16string::npos) return std::nullopt;
    std::u16string pattern = path;
    if (pattern.back() != u'\\') pattern += u'\\';
    pattern += u'*';

    // The basic information (no short names) in large batches: the cheapest listing there is.
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(wide(pattern), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
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

  std::optional<FolderEntry> entryAt(const std::u16string& path) override {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data)) return std::nullopt;
    return entryOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                   data.ftLastWriteTime);
  }

  void copyFile(const std::u16string& from, const std::u16string& to) override {
    if (from.find(u'\0') != std::u16string::npos || to.find(u'\0') != std::u16string::npos)
      throw fileSystemFailure(ERROR_INVALID_NAME);
    if (CopyFileW(wide(from), wide(to), FALSE)) return;
    DWORD code = GetLastError();
    // The copy tools keep attributes: an earlier copy may be read-only or hidden, which the
    // system refuses to replace.
    constexpr DWORD guarded =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
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

  void createFolder(const std::u16string& path) override {
    if (path.find(u'\0') != std::u16string::npos) throw fileSystemFailure(ERROR_INVALID_NAME);
    if (!CreateDirectoryW(wide(path), nullptr)) throwPathFailure(GetLastError());
  }

  std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) override {
    auto thread = std::make_unique<WorkThread>();
    try {
      thread->thread = std::thread(work);  // a copy: work is still whole if this throws
    } catch (const std::system_error&) {
      work();  // no thread to be had: the work is done before the caller goes on
    }
    return thread;
  }

  int compareNames(const std::u16string& a, const std::u16string& b) override {
    if (a.size() > INT_MAX || b.size() > INT_MAX) return a.compare(b);
    int result = CompareStringOrdinal(wide(a), static_cast<int>(a.size()), wide(b),
                                      static_cast<int>(b.size()), TRUE);
    return result == 0 ? a.compare(b) : result - CSTR_EQUAL;
  }

  std::string readFileTail(const std::string& path, size_t size) override {
    checkPathText(path);
    OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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

  void deleteFile(const std::string& path) override {
    checkPathText(path);
    if (DeleteFileA(path.c_str())) return;
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return;
    throw fileSystemFailure(code);
  }

  std::optional<FolderIdentity> folderIdentity(const std::u16string& path) override {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return std::nullopt;
    // No access right is asked for: the identity is readable also where the folder is not.
    OwnedHandle folder(CreateFileW(wide(path), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder.valid() || !GetFileInformationByHandle(folder.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return std::nullopt;
    uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    // Some network file systems give every file the index 0: that names no folder.
    if (index == 0) return std::nullopt;
    return FolderIdentity{info.dwVolumeSerialNumber, index};
  }

  std::string fullPath(const std::string& path) override {
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

  std::string userProfileFolder() override {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return "";
    OwnedHandle token(rawToken);
    std::string buffer(255, '\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (GetUserProfileDirectoryA(token.get(), buffer.data(), &size)) return buffer;
    // A longer profile path: the call reported the size it needs, its NUL included.
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size() || size > 32768)
      return "";
    buffer.assign(size, '\0');
    if (GetUserProfileDirectoryA(token.get(), buffer.data(), &size)) return buffer;
    return "";
  }

  long regOpenKey(uint32_t rootKey, const std::string& subKey, RegistryKey& key,
                  RegistryView view) override {
    // Only the predefined root keys, HKEY_CLASSES_ROOT (0x80000000) to
    // HKEY_CURRENT_USER_LOCAL_SETTINGS (0x80000007), are accepted as roots.
    if (rootKey < 0x80000000u || rootKey > 0x80000007u) return ERROR_INVALID_HANDLE;
    if (hasNul(subKey)) return ERROR_INVALID_PARAMETER;
    // The predefined keys are 32-bit values sign-extended to the width of a handle.
    HKEY root = reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<int32_t>(rootKey)));
    HKEY opened = nullptr;
    REGSAM access = KEY_READ | (view == RegistryView::view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    LONG result = RegOpenKeyExA(root, subKey.c_str(), 0, access, &opened);
    if (result == ERROR_SUCCESS) key = reinterpret_cast<uintptr_t>(opened);
    return result;
  }

  long regQueryValue(RegistryKey key, const std::string& valueName, uint32_t& type, uint8_t* data,
                     uint32_t& dataSize) override {
    if (hasNul(valueName)) return ERROR_INVALID_PARAMETER;
    DWORD valueType = type;
    DWORD size = dataSize;
    LONG result =
        RegQueryValueExA(toHkey(key), valueName.c_str(), nullptr, &valueType, data, &size);
    // A value that is missing or cannot be read leaves type and size as the caller set them.
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
      type = valueType;
      dataSize = size;
    }
    return result;
  }

  void regCloseKey(RegistryKey key) noexcept override { RegCloseKey(toHkey(key)); }

  ProcessToken startProcess(const std::string& applicationName, const std::string& commandLine,
                            int showWindow) override {
    if (hasNul(applicationName) || hasNul(commandLine)) throwWin32Failure(ERROR_INVALID_PARAMETER);
    // With this variable in the environment the system takes no program from the current
    // folder: not when this process looks for the program to start, nor when a child command
    // interpreter looks for the programs it runs. Set in this process, it reaches every child
    // with the rest of the environment, unchanged by any code-page conversion.
    SetEnvironmentVariableA("NoDefaultCurrentDirectoryInExePath", "1");

    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');  // CreateProcessA may write into the command line
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow);
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(applicationName.empty() ? nullptr : applicationName.c_str(), line.data(),
                        nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
      throwWin32Failure(GetLastError());
    CloseHandle(started.hThread);
    return reinterpret_cast<uintptr_t>(started.hProcess);
  }

  WaitResult waitForProcess(ProcessToken process, int milliseconds) override {
    DWORD wait = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    switch (WaitForSingleObject(toHandle(process), wait)) {
      case WAIT_OBJECT_0:
        return WaitResult::ended;
      case WAIT_TIMEOUT:
        return WaitResult::stillRunning;
      default:
        return WaitResult::failed;
    }
  }

  std::optional<uint32_t> processExitCode(ProcessToken process) override {
    DWORD code = 0;
    if (!GetExitCodeProcess(toHandle(process), &code)) return std::nullopt;
    // STILL_ACTIVE (259) is also a code that a program can end with.
    if (code == STILL_ACTIVE && WaitForSingleObject(toHandle(process), 0) != WAIT_OBJECT_0)
      return std::nullopt;
    return code;
  }

  void closeProcess(ProcessToken process) noexcept override {
    if (process != 0) CloseHandle(toHandle(process));
  }

  void yieldToMessages() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  void changeDrive(const std::string& text) override {
    if (text.empty() || !isAsciiLetter(text[0])) throw fileSystemFailure(ERROR_INVALID_DRIVE);
    // "X:" returns to the folder last current on that drive; when that folder is gone, the
    // drive's root will do.
    std::string drive = {static_cast<char>(text[0] & ~0x20), ':'};  // Wine keeps a lower case
    if (SetCurrentDirectoryA(drive.c_str())) return;
    DWORD code = GetLastError();
    if (SetCurrentDirectoryA((drive + "\\").c_str())) return;
    throwPathFailure(code);
  }

  void changeFolder(const std::string& path) override {
    checkPathText(path);
    if (!SetCurrentDirectoryA(path.c_str())) throwPathFailure(GetLastError());
  }

  ShellCopyResult shellCopy(const std::string& fromList, const std::string& toList,
                            uint16_t flags) override {
    // Two more NULs make sure that each list ends, whatever the caller passed.
    std::string from = fromList + std::string(2, '\0');
    std::string to = toList + std::string(2, '\0');
    SHFILEOPSTRUCTA operation{nullptr, FO_COPY, from.c_str(), to.c_str(),
                              flags,   FALSE,   nullptr,      nullptr};
    ShellCopyResult result;
    result.returnCode = SHFileOperationA(&operation);
    result.anyOperationsAborted = operation.fAnyOperationsAborted != FALSE;
    return result;
  }
};

}  // namespace

std::unique_ptr<Platform> makeWin32Platform() { return std::make_unique<Win32Platform>(); }

}  // namespace vesk
