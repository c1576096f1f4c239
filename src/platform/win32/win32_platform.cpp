// What the areas of the Win32 layer share: path checks and failures, the ANSI code page, the
// full form of a path, and the layer's one way in, makeWin32Platform.

#include "platform/win32/win32_platform.h"

#include <climits>
#include <initializer_list>

namespace vesk::win32 {
namespace {

struct FaultOfErrors {
  std::initializer_list<DWORD> errors;
  Fault fault;
};

const FaultOfErrors fileSystemFaults[] = {
    {{ERROR_FILE_NOT_FOUND}, Fault::fileNotFound},
    {{ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME,
      ERROR_BAD_PATHNAME},
     Fault::pathNotFound},
    {{ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION},
     Fault::permissionDenied},
    {{ERROR_NOT_READY}, Fault::diskNotReady},
    {{ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL}, Fault::diskFull},
    {{ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS}, Fault::fileAlreadyExists},
    {{ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE}, Fault::badFileName},
};

}  // namespace

FileCause fileCauseOf(DWORD code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileCause::inUse;
    case ERROR_ACCESS_DENIED:
      return FileCause::accessDenied;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
      return FileCause::diskFull;
    case ERROR_FILENAME_EXCED_RANGE:
      return FileCause::pathTooLong;
    default:
      break;
  }
  return FileCause::none;
}

Failure fileSystemFailure(DWORD code) {
  for (const FaultOfErrors& row : fileSystemFaults)
    for (DWORD error : row.errors)
      if (error == code) return Failure(row.fault, {}, fileCauseOf(code));
  return Failure(Fault::pathFileAccess, "system error " + std::to_string(code));
}

void checkPathText(const std::string& path) {
  if (hasNul(path)) throw fileSystemFailure(ERROR_INVALID_NAME);
}

void throwPathFailure(DWORD code) {
  throw fileSystemFailure(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code);
}

std::string ansiFromUtf16(const std::u16string& text) {
  if (text.empty() || text.size() > INT_MAX / 4) return "";
  const int length = static_cast<int>(text.size());
  // No best fit: a "Ω" shown as "O" would name another file.
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide(text), length, nullptr, 0, "?",
                                 nullptr);
  if (size <= 0) return std::string(text.size(), '?');
  std::string ansi(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide(text), length, ansi.data(), size, "?",
                      nullptr);
  return ansi;
}

std::u16string utf16FromAnsi(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX / 2) return u"";
  const int length = static_cast<int>(text.size());
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return u"";
  std::u16string converted(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(converted.data()),
                      size);
  return converted;
}

std::optional<std::u16string> fullPathName(const std::u16string& path) {
  if (path.empty() || hasNul(path)) return std::nullopt;
  // Once for the size, once for the path; a current folder changed in between makes the second
  // call report a larger size, and then the path has no one full form.
  DWORD size = GetFullPathNameW(wide(path), 0, nullptr, nullptr);
  if (size == 0) return std::nullopt;
  std::u16string full(size, u'\0');
  DWORD length =
      GetFullPathNameW(wide(path), size, reinterpret_cast<wchar_t*>(full.data()), nullptr);
  if (length == 0 || length >= size) return std::nullopt;
  full.resize(length);
  return full;
}

std::unique_ptr<Win32Platform> makeWin32Platform() { return std::make_unique<Win32Platform>(); }

}  // namespace vesk::win32
