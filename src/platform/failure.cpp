#include "platform/failure.h"

#include <initializer_list>

namespace vesk {

namespace {

struct FailureOfErrors {
  std::initializer_list<uint32_t> win32Errors;
  int32_t number;
  const char* description;
};

const FailureOfErrors fileSystemFailures[] = {
    {{2}, failure::fileNotFound, "File not found"},
    // path and file not found, invalid drive, bad network path and name, bad path name
    {{3, 15, 53, 67, 161}, failure::pathNotFound, "Path not found"},
    // access denied, write protected, sharing and lock violations
    {{5, 19, 32, 33}, failure::permissionDenied, "Permission denied"},
    {{21}, failure::diskNotReady, "Disk not ready"},
    {{39, 112}, failure::diskFull, "Disk full"},  // handle disk full, disk full
    {{80, 183}, failure::fileAlreadyExists, "File already exists"},
    {{123, 206}, failure::badFileName, "Bad file name or number"},  // invalid name, too long
};

}  // namespace

Failure fileSystemFailure(uint32_t win32Error) {
  for (const FailureOfErrors& row : fileSystemFailures)
    for (uint32_t code : row.win32Errors)
      if (code == win32Error) return Failure(row.number, row.description);
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
