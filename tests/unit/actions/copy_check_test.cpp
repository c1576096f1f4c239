// The check's rules for times, by the destination's file system, and the copies that a tool
// wrote after the early listing had found them whole.

#include "actions/copy_check.h"

#include <gtest/gtest.h>

#include <climits>

#include "actions/folder_copy.h"
#include "actions_test_support.h"
#include "fake_platform.h"
#include "run/run_settings.h"

namespace vesk {
namespace {

using testing::logTexts;
using testing::testLogPath;
using testing::xcopyListingOf;
using Lines = std::vector<std::string>;

constexpr int64_t sourceTime = 133'000'000'000'000'000;  // in 2022
constexpr int64_t second = 10'000'000;
constexpr int64_t year1601 = 864'000'000'000;          // 1601-01-02
constexpr int64_t year1980 = 119'600'064'000'000'000;  // 1980-01-01
constexpr int64_t year2107 = 159'992'927'980'000'000;  // 2107-12-31 23:59:58
constexpr int64_t year2200 = 189'025'920'000'000'000;  // 2200-01-01

/// The lines of the log that begin with prefix, without it.
Lines linesAfter(const FakePlatform& platform, const std::string& prefix) {
  Lines found;
  for (const std::string& text : logTexts(platform))
    if (text.rfind(prefix, 0) == 0) found.push_back(text.substr(prefix.size()));
  return found;
}

bool copyInto(FakePlatform& platform, RunLog& log, const std::string& destination,
              const std::string& mode) {
  const SourceTree tree =
      walkSource(platform, platform.longPathOf("C:\\App"), platform.longPathOf(destination));
  CopyMode copyWith = readRunSettings("\"D:\\B\" \"default\" \"N\" \"" + mode + "\"", "")->copyWith;
  return copyFolder(platform, log, tree, "C:\\App", destination, copyWith, testLogPath).complete;
}

TEST(CopyJudge, TimesAreComparedAsTheDestinationKeepsThem) {
  const struct {
    const char* name;
    std::string fileSystem;  // of E:, where the backup lies; "share" for one on the network
    int64_t source, copy;
    bool sameBytes;
    bool held;
    bool timeNotKept = false;
  } cases[] = {
      {"NTFS, the same time", "NTFS", sourceTime, sourceTime, true, true},
      {"NTFS, 100 ns later (a torn copy)", "NTFS", sourceTime, sourceTime + 1, true, false},
      {"NTFS, 2 s earlier", "NTFS", sourceTime, sourceTime - 2 * second, true, false},
      {"ReFS, 100 ns earlier", "ReFS", sourceTime, sourceTime - 1, true, false},
      {"FAT32, 2 s later", "FAT32", sourceTime, sourceTime + 2 * second, true, true},
      {"FAT32, 2 s and 100 ns earlier", "FAT32", sourceTime, sourceTime - 2 * second - 1, true,
       false},
      {"FAT32, times far apart", "FAT32", sourceTime, INT64_MIN, true, false},
      {"FAT32, another time it could keep", "FAT32", sourceTime, sourceTime + 3600 * second, true,
       false},
      {"exFAT, 1601 kept as 1980", "exFAT", year1601, year1980, true, true, true},
      {"FAT, 2200 kept as 2107, other bytes", "FAT", year2200, year2107, false, false},
      {"a volume that names no file system", "", sourceTime, sourceTime + second, true, true},
      {"a share that says NTFS", "share", sourceTime, sourceTime + second, true, true},
      {"a share, 1601 kept as 1980", "share", year1601, year1980, true, true, true},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    const std::string backup = c.fileSystem == "share" ? "\\\\nas\\bk" : "E:\\Backup";
    if (c.fileSystem != "share") platform.fileSystems['E'] = c.fileSystem;
    platform.addFile("C:\\App\\f.bin", "bytes", c.source);
    platform.addFile(backup + "\\f.bin", c.sameBytes ? "bytes" : "BYTES", c.copy);
    const SourceTree tree =
        walkSource(platform, platform.longPathOf("C:\\App"), platform.longPathOf(backup));
    CopyJudge judge(platform, tree, timeKeepingOf(platform.volumeOf(tree.destination)));
    EXPECT_EQ(c.held, compareWithBackup(platform, tree, judge).empty()) << c.name;
    EXPECT_EQ(c.timeNotKept ? std::vector<std::u16string>{u"f.bin"} : std::vector<std::u16string>{},
              judge.timeNotKept())
        << c.name;
  }
}

TEST(CopyFolder, TimesThatAFatDriveCannotHoldAreInTheBackupByTheirContents) {
  for (const char* mode : {"Y", "N"}) {
    FakePlatform platform;
    RunLog log{platform, platform, platform};
    log.open(testLogPath);
    platform.fileSystems['E'] = "FAT32";
    platform.addFile("C:\\App\\new.txt", "new", year2200);
    platform.addFile("C:\\App\\old.txt", "old", year1601);
    platform.addFolder("E:\\Backup");
    const FakeCopyTool xcopy{.onlyNewer = true};
    auto runXcopy = [&] {
      platform.addFile(testLogPath + std::string("xcp"),
                       xcopyListingOf(platform.copyTree("C:\\App", "E:\\Backup", xcopy)));
    };
    platform.onShellCopy = [&] { platform.copyTree("C:\\App", "E:\\Backup"); };
    for (int run = 1; run <= 2; ++run) {
      platform.processScripts.push_back({.onStart = runXcopy});
      platform.files[testLogPath].content.clear();
      EXPECT_TRUE(copyInto(platform, log, "E:\\Backup\\", mode)) << mode << " run " << run;
      EXPECT_EQ((Lines{"new.txt", "old.txt"}),
                linesAfter(platform, "time not kept by the destination: "))
          << mode << " run " << run;
      EXPECT_EQ(Lines{}, linesAfter(platform, "copied again: ")) << mode << " run " << run;
    }
  }
}

TEST(CopyFolder, CopiesThatTheToolWroteAfterTheEarlyListingAreLookedAtAgain) {
  const std::string whole = "old content, grown";  // the source as the tool finds it
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> copyTool;  // what the tool leaves of D:\Backup\big.bin
    Lines copiedAgain;
    bool repairFails = false;  // the repair pass finds no room either
    std::string fileSystem = "NTFS";
  };
  const Case cases[] = {
      {"rewritten whole",
       [&](FakePlatform& p) { p.addFile("D:\\Backup\\big.bin", whole, sourceTime + 9 * second); },
       {}},
      {"cut off on a full disk",
       [&](FakePlatform& p) {
         p.addFile("D:\\Backup\\big.bin", whole.substr(0, 14), sourceTime + 30 * second);
       },
       {"big.bin"}},
      {"cut off, and no room for the repair either",
       [&](FakePlatform& p) {
         p.addFile("D:\\Backup\\big.bin", whole.substr(0, 14), sourceTime + 30 * second);
       },
       {},
       true},
      {"removed", [](FakePlatform& p) { p.files.erase("D:\\Backup\\big.bin"); }, {"big.bin"}},
      // The copy began with the source's time; the source was rewritten once more in place.
      {"torn within 2 s, same size",
       [&](FakePlatform& p) {
         p.addFile("D:\\Backup\\big.bin", std::string(whole.size(), '?'), sourceTime + 9 * second);
         p.files["C:\\App\\big.bin"].lastWriteTime += second / 2;
       },
       {"big.bin"}},
      {"torn within 2 s, on FAT: its 2 s tolerance stays",
       [&](FakePlatform& p) {
         p.addFile("D:\\Backup\\big.bin", std::string(whole.size(), '?'), sourceTime + 9 * second);
         p.files["C:\\App\\big.bin"].lastWriteTime += second / 2;
       },
       {},
       false,
       "FAT32"},
  };
  const struct {
    const char* mode;
    uint32_t exitCode;
  } tools[] = {{"Y", 0}, {"Y", 5}, {"N", 0}};
  for (const auto& tool : tools) {
    for (const Case& c : cases) {
      FakePlatform platform;
      RunLog log{platform, platform, platform};
      log.open(testLogPath);
      platform.fileSystems['D'] = c.fileSystem;
      platform.addFile("C:\\App\\big.bin", "old content", sourceTime);
      platform.addFile("C:\\App\\small.txt", "s", sourceTime);
      platform.addFile("D:\\Backup\\big.bin", "old content", sourceTime);
      platform.addFile("D:\\Backup\\small.txt", "s", sourceTime);
      if (c.repairFails) platform.copyFailsAfter["C:\\App\\big.bin"] = 3;
      // The early listing has seen big.bin's old copy whole; then the source grows, and the
      // tool copies it.
      auto copying = [&] {
        platform.addFile("C:\\App\\big.bin", whole, sourceTime + 9 * second);
        c.copyTool(platform);
        platform.addFile(testLogPath + std::string("xcp"), xcopyListingOf({"C:\\App\\big.bin"}));
      };
      platform.processScripts = {{.exitCode = tool.exitCode, .onStart = copying}};
      platform.onShellCopy = copying;
      const std::string name =
          std::string(c.name) + ", mode " + tool.mode + ", exit " + std::to_string(tool.exitCode);
      EXPECT_EQ(!c.repairFails, copyInto(platform, log, "D:\\Backup\\", tool.mode)) << name;
      EXPECT_EQ(c.copiedAgain, linesAfter(platform, "copied again: ")) << name;
      EXPECT_EQ(c.repairFails ? Lines{"big.bin"} : Lines{}, linesAfter(platform, "not in backup: "))
          << name;
    }
  }
}

}  // namespace
}  // namespace vesk
