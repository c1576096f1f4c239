// What the areas of the Win32 layer share, and the layer's one way in, makeWin32Platform.

#include "platform/platform_win32.h"

#include <initializer_list>

#include "platform/win32_platform.h"

namespace vesk {
namespace win32 {
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

Failure fileSystemFailure(DWORD code) {
  for (const FaultOfErrors& row : fileSystemFaults)
    for (DWORD error : row.errors)
      if (error == code) return Failure(row.fault);
  return Failure(Fault::pathFileAccess, "system error " + std::to_string(code));
}

void checkPathText(const std::string& path) {
  if (hasNul(path)) throw fileSystemFailure(ERROR_INVALID_NAME);
}

void throwPathFailure(DWORD code) {
  throw fileSystemFailure(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code);
}

}  // namespace win32

std::unique_ptr<Platform> makeWin32Platform() { return std::make_unique<win32::Win32Platform>(); }

}  // namespace vesk
