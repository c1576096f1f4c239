// The folder copy's stages wired together, with the fake's copy tools: what the plan refuses,
// what a tool leaves, what the repair pass puts right, and what the run log names.

#include "actions/folder_copy.h"

#include <gtest/gtest.h>

#include <functional>

#include "actions_test_support.h"
#include "fake_platform.h"

namespace vesk {
namespace {

using testing::logTexts;
using testing::sourceTime;
using testing::testLogPath;
using testing::xcopyListingOf;
using Lines = std::vector<std::string>;

constexpr int64_t year1601 = 864'000'000'000;          // 1601-01-02
constexpr int64_t year2200 = 189'025'920'000'000'000;  // 2200-01-01

TEST(CopyFolder, RunsThePlannedToolThenRepairsWhatItLeft) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> before;  // before the copy tool runs
    Lines logged;  // the lines of the plan and the check, not the tool's own
    bool toolRuns = true;
    FakeCopyTool tool = {.onlyNewer = true, .skipHidden = true};
    std::string destination = "D:\\Backup";
  };
  const Case cases[] = {
      {"nothing left to repair", [](FakePlatform&) {}, {}},
      {"hidden file that xcopy passes over",
       [](FakePlatform& p) {
         p.disk.addFile("C:\\App\\desktop.ini", "[x]", sourceTime);
         p.disk.files["C:\\App\\desktop.ini"].hidden = true;
       },
       {"copied again: desktop.ini"}},
      {"truncated copy of an earlier run, dated like the source",
       [](FakePlatform& p) { p.disk.addFile("D:\\Backup\\app.exe", "e", sourceTime); },
       {"copied again: app.exe"}},
      {"a full disk",
       [](FakePlatform& p) { p.trees.copyFailsAfter["C:\\App\\app.exe"] = 2; },
       {"not in backup: app.exe"},
       true,
       {.truncated = {{"C:\\App\\app.exe", 1}}}},
      {"source file held open with no sharing",
       [](FakePlatform& p) { p.disk.unreadable.insert("C:\\App\\app.exe"); },
       {"not in backup: app.exe"},
       true,
       {.truncated = {{"C:\\App\\app.exe", 0}}}},
      {"a link onto a folder above",
       [](FakePlatform& p) { p.disk.addLink("C:\\App\\ZAVO\\up", "C:\\App"); },
       {"link loop not followed: ZAVO\\up", "copied again: app.exe",
        "copied again: ZAVO\\db.properties"},
       false},
      // FAT keeps times from 1980 to 2107 only: such copies are in the backup by their bytes.
      {"times a FAT drive cannot hold",
       [](FakePlatform& p) {
         p.disk.fileSystems['E'] = "FAT32";
         p.disk.addFile("C:\\App\\new.txt", "new", year2200);
         p.disk.addFile("C:\\App\\old.txt", "old", year1601);
       },
       {"time not kept by the destination: new.txt", "time not kept by the destination: old.txt"},
       true,
       {.onlyNewer = true},
       "E:\\Backup"},
  };
  for (const char* mode : {"xcopy", "shell copy"}) {
    for (const Case& c : cases) {
      FakePlatform platform;
      RunLog log{platform.files, platform.system, platform.desktop};
      log.open(testLogPath);
      platform.disk.drives.insert('E');
      platform.disk.addFile("C:\\App\\app.exe", "exe", sourceTime);
      platform.disk.addFile("C:\\App\\ZAVO\\db.properties", "x", sourceTime);
      platform.disk.addFolder(c.destination);
      c.before(platform);
      auto tool = [&] {
        platform.disk.addFile(
            testLogPath + std::string("xcp"),
            xcopyListingOf(platform.disk.copyTree("C:\\App", c.destination, c.tool)));
      };
      platform.processes.processScripts = {{.runsForMs = 10, .onStart = tool}};
      platform.desktop.onShellCopy = tool;
      const std::string destination = c.destination + "\\";
      const SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf("C:\\App"),
                                         platform.trees.longPathOf(destination));
      const CopyMode copyWith = mode[0] == 'x' ? CopyMode::xcopy : CopyMode::shellCopy;
      const FolderCopyResult result =
          copyFolder(platform, log, tree,
                     copyRequestOf(platform, "C:\\App", destination, copyWith, testLogPath));
      const std::string name = std::string(c.name) + ", " + mode;

      Lines logged;
      for (const std::string& line : logTexts(platform))
        if (line != "doing xcopy" && line != "cd to D:\\" && line != "cd to E:\\" &&
            line != "doing full copy")
          logged.push_back(line);
      EXPECT_EQ(c.logged, logged) << name;
      const bool left = std::any_of(logged.begin(), logged.end(),
                                    [](const std::string& l) { return l.starts_with("not in"); });
      EXPECT_EQ(!left, result.complete) << name;
      EXPECT_EQ(
          c.toolRuns,
          platform.processes.commandsStarted.size() + platform.desktop.shellCopies.size() == 1)
          << name;
      EXPECT_EQ(
          c.toolRuns ? (mode[0] == 'x' ? CopyTool::xcopy : CopyTool::shellCopy) : CopyTool::none,
          result.tool)
          << name;
      EXPECT_EQ(result.counts.copiedAgain,
                std::count_if(logged.begin(), logged.end(),
                              [](const std::string& l) { return l.starts_with("copied again"); }))
          << name;
    }
  }
}

TEST(CopyFolder, ASourceWithoutALongPathIsNotComparedAndNotComplete) {
  FakePlatform platform;
  RunLog log{platform.files, platform.system, platform.desktop};
  log.open(testLogPath);
  platform.disk.addFolder("D:\\Backup");
  const std::string endless = "C:\\" + std::string(40'000, 'x');
  const SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf(endless),
                                     platform.trees.longPathOf("D:\\Backup\\"));
  const FolderCopyResult result = copyFolder(
      platform, log, tree, copyRequestOf(platform, endless, "D:\\Backup\\", CopyMode::xcopy, ""));
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(Lines{"too long to copy: " + endless}, logTexts(platform));
  EXPECT_EQ(0u, result.counts.notInBackup.count);
}

}  // namespace
}  // namespace vesk
