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

/// Lists folders as the Win32 "A" functions do: a folder whose listing pattern (the path with
/// "\*") is longer than MAX_PATH allows cannot be listed.
class MaxPathPlatform : public FakePlatform {
 public:
  std::optional<std::vector<FolderEntry>> listFolder(const std::string& path) override {
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (folder.size() + 2 > 259) return std::nullopt;
    return FakePlatform::listFolder(path);
  }
};

/// folder extended by one or two levels to exactly length characters (at least two more).
std::string pathOfLength(const std::string& folder, size_t length) {
  size_t more = length - folder.size();
  if (more > 200) return pathOfLength(folder + "\\" + std::string(99, 'd'), length);
  return folder + "\\" + std::string(more - 1, 'e');
}

/// The lines of the log that begin with prefix, without it.
Lines linesAfter(const FakePlatform& platform, const std::string& prefix) {
  Lines found;
  for (const std::string& text : logTexts(platform))
    if (text.rfind(prefix, 0) == 0) found.push_back(text.substr(prefix.size()));
  return found;
}

/// A platform with an open run log, the source C:\App (two files and an empty folder) and the
/// folder D:\Backup\.
struct CopyFixture {
  MaxPathPlatform platform;
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

TEST(CopyFolder, NetworkDestinationIsCopiedByTheShellCopy) {
  CopyFixture f;
  f.platform.addFolder("\\\\nas\\share\\bk");
  f.platform.onShellCopy = [&f] {
    f.platform.addFile("\\\\nas\\share\\bk\\app.exe", "exe", sourceTime);
    f.platform.addFile("\\\\nas\\share\\bk\\ZAVO\\db.properties", "x", sourceTime);
    f.platform.addFolder("\\\\nas\\share\\bk\\empty");
  };
  EXPECT_TRUE(f.copy("Y", "\\\\nas\\share\\bk\\"));
  EXPECT_EQ(
      (Lines{"xcopy cannot copy into a network folder: \\\\nas\\share\\bk\\", "doing full copy"}),
      logTexts(f.platform));
  EXPECT_TRUE(f.platform.commandsStarted.empty());
  EXPECT_TRUE(f.platform.driveAndFolderChanges.empty());
}

TEST(CopyFolder, NetworkProgramFolderChangesNoDriveOnTheWayBack) {
  CopyFixture f;
  f.copyAll();
  f.platform.addFolder("\\\\nas\\tools");
  f.platform.programFolderPath = "\\\\nas\\tools";
  EXPECT_TRUE(f.copy("Y"));
  EXPECT_EQ((Lines{"drive D", "folder D:\\Backup\\", "folder \\\\nas\\tools"}),
            f.platform.driveAndFolderChanges);
}

TEST(CopyFolder, FailedToolSaysWhy) {
  const struct {
    bool failToStart;
    int64_t runsForMs;
    uint32_t exitCode;
    const char* line;
  } cases[] = {{false, 10, 4, "xcopy ended with exit code 4"},
               {true, 10, 0, "xcopy could not be started"}};
  for (const auto& c : cases) {
    CopyFixture f;
    f.copyAll();
    f.platform.processScripts.push_back({c.failToStart, c.runsForMs, c.exitCode, nullptr});
    EXPECT_FALSE(f.copy("Y"));
    EXPECT_EQ(1u, linesAfter(f.platform, c.line).size()) << c.line;
  }
  CopyFixture f;
  f.copyAll();
  f.platform.shellCopyResult = {0x76, true};
  EXPECT_FALSE(f.copy("N"));
  EXPECT_EQ((Lines{"doing full copy", "full copy aborted", "full copy ended with code 118"}),
            logTexts(f.platform));
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
      EXPECT_EQ(c.notInBackup, linesAfter(f.platform, "not in backup: "))
          << c.name << ", mode " << mode;
    }
  }
}

