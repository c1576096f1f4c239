#pragma once

// Helpers shared by the tests of the backup actions.

#include <map>
#include <string>
#include <vector>

#include "actions/source_tree.h"
#include "fake_platform.h"

namespace vesk::testing {

constexpr const char* testLogPath = "C:\\Tools\\veskbackuplog.txt07";
constexpr int64_t sourceTime = 133'000'000'000'000'000;  // in 2022

/// The texts of the run log's lines, each without its time stamp and ": ".
inline std::vector<std::string> logTexts(const FakePlatform& platform,
                                         const std::string& path = testLogPath) {
  std::vector<std::string> texts;
  for (const std::string& line : platform.disk.fileLines(path)) {
    size_t separator = line.find(": ");
    texts.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
  }
  return texts;
}

/// The tree that a walk of C:\App into D:\Backup lists, built from paths below the source in
/// ASCII ("a\\b.txt", a folder's ending in "\\"): every folder listed, each entry in the order
/// given, files of size 1 written at time 0, folders above a path added before it.
inline SourceTree treeOf(const std::vector<std::string>& paths) {
  SourceTree tree{u"\\\\?\\C:\\App", u"\\\\?\\D:\\Backup", {{u"", true, {}}}, {}};
  std::map<std::u16string, size_t> folders{{u"", 0}};
  auto add = [&](auto& self, const std::u16string& path, bool isFolder) -> size_t {
    if (auto found = folders.find(path); isFolder && found != folders.end()) return found->second;
    const size_t cut = path.rfind(u'\\');
    const size_t parent = self(self, cut == std::u16string::npos ? u"" : path.substr(0, cut), true);
    TreeEntry item{{path.substr(cut + 1), isFolder, false, isFolder ? 0u : 1u, 0}};
    if (isFolder) {
      item.folder = folders[path] = tree.folders.size();
      tree.folders.push_back({path, true, {}});
    }
    tree.folders[parent].entries.push_back(item);
    return item.folder;
  };
  for (const std::string& path : paths) {
    const bool isFolder = path.back() == '\\';
    add(add, std::u16string(path.begin(), path.end() - (isFolder ? 1 : 0)), isFolder);
  }
  return tree;
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
