#pragma once

// Shared by the fuzz targets: a property that does not hold aborts the process, so that
// libFuzzer records the input as a crash and keeps it as a reproducer.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vesk::fuzz {

[[noreturn]] inline void propertyViolated(const char* file, int line, const char* condition,
                                          const std::string& detail) {
  std::fprintf(stderr, "%s:%d: property violated: %s\n  %s\n", file, line, condition,
               detail.c_str());
  std::abort();
}

/// The fuzz input as text, byte for byte (NULs included).
inline std::string inputText(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

/// A text with its control characters written as \xNN, for the messages of violated properties.
inline std::string shown(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      result += escaped;
    } else {
      result += static_cast<char>(c);
    }
  }
  return result;
}

}  // namespace vesk::fuzz

/// Aborts with the condition and detail (a std::string expression) when condition is false.
/// Not assert(): it must stay active in optimised builds.
#define FUZZ_CHECK(condition, detail)                                                      \
  do {                                                                                     \
    if (!(condition))                                                                      \
      ::vesk::fuzz::propertyViolated(__FILE__, __LINE__, #condition, std::string(detail)); \
  } while (false)
