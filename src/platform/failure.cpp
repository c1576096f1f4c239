#include "platform/failure.h"

#include <vector>

namespace vesk {

Failure fileSystemFailure(uint32_t win32Error) {
  static const struct {
    std::vector<uint32_t> win32Errors;
    int32_t number;
    const char* description;
  } known[] = {
      // ERROR_FILE_NOT_FOUND
      {{2}, failure::fileNotFound, "File not found"},
      // ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME,
      // ERROR_BAD_PATHNAME
      {{3, 15, 53, 67, 161}, failure::pathNotFound, "Path not found"},
      // ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION
      {{5, 19, 32, 33}, failure::permissionDenied, "Permission denied"},
      // ERROR_NOT_READY
      {{21}, failure::diskNotReady, "Disk not ready"},
      // ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL
      {{39, 112}, failure::diskFull, "Disk full"},
      // ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS
      {{80, 183}, failure::fileAlreadyExists, "File already exists"},
      // ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE
      {{123, 206}, failure::badFileName, "Bad file name or number"},
  };
  for (const auto& kind : known)
    for (uint32_t code : kind.win32Errors)
      if (code == win32Error) return Failure(kind.number, kind.description);
  return Failure(failure::pathFileAccessError,
                 "Path/File access error (system error " + std::to_string(win32Error) + ")");
}

Failure subscriptOutOfRange() {
  return Failure(failure::subscriptOutOfRange, "Subscript out of range");
}

Failure invalidArgument() {
  return Failure(failure::invalidArgument, "Invalid procedure call or argument");
}

}  // namespace vesk
