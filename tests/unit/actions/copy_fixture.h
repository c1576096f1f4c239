#pragma once

// The copy tests' starting point: a source, a destination and a run log on the fake.

#include <string>

#include "actions/folder_copy.h"
#include "actions_test_support.h"
#include "fake_platform.h"
#include "run/run_settings.h"

namespace vesk::testing {

constexpr int64_t sourceTime = 133'000'000'000'000'000;

/// The copy mode as the command line gives it.
inline CopyMode copyModeOf(const std::string& text) {
  return readRunSettings("\"D:\\Backup\" \"default\" \"N\" \"" + text + "\"", "")->copyWith;
}

/// A platform with an open run log, the source C:\App (two files and an empty folder) and the
/// folder D:\Backup\.
struct CopyFixture {
  FakePlatform platform;
  RunLog log{platform, platform, platform};

  CopyFixture() {
    log.open(testLogPath);
    platform.addFile("C:\\App\\app.exe", "exe", sourceTime);
    platform.addFile("C:\\App\\ZAVO\\db.properties", "x", sourceTime);
    platform.addFolder("C:\\App\\empty");
    platform.addFolder("D:\\Backup");
  }
  /// Makes D:\Backup\ a faithful copy of C:\App.
  void copyAll() {
    platform.addFile("D:\\Backup\\app.exe", "exe", sourceTime);
    platform.addFile("D:\\Backup\\ZAVO\\db.properties", "x", sourceTime);
    platform.addFolder("D:\\Backup\\empty");
  }
  bool copy(const std::string& mode, const std::string& destination = "D:\\Backup\\",
            const std::string& source = "C:\\App") {
    return copyResult(mode, destination, source).complete;
  }
  FolderCopyResult copyResult(const std::string& mode,
                              const std::string& destination = "D:\\Backup\\",
                              const std::string& source = "C:\\App") {
    const SourceTree tree =
        walkSource(platform, platform.longPathOf(source), platform.longPathOf(destination));
    return copyFolder(platform, log, tree, source, destination, copyModeOf(mode), testLogPath);
  }
};

}  // namespace vesk::testing
