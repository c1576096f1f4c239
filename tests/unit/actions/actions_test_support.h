#pragma once

// Helpers shared by the tests of the backup actions.

#include <string>
#include <vector>

#include "fake_platform.h"

namespace vesk::testing {

constexpr const char* testLogPath = "C:\\Tools\\veskbackuplog.txt07";

/// The texts of the run log's lines, each without its time stamp and ": ".
inline std::vector<std::string> logTexts(const FakePlatform& platform,
                                         const std::string& path = testLogPath) {
  std::vector<std::string> texts;
  for (const std::string& line : platform.fileLines(path)) {
    size_t separator = line.find(": ");
    texts.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
  }
  return texts;
}

/// The listing that xcopy writes when it copied the files at these source paths.
inline std::string xcopyListingOf(const std::vector<std::string>& copied) {
  std::string listing;
  for (const std::string& path : copied) listing += path + "\r\n";
  return listing + std::to_string(copied.size()) + " File(s) copied\r\n";
}

/// Splits a command line into arguments as the C runtime does: blanks and tabs separate
/// arguments outside double quotes; 2n backslashes before a double quote give n backslashes and
/// open or close a quoted stretch, 2n + 1 give n backslashes and a literal double quote; other
/// backslashes are literal.
inline std::vector<std::string> splitArguments(const std::string& line) {
  std::vector<std::string> arguments;
  size_t at = 0;
  const size_t size = line.size();
  while (true) {
    while (at < size && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at == size) break;
    std::string argument;
    bool quoted = false;
    while (at < size && (quoted || (line[at] != ' ' && line[at] != '\t'))) {
      if (line[at] == '\\') {
        size_t backslashes = 0;
        while (at < size && line[at] == '\\') ++backslashes, ++at;
        if (at < size && line[at] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            argument += '"';
            ++at;
          }
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (line[at] == '"') {
        quoted = !quoted;
        ++at;
      } else {
        argument += line[at++];
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace vesk::testing
