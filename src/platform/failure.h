#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace vesk {

/// The system's one exception type: a number, a description and the step of the run in
/// progress when it was raised (filled in by the run when the failure reaches it).
struct Failure : std::exception {
  Failure(int32_t n, std::string text) : number(n), description(std::move(text)) {}
  const char* what() const noexcept override { return description.c_str(); }

  int32_t number;
  std::string description;
  int32_t step = -1;  // -1 until the run records the step (see atStep)
};

/// Failure numbers. File-system failures use the numbers that the scripting file-system
/// object raised, so that error lines in old and new run logs read alike.
namespace failure {
constexpr int32_t invalidArgument = 5;
constexpr int32_t subscriptOutOfRange = 9;
constexpr int32_t badFileName = 52;
constexpr int32_t fileNotFound = 53;
constexpr int32_t fileAlreadyExists = 58;
constexpr int32_t diskFull = 61;
constexpr int32_t permissionDenied = 70;
constexpr int32_t diskNotReady = 71;
constexpr int32_t pathFileAccessError = 75;
constexpr int32_t pathNotFound = 76;
constexpr int32_t objectNotSet = 91;
constexpr int32_t unsupportedValueType = 1001;
}  // namespace failure

/// Runs work and returns what it returns; a Failure raised in it that carries no step yet leaves
/// with step, the step of the run in progress that the error report names.
template <typename Work>
decltype(auto) atStep(int32_t step, Work&& work) {
  try {
    return work();
  } catch (Failure& failure) {
    if (failure.step < 0) failure.step = step;
    throw;
  }
}

/// The failure that a file-system operation raises for a Win32 error code.
Failure fileSystemFailure(uint32_t win32Error);

/// Failure 9: a piece or element that is not there.
Failure subscriptOutOfRange();

/// Failure 5: a search from position 0, a negative length.
Failure invalidArgument();

}  // namespace vesk
