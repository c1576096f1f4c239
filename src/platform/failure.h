#pragma once

#include <exception>
#include <string>

namespace vesk {

/// What failed. The run's report gives each its number and description (run/report.cpp); the
/// layers that raise a failure only say which it is.
enum class Fault {
  invalidArgument,      // a search from position 0, a negative length
  overflow,             // a path longer than the path helpers' positions reach
  subscriptOutOfRange,  // a piece or element that is not there
  badFileName,          // a name the file system cannot take, a path too long
  fileNotFound,
  fileAlreadyExists,
  diskFull,
  permissionDenied,  // access denied, write protected, a sharing or lock violation
  diskNotReady,
  pathFileAccess,        // any other file-system error; the detail names the system's code
  pathNotFound,          // a missing folder, drive or network path
  logNotOpen,            // a line for a run log that could not be opened
  unsupportedValueType,  // a registry value of a type the reader does not take, or none
};

/// What the system gave as the cause of a failure on a file, where the fault alone does not tell
/// (permissionDenied covers a file in use and one the account may not open), for the lists of
/// files that a run could not back up.
enum class FileCause { none, inUse, accessDenied, diskFull, pathTooLong };

/// The system's one exception type.
struct Failure : std::exception {
  explicit Failure(Fault f, std::string detail = {}, FileCause c = FileCause::none)
      : fault(f), detail(std::move(detail)), cause(c) {}
  const char* what() const noexcept override {
    return detail.empty() ? "veskbackup failure" : detail.c_str();
  }

  Fault fault;
  /// What the system said, where no fixed description covers it ("system error 1234"); empty
  /// otherwise.
  std::string detail;
  FileCause cause;
};

/// The cause in words ("in use by another program"); empty for none.
inline const char* fileCauseText(FileCause cause) {
  switch (cause) {
    case FileCause::inUse:
      return "in use by another program";
    case FileCause::accessDenied:
      return "access denied";
    case FileCause::diskFull:
      return "disk full";
    case FileCause::pathTooLong:
      return "path too long";
    case FileCause::none:
      break;
  }
  return "";
}

/// A failure and where it arose within a stage, so that the run can tell the error report which
/// step that was. Where is an enum of the stage's own (what it was doing, not a step number).
template <typename Where>
struct FailureIn : Failure {
  FailureIn(const Failure& failure, Where w) : Failure(failure), where(w) {}
  Where where;
};

/// Runs work and returns what it returns; a Failure raised in it leaves as FailureIn<Where>.
template <typename Where, typename Work>
decltype(auto) failingIn(Where where, Work&& work) {
  try {
    return work();
  } catch (const Failure& failure) {
    throw FailureIn<Where>(failure, where);
  }
}

}  // namespace vesk
