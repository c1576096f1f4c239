#include "platform/failure.h"

namespace vesk {

Failure fileSystemFailure(uint32_t win32Error) {
  switch (win32Error) {
    case 2:  // ERROR_FILE_NOT_FOUND
      return Failure(failure::fileNotFound, "File not found");
    case 3:    // ERROR_PATH_NOT_FOUND
    case 15:   // ERROR_INVALID_DRIVE
    case 53:   // ERROR_BAD_NETPATH
    case 67:   // ERROR_BAD_NET_NAME
    case 161:  // ERROR_BAD_PATHNAME
      return Failure(failure::pathNotFound, "Path not found");
    case 5:   // ERROR_ACCESS_DENIED
    case 19:  // ERROR_WRITE_PROTECT
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
      return Failure(failure::permissionDenied, "Permission denied");
    case 21:  // ERROR_NOT_READY
      return Failure(failure::diskNotReady, "Disk not ready");
    case 39:   // ERROR_HANDLE_DISK_FULL
    case 112:  // ERROR_DISK_FULL
      return Failure(failure::diskFull, "Disk full");
    case 80:   // ERROR_FILE_EXISTS
    case 183:  // ERROR_ALREADY_EXISTS
      return Failure(failure::fileAlreadyExists, "File already exists");
    case 123:  // ERROR_INVALID_NAME
    case 206:  // ERROR_FILENAME_EXCED_RANGE
      return Failure(failure::badFileName, "Bad file name or number");
    default:
      return Failure(failure::pathFileAccessError,
                     "Path/File access error (system error " + std::to_string(win32Error) + ")");
  }
}

Failure subscriptOutOfRange() {
  return Failure(failure::subscriptOutOfRange, "Subscript out of range");
}

Failure invalidArgument() {
  return Failure(failure::invalidArgument, "Invalid procedure call or argument");
}

}  // namespace vesk