TEST(CopyFolder, TreeTooLongForXcopyGoesToTheShellCopy) {
  // D:\Backup is three characters longer than C:\App: the destination's paths decide.
  const std::string fits = pathOfLength("D:\\Backup", 254).substr(10);
  const std::string tooLong = pathOfLength("D:\\Backup", 255).substr(10);
  const std::string beyondMaxPath = pathOfLength("D:\\Backup", 262).substr(10);
  const struct {
    std::string file;  // relative to the source
    bool copied;
    Lines logged;
  } cases[] = {
      {fits, true, {"doing xcopy", "cd to D:\\"}},
      {tooLong, true, {"too long for xcopy: " + tooLong, "doing full copy"}},
      // The shell copy cannot make it either, and the check names it.
      {beyondMaxPath + "\\f",
       false,
       {"too long for xcopy: " + beyondMaxPath, "doing full copy",
        "not in backup: " + beyondMaxPath}},
  };
  for (const auto& c : cases) {
    CopyFixture f;
    f.copyAll();
    f.platform.addFile("C:\\App\\" + c.file, "x", sourceTime);
    auto copyWhatFits = [&f] {
      for (const std::string& path : std::set(f.platform.folders))
        if (path.rfind("C:\\App\\", 0) == 0 && path.size() + 3 < 260)
          f.platform.addFolder("D:\\Backup" + path.substr(6));
      for (const auto& [path, file] : std::map(f.platform.files))
        if (path.rfind("C:\\App\\", 0) == 0 && path.size() + 3 < 260)
          f.platform.addFile("D:\\Backup" + path.substr(6), file.content, file.lastWriteTime);
    };
    f.platform.onShellCopy = copyWhatFits;
    f.platform.processScripts = {{false, 0, 0, copyWhatFits}};
    EXPECT_EQ(c.copied, f.copy("Y")) << c.file.size();
    EXPECT_EQ(c.logged, logTexts(f.platform)) << c.file.size();
    bool xcopy = c.logged[0] == "doing xcopy";
    EXPECT_EQ(xcopy ? 1u : 0u, f.platform.commandsStarted.size()) << c.file.size();
    EXPECT_EQ(xcopy ? 0u : 1u, f.platform.shellCopies.size()) << c.file.size();
  }
}

TEST(FindPathsTooLongForXcopy, ChecksEveryPathInSourceAndDestination) {
  const std::string file254 = pathOfLength("C:\\S", 254), file255 = pathOfLength("C:\\S", 255);
  const std::string folder252 = pathOfLength("C:\\S", 252), folder253 = pathOfLength("C:\\S", 253);
  const std::string longName(250, 'n');
  const struct {
    const char* name;
    Lines files;  // in the source; a name ending in "\" is a folder
    std::string destination;
    Lines found;
    std::string source = "C:\\S";
  } cases[] = {
      {"file of 254 characters", {file254}, "D:\\S\\", {}},
      {"file of 255 characters", {file255}, "D:\\S\\", {file255.substr(5)}},
      {"folder of 252 characters and its \\*", {folder252 + "\\"}, "D:\\S\\", {}},
      {"folder of 253 characters and its \\*",
       {folder253 + "\\"},
       "D:\\S\\",
       {folder253.substr(5)}},
      {"longer destination", {file254}, "D:\\Sx\\", {file254.substr(5)}},
      {"nothing below a folder too long",
       {folder253 + "\\a\\b.txt", "C:\\S\\long\\" + longName},
       "D:\\S\\",
       {folder253.substr(5), "long\\" + longName}},
      {"destination inside the source", {"C:\\S\\bk\\" + longName}, "C:\\S\\bk\\", {}},
      {"source too long", {file255 + "\\"}, "D:\\S\\", {file255}, file255},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.addFolder("C:\\S");
    for (const std::string& path : c.files)
      path.back() == '\\' ? platform.addFolder(path.substr(0, path.size() - 1))
                          : platform.addFile(path, "");
    CopyCheck found = findPathsTooLongForXcopy(platform, c.source, c.destination);
    EXPECT_EQ(c.found, found.firstFailures) << c.name;
    EXPECT_EQ(c.found.size(), found.failures) << c.name;
  }
}

TEST(FindPathsTooLongForXcopy, TreeBeyondTheWalkLimitsCountsAsTooLong) {
  FakePlatform platform;
  platform.addFile("C:\\S\\a\\b\\c\\d.txt", "");
  EXPECT_EQ(0u, findPathsTooLongForXcopy(platform, "C:\\S", "D:\\S\\", {3, 10}).failures);
  EXPECT_EQ(Lines{"a\\b\\c"},
            findPathsTooLongForXcopy(platform, "C:\\S", "D:\\S\\", {2, 10}).firstFailures);
  EXPECT_EQ(Lines{"a\\b"},
            findPathsTooLongForXcopy(platform, "C:\\S", "D:\\S\\", {10, 2}).firstFailures);
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

TEST(CheckCopy, FolderBeyondMaxPathCountsOnce) {
  // The deep folder shows in its parent's listing, but cannot be listed itself.
  const std::string deep = pathOfLength("C:\\App", 258).substr(7);
  const std::string parent = deep.substr(0, deep.find('\\'));
  const struct {
    const char* name;
    Lines inDestination;
    Lines failures;
  } cases[] = {
      {"parent missing", {}, {parent, deep}},
      {"deep folder missing", {parent}, {deep}},
      {"deep folder there", {parent, deep}, {deep}},
  };
  for (const auto& c : cases) {
    MaxPathPlatform platform;
    platform.addFile("C:\\App\\" + deep + "\\f.txt", "f", sourceTime);
    platform.addFolder("D:\\Backup");
    for (const std::string& folder : c.inDestination) platform.addFolder("D:\\Backup\\" + folder);
    CopyCheck check = checkCopy(platform, "C:\\App", "D:\\Backup\\");
    EXPECT_EQ(c.failures, check.firstFailures) << c.name;
    EXPECT_EQ(c.failures.size(), check.failures) << c.name;
  }
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
