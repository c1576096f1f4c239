// The Win32 layer: command line and folders, time, texts in the ANSI code page, the message
// box, the profile folder, the current drive and folder, and the shell copy.

#include "platform/win32_platform.h"
// <windows.h>, which the header above includes, first: the two below rely on its types.
#include <shellapi.h>
#include <userenv.h>

#include <climits>
#include <cstdio>

namespace vesk::win32 {
namespace {

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

}  // namespace

std::string Win32Platform::commandLine() {
  const char* line = GetCommandLineA();
  return line ? line : "";
}

std::string Win32Platform::programFolder() {
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

std::string Win32Platform::systemFolder() {
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

LocalTime Win32Platform::localTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string Win32Platform::shortDateText(const LocalTime& t) {
  SYSTEMTIME st = toSystemTime(t);
  std::string text = formatted([&](char* buffer, int size) {
    return GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, size);
  });
  if (!text.empty()) return text;
  char fallback[48];  // a date the system does not take still gets a readable stamp
  std::snprintf(fallback, sizeof fallback, "%d/%d/%d", t.month, t.day, t.year);
  return fallback;
}

std::string Win32Platform::longTimeText(const LocalTime& t) {
  SYSTEMTIME st = toSystemTime(t);
  std::string text = formatted([&](char* buffer, int size) {
    return GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, size);
  });
  if (!text.empty()) return text;
  char fallback[48];
  std::snprintf(fallback, sizeof fallback, "%d:%02d:%02d", t.hour, t.minute, t.second);
  return fallback;
}

int64_t Win32Platform::wallClockSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);  // universal time: a change of daylight saving is no jump
  uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10'000'000);
}

std::string Win32Platform::ansiFromUtf16(const std::u16string& text) {
  if (text.empty() || text.size() > INT_MAX / 4) return "";
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  // No best fit: a "Ω" shown as "O" would name another file.
  int size =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, "?", nullptr);
  if (size <= 0) return std::string(text.size(), '?');
  std::string ansi(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, ansi.data(), size, "?", nullptr);
  return ansi;
}

std::u16string Win32Platform::utf16FromAnsi(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX / 2) return u"";
  const int length = static_cast<int>(text.size());
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return u"";
  std::u16string wide(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(wide.data()),
                      size);
  return wide;
}

void Win32Platform::showMessage(const std::string& text) {
  if (!desktopIsVisible()) return;
  MessageBoxA(nullptr, text.c_str(), "veskbackup", MB_OK);
}

std::string Win32Platform::userProfileFolder() {
  HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return "";
  Handle token = ownedHandle(rawToken);
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

void Win32Platform::changeDrive(const std::string& text) {
  if (text.empty() || !isAsciiLetter(text[0])) throw fileSystemFailure(ERROR_INVALID_DRIVE);
  // "X:" returns to the folder last current on that drive; when that folder is gone, the
  // drive's root will do.
  std::string drive = {static_cast<char>(text[0] & ~0x20), ':'};  // Wine keeps a lower case
  if (SetCurrentDirectoryA(drive.c_str())) return;
  DWORD code = GetLastError();
  if (SetCurrentDirectoryA((drive + "\\").c_str())) return;
  throwPathFailure(code);
}

void Win32Platform::changeFolder(const std::string& path) {
  checkPathText(path);
  if (!SetCurrentDirectoryA(path.c_str())) throwPathFailure(GetLastError());
}

ShellCopyResult Win32Platform::shellCopy(const std::string& from, const std::string& to,
                                         ShellCopyOptions options) {
  // A NUL inside would end a list early or start a second path in it.
  checkPathText(from);
  checkPathText(to);
  // Lists of one path, each ended by an empty path.
  std::string fromList = from + std::string(2, '\0');
  std::string toList = to + std::string(2, '\0');
  FILEOP_FLAGS flags = (options.replaceWithoutAsking ? FOF_NOCONFIRMATION : 0) |
                       (options.createFoldersWithoutAsking ? FOF_NOCONFIRMMKDIR : 0) |
                       (options.noErrorDialog ? FOF_NOERRORUI : 0);
  SHFILEOPSTRUCTA operation{nullptr, FO_COPY, fromList.c_str(), toList.c_str(),
                            flags,   FALSE,   nullptr,          nullptr};
  ShellCopyResult result;
  result.returnCode = SHFileOperationA(&operation);
  result.anyOperationsAborted = operation.fAnyOperationsAborted != FALSE;
  return result;
}

}  // namespace vesk::win32
