#include "actions/folder_copy.h"

#include <gtest/gtest.h>

#include "actions_test_support.h"
#include "fake_platform.h"
#include "platform/failure.h"

namespace vesk {
namespace {

using testing::logTexts;
using testing::testLogPath;

using Lines = std::vector<std::string>;

constexpr int64_t sourceTime = 133'000'000'000'000'000;
constexpr int64_t twoSeconds = 20'000'000;

/// A platform with an open run log, the source C:\App (two files and an empty folder) and the
/// folder D:\Backup\.
struct CopyFixture {
  FakePlatform platform;
  RunLog log{platform};

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
  bool copy(const std::string& mode, const std::string& destination = "D:\\Backup\\") {
    return copyFolder(platform, log, "C:\\App", destination, mode, testLogPath);
  }
};

TEST(XcopyCommandLine, IsExactlyTheDocumentedLine) {
  EXPECT_EQ("cmd /c  xcopy \"C:\\inst\" /e /s /d /y >\"D:\\logs\\run.logxcp\"",
            xcopyCommandLine("C:\\inst", "D:\\logs\\run.log"));
}

TEST(CopyFolder, OnlyModeNExactlyUsesTheShellCopy) {
  const struct {
    const char* mode;
    bool shell;
  } cases[] = {{"N", true}, {"n", false}, {"Y", false}, {"", false}, {"NN", false}, {" N", false}};
  for (const auto& c : cases) {
    CopyFixture f;
    f.copyAll();
    f.copy(c.mode);
    EXPECT_EQ(c.shell ? 1u : 0u, f.platform.shellCopies.size()) << "mode " << c.mode;
    EXPECT_EQ(c.shell ? 0u : 1u, f.platform.commandsStarted.size()) << "mode " << c.mode;
  }
}

TEST(CopyFolder, XcopyRunsCmdByFullPathInTheDestinationAndReturnsToProgramFolder) {
  CopyFixture f;
  f.copyAll();
  EXPECT_TRUE(f.copy("Y"));
  EXPECT_EQ((Lines{"doing xcopy", "cd to D:\\"}), logTexts(f.platform));
  EXPECT_EQ((Lines{"drive D", "folder D:\\Backup\\", "drive C", "folder C:\\Tools"}),
            f.platform.driveAndFolderChanges);
  ASSERT_EQ(1u, f.platform.commandsStarted.size());
  const StartedCommand& started = f.platform.commandsStarted[0];
  EXPECT_EQ("cmd /c  xcopy \"C:\\App\" /e /s /d /y >\"C:\\Tools\\veskbackuplog.txt07xcp\"",
            started.commandLine);
  EXPECT_EQ("C:\\windows\\system32\\cmd.exe", started.applicationName);
  EXPECT_EQ(3, started.showWindow);
  EXPECT_EQ("D:\\Backup\\", started.currentFolder);
  EXPECT_TRUE(f.platform.messages.empty()) << "copy lines are logged, never shown";
}

TEST(CopyFolder, NetworkPathsChangeNoDrive) {
  CopyFixture f;
  f.platform.addFile("\\\\nas\\share\\bk\\app.exe", "exe", sourceTime);
  f.platform.addFile("\\\\nas\\share\\bk\\ZAVO\\db.properties", "x", sourceTime);
  f.platform.addFolder("\\\\nas\\share\\bk\\empty");
  f.platform.addFolder("\\\\nas\\tools");
  f.platform.programFolderPath = "\\\\nas\\tools";
  EXPECT_TRUE(f.copy("Y", "\\\\nas\\share\\bk\\"));
  EXPECT_EQ((Lines{"doing xcopy"}), logTexts(f.platform));
  EXPECT_EQ((Lines{"folder \\\\nas\\share\\bk\\", "folder \\\\nas\\tools"}),
            f.platform.driveAndFolderChanges);
}

TEST(CopyFolder, ProgramAtDriveRootReturnsToTheRoot) {
  CopyFixture f;
  f.copyAll();
  f.platform.programFolderPath = "C:";
  f.copy("Y");
  EXPECT_EQ((Lines{"drive D", "folder D:\\Backup\\", "drive C", "folder C:\\"}),
            f.platform.driveAndFolderChanges);
}

TEST(CopyFolder, MissingDestinationFolderRaisesToTheCaller) {
  CopyFixture f;
  EXPECT_THROW(f.copy("Y", "D:\\Gone\\"), Failure);
  EXPECT_THROW(f.copy("Y", "E:\\Backup\\"), Failure);
  EXPECT_TRUE(f.platform.commandsStarted.empty());
}

TEST(CopyFolder, XcopySucceedsOnlyWithExitCodeZeroOrOne) {
  const struct {
    bool failToStart;
    uint32_t exitCode;
    bool expected;
  } cases[] = {{false, 0, true},  {false, 1, true},  {false, 2, false},
               {false, 4, false}, {false, 5, false}, {true, 0, false}};
  for (const auto& c : cases) {
    CopyFixture f;
    f.copyAll();
    FakeProcessScript script;
    script.failToStart = c.failToStart;
    script.exitCode = c.exitCode;
    f.platform.processScripts = {script};
    EXPECT_EQ(c.expected, f.copy("Y")) << "exit code " << c.exitCode << " start " << !c.failToStart;
    EXPECT_EQ("folder C:\\Tools", f.platform.driveAndFolderChanges.back());
  }
}

TEST(CopyFolder, ShellCopyPassesDoubleNulListsAndNoErrorUiFlags) {
  CopyFixture f;
  f.copyAll();
  EXPECT_TRUE(f.copy("N"));
  EXPECT_EQ((Lines{"C:\\App\\*|| -> D:\\Backup\\|| flags 1552"}), f.platform.shellCopies);
  EXPECT_EQ((Lines{"doing full copy"}), logTexts(f.platform));
  EXPECT_TRUE(f.platform.driveAndFolderChanges.empty());
  EXPECT_TRUE(f.platform.commandsStarted.empty());
}

TEST(CopyFolder, ShellCopyFailsWhenAbortedOrWithAnErrorCode) {
  const struct {
    int returnCode;
    bool aborted;
    bool expected;
  } cases[] = {{0, false, true}, {0, true, false}, {0x76, false, false}, {0x402, true, false}};
  for (const auto& c : cases) {
    CopyFixture f;
    f.copyAll();
    f.platform.shellCopyResult = {c.returnCode, c.aborted};
    EXPECT_EQ(c.expected, f.copy("N")) << c.returnCode << " " << c.aborted;
  }
}

TEST(CopyFolder, VerifiesTheCopyInBothModes) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> damage;
    Lines notInBackup;
  };
  const Case cases[] = {
      {"faithful copy", [](FakePlatform&) {}, {}},
      {"missing file",
       [](FakePlatform& p) { p.files.erase("D:\\Backup\\ZAVO\\db.properties"); },
       {"ZAVO\\db.properties"}},
      {"file older by more than 2 s",
       [](FakePlatform& p) { p.files["D:\\Backup\\app.exe"].lastWriteTime -= twoSeconds + 1; },
       {"app.exe"}},
      {"file older by 2 s (FAT)",
       [](FakePlatform& p) { p.files["D:\\Backup\\app.exe"].lastWriteTime -= twoSeconds; },
       {}},
      {"newer file in the destination",
       [](FakePlatform& p) { p.files["D:\\Backup\\app.exe"].lastWriteTime += 1'000 * twoSeconds; },
       {}},
      {"missing empty folder",
       [](FakePlatform& p) { p.folders.erase("D:\\Backup\\empty"); },
       {"empty"}},
      {"folder where a file should be",
       [](FakePlatform& p) {
         p.files.erase("D:\\Backup\\app.exe");
         p.addFolder("D:\\Backup\\app.exe");
       },
       {"app.exe"}},
      {"missing folder with its files",
       [](FakePlatform& p) {
         p.files.erase("D:\\Backup\\ZAVO\\db.properties");
         p.folders.erase("D:\\Backup\\ZAVO");
       },
       {"ZAVO", "ZAVO\\db.properties"}},
      {"names differing in letter case only",
       [](FakePlatform& p) {
         p.files.erase("D:\\Backup\\app.exe");
         p.addFile("D:\\Backup\\APP.EXE", "exe", sourceTime);
       },
       {}},
  };
  for (const char* mode : {"Y", "N"}) {
    for (const Case& c : cases) {
      CopyFixture f;
      f.copyAll();
      c.damage(f.platform);
      EXPECT_EQ(c.notInBackup.empty(), f.copy(mode)) << c.name << ", mode " << mode;
      Lines logged;
      for (const std::string& text : logTexts(f.platform))
        if (text.rfind("not in backup: ", 0) == 0) logged.push_back(text.substr(15));
      EXPECT_EQ(c.notInBackup, logged) << c.name << ", mode " << mode;
    }
  }
}

TEST(CopyFolder, MissingSourceFailsTheCheck) {
  CopyFixture f;
  f.copyAll();
  EXPECT_FALSE(copyFolder(f.platform, f.log, "C:\\Gone", "D:\\Backup\\", "N", testLogPath));
  EXPECT_EQ((Lines{"doing full copy", "not in backup: C:\\Gone"}), logTexts(f.platform));
}

TEST(CopyFolder, LogsTheFirstTenFailuresAndCountsTheRest) {
  for (int missing : {10, 11, 13}) {
    CopyFixture f;
    f.copyAll();
    for (int i = 0; i < missing; ++i)
      f.platform.addFile("C:\\App\\data\\f" + std::to_string(10 + i) + ".dat", "", sourceTime);
    f.platform.addFolder("D:\\Backup\\data");
    EXPECT_FALSE(f.copy("N"));
    Lines expected{"doing full copy"};
    for (int i = 0; i < 10; ++i)
      expected.push_back("not in backup: data\\f" + std::to_string(10 + i) + ".dat");
    if (missing > 10)
      expected.push_back("not in backup: " + std::to_string(missing - 10) + " more");
    EXPECT_EQ(expected, logTexts(f.platform)) << missing << " missing";
  }
}

TEST(CheckCopy, SkipsTheDestinationInsideTheSource) {
  FakePlatform platform;
  platform.addFile("C:\\App\\a.txt", "a", sourceTime);
  platform.addFile("C:\\App\\Backup\\a.txt", "a", sourceTime);
  platform.addFile("C:\\App\\Backup\\Backup\\a.txt", "a", sourceTime);
  CopyCheck check = checkCopy(platform, "C:\\App", "c:\\app\\BACKUP\\");
  EXPECT_EQ(0u, check.failures) << (check.firstFailures.empty() ? "" : check.firstFailures[0]);
}

TEST(CheckCopy, DestinationMissingAltogetherFails) {
  FakePlatform platform;
  platform.addFolder("C:\\App");
  CopyCheck check = checkCopy(platform, "C:\\App", "D:\\Backup\\");
  EXPECT_EQ(1u, check.failures);
  EXPECT_EQ(Lines{"C:\\App"}, check.firstFailures);
}

TEST(CheckCopy, WalkIsBoundedAndDeepTreesDoNotRecurse) {
  FakePlatform platform;
  std::string source = "C:\\App", copy = "D:\\Backup";
  for (int level = 0; level < 200; ++level) {
    source += "\\d";
    copy += "\\d";
  }
  platform.addFile(source + "\\a.txt", "a", sourceTime);
  platform.addFile(copy + "\\a.txt", "a", sourceTime);

  EXPECT_EQ(0u, checkCopy(platform, "C:\\App", "D:\\Backup\\", {500, 1000}).failures);

  CopyCheck tooDeep = checkCopy(platform, "C:\\App", "D:\\Backup\\", {3, 1000});
  EXPECT_EQ(1u, tooDeep.failures);
  EXPECT_EQ(Lines{"d\\d\\d\\d"}, tooDeep.firstFailures);

  CopyCheck tooMany = checkCopy(platform, "C:\\App", "D:\\Backup\\", {500, 2});
  EXPECT_EQ(1u, tooMany.failures);
  EXPECT_EQ(Lines{"d\\d"}, tooMany.firstFailures);
}

}  // namespace
}  // namespace vesk
