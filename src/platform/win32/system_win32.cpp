// The Win32 layer: the command line and the program's folders, the local time and the user's
// forms of it, texts in the ANSI code page, and the profile folder.

#include "platform/win32/win32_platform.h"
// <windows.h>, which the header above includes, first: <userenv.h> relies on its types.
#include <userenv.h>

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

}  // namespace

std::string Win32System::commandLine() {
  const char* line = GetCommandLineA();
  return line ? line : "";
}

std::string Win32System::programPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 65536) return "";
    path.assign(path.size() * 2, '\0');  // cut short: read again into a larger buffer
  }
}

std::optional<std::string> Win32System::environmentVariable(const std::string& name) {
  std::string value(256, '\0');
  for (;;) {
    SetLastError(0);
    const DWORD length =
        GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    if (length > 65536) return std::nullopt;
    value.assign(length, '\0');  // the size it needs, its NUL included
  }
}

std::string Win32System::programFolder() {
  std::string path = programPath();
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? "" : path.substr(0, cut);
}

std::string Win32System::systemFolder() {
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

LocalTime Win32System::localTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

ZonedTime Win32System::zonedTime() {
  // One reading of the clock gives the local time and the offset of the same moment; the local
  // time and the zone read one after the other could straddle a change of daylight saving time.
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  FILETIME utcTicks, localTicks;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
      !SystemTimeToFileTime(&utc, &utcTicks) || !SystemTimeToFileTime(&local, &localTicks))
    return {{utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond}, 0};
  auto ticks = [](const FILETIME& t) {
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  constexpr int64_t ticksPerMinute = 600'000'000;
  const int64_t ahead = ticks(localTicks) - ticks(utcTicks);
  const int64_t minutes = (ahead + (ahead < 0 ? -1 : 1) * ticksPerMinute / 2) / ticksPerMinute;
  return {{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond},
          static_cast<int>(minutes)};
}

std::string Win32System::shortDateText(const LocalTime& t) {
  SYSTEMTIME st = toSystemTime(t);
  std::string text = formatted([&](char* buffer, int size) {
    return GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, size);
  });
  if (!text.empty()) return text;
  char fallback[48];  // a date the system does not take still gets a readable stamp
  std::snprintf(fallback, sizeof fallback, "%d/%d/%d", t.month, t.day, t.year);
  return fallback;
}

std::string Win32System::longTimeText(const LocalTime& t) {
  SYSTEMTIME st = toSystemTime(t);
  std::string text = formatted([&](char* buffer, int size) {
    return GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, size);
  });
  if (!text.empty()) return text;
  char fallback[48];
  std::snprintf(fallback, sizeof fallback, "%d:%02d:%02d", t.hour, t.minute, t.second);
  return fallback;
}

std::string Win32System::ansiFromUtf16(const std::u16string& text) {
  return win32::ansiFromUtf16(text);
}

std::u16string Win32System::utf16FromAnsi(const std::string& text) {
  return win32::utf16FromAnsi(text);
}

std::string Win32System::computerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : "";
}

std::string Win32System::accountName() {
  char name[257] = {};  // UNLEN and its NUL
  DWORD size = sizeof name;
  if (!GetUserNameA(name, &size) || size == 0) return "";
  return std::string(name, size - 1);  // the count includes the NUL
}

std::string Win32System::userProfileFolder() {
  HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return "";
  Handle token = ownedHandle(rawToken);
  // The path ends at its NUL; the rest of the buffer is no part of it.
  auto path = [](const std::string& buffer) { return buffer.substr(0, buffer.find('\0')); };
  std::string buffer(255, '\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  if (GetUserProfileDirectoryA(token.get(), buffer.data(), &size)) return path(buffer);
  // A longer profile path: the call reported the size it needs, its NUL included.
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size() || size > 32768)
    return "";
  buffer.assign(size, '\0');
  if (GetUserProfileDirectoryA(token.get(), buffer.data(), &size)) return path(buffer);
  return "";
}

}  // namespace vesk::win32
