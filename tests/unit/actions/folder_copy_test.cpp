#include "actions/folder_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "actions/copy_check.h"
#include "actions_test_support.h"
#include "copy_fixture.h"
#include "fake_platform.h"
#include "platform/failure.h"
#include "run/run_settings.h"

namespace vesk {
namespace {

using testing::CopyFixture;
using testing::logTexts;
using testing::sourceTime;
using testing::testLogPath;

using Lines = std::vector<std::string>;

constexpr int64_t twoSeconds = 20'000'000;

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

TEST(CopyFolder, ToolFailureIsLoggedAndTheBackupItselfDecides) {
  struct Case {
    const char* mode;
    FakeProcessScript xcopy;
    ShellCopyResult shell;
    Lines toolLines;
  };
  using End = ShellCopyEnd;
  const Case cases[] = {
      {"Y", {.runsForMs = 10}, {}, {}},
      {"Y", {.runsForMs = 10, .exitCode = 1}, {}, {}},  // "no files found" is a success
      {"Y", {.runsForMs = 10, .exitCode = 2}, {}, {"xcopy ended with exit code 2"}},
      {"Y", {.runsForMs = 10, .exitCode = 5}, {}, {"xcopy ended with exit code 5"}},
      {"Y", {.failToStart = true, .runsForMs = 10}, {}, {"xcopy could not be started"}},
      {"N", {}, {End::aborted, 0}, {"full copy aborted"}},
      {"N", {}, {End::failed, 0x76}, {"full copy ended with code 118"}},
      {"N", {}, {End::aborted, 0x76}, {"full copy aborted", "full copy ended with code 118"}},
  };
  for (const Case& c : cases) {
    for (bool complete : {true, false}) {
      CopyFixture f;
      if (complete) f.copyAll();
      f.platform.processScripts = {c.xcopy};
      f.platform.shellCopyResult = c.shell;
      // A backup left incomplete by the tool is completed by the repair pass.
      EXPECT_TRUE(f.copy(c.mode)) << c.mode << " " << c.toolLines.size();
      Lines lines = logTexts(f.platform);
      lines.erase(lines.begin(), lines.begin() + (std::string(c.mode) == "N" ? 1 : 2));
      Lines expected = c.toolLines;
      if (!complete)
        expected.insert(expected.end(),
                        {"copied again: app.exe", "copied again: ZAVO\\db.properties"});
      EXPECT_EQ(expected, lines) << c.mode << " complete " << complete;
      EXPECT_EQ("folder C:\\Tools", f.platform.driveAndFolderChanges.empty()
                                        ? "folder C:\\Tools"
                                        : f.platform.driveAndFolderChanges.back());
    }
  }
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

TEST(CopyFolder, ShellCopyTakesTheSourcesContentUnattended) {
  CopyFixture f;
  f.copyAll();
  EXPECT_TRUE(f.copy("N"));
  ASSERT_EQ(1u, f.platform.shellCopies.size());
  const ShellCopyCall& call = f.platform.shellCopies[0];
  EXPECT_EQ("C:\\App\\*", call.from);
  EXPECT_EQ("D:\\Backup\\", call.to);
  EXPECT_TRUE(call.options.replaceWithoutAsking);
  EXPECT_TRUE(call.options.createFoldersWithoutAsking);
  EXPECT_TRUE(call.options.noErrorDialog);
  EXPECT_EQ((Lines{"doing full copy"}), logTexts(f.platform));
  EXPECT_TRUE(f.platform.driveAndFolderChanges.empty());
  EXPECT_TRUE(f.platform.commandsStarted.empty());
}

TEST(CompareWithBackup, DecidesFileByFileAndFolderByFolder) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> change;  // to the faithful copy, or to the source
    Lines differences;                          // a name ending in "\" is a folder
  };
  const Case cases[] = {
      {"faithful copy", [](FakePlatform&) {}, {}},
      {"missing file",
       [](FakePlatform& p) { p.files.erase("D:\\Backup\\ZAVO\\db.properties"); },
       {"ZAVO\\db.properties"}},
      {"smaller file",
       [](FakePlatform& p) { p.files["D:\\Backup\\app.exe"].content = "ex"; },
       {"app.exe"}},
      {"larger file",
       [](FakePlatform& p) { p.files["D:\\Backup\\app.exe"].content = "exe!"; },
       {"app.exe"}},
      {"same size, other bytes",
       [](FakePlatform& p) { p.files["D:\\Backup\\app.exe"].content = "EXE"; },
       {}},
      {"missing empty folder",
       [](FakePlatform& p) { p.folders.erase("D:\\Backup\\empty"); },
       {"empty\\"}},
      {"folder where a file should be",
       [](FakePlatform& p) {
         p.files.erase("D:\\Backup\\app.exe");
         p.addFolder("D:\\Backup\\app.exe");
       },
       {"app.exe"}},
      {"file where a folder should be",
       [](FakePlatform& p) {
         p.folders.erase("D:\\Backup\\empty");
         p.addFile("D:\\Backup\\empty", "", sourceTime);
       },
       {"empty\\"}},
      {"missing folder with its files",
       [](FakePlatform& p) {
         p.files.erase("D:\\Backup\\ZAVO\\db.properties");
         p.folders.erase("D:\\Backup\\ZAVO");
       },
       {"ZAVO\\", "ZAVO\\db.properties"}},
      {"letter case beyond ASCII",
       [](FakePlatform& p) {
         p.addFile("C:\\App\\\u00c4rger \u03a9.txt", "a", sourceTime);
         p.addFile("D:\\Backup\\\u00e4rger \u03c9.txt", "a", sourceTime);
         p.files.erase("D:\\Backup\\app.exe");
         p.addFile("D:\\Backup\\APP.EXE", "exe", sourceTime);
       },
       {}},
      {"names that the code page shows alike",
       [](FakePlatform& p) {
         p.addFile("C:\\App\\\u65e5\u672c.txt", "a", sourceTime);
         p.addFile("C:\\App\\\u4e2d\u6587.txt", "b", sourceTime);
         p.addFile("D:\\Backup\\\u65e5\u672c.txt", "a", sourceTime);
       },
       {"??.txt"}},
  };
  for (const Case& c : cases) {
    CopyFixture f;
    f.copyAll();
    c.change(f.platform);
    SourceTree tree = walkSource(f.platform, f.platform.longPathOf("C:\\App"),
                                 f.platform.longPathOf("D:\\Backup\\"));
    CopyJudge judge(f.platform, tree, TimeKeeping::exact);
    Lines found;
    for (const Difference& d : compareWithBackup(f.platform, tree, judge)) {
      found.push_back(f.platform.ansiFromUtf16(d.relative) + (d.isFolder ? "\\" : ""));
      EXPECT_TRUE(d.repairable) << c.name;
    }
    EXPECT_EQ(c.differences, found) << c.name;
  }
}

TEST(CopyFolder, RepairPassCopiesAgainWhatTheToolLeftAndNamesWhatIsStillMissing) {
  struct Case {
    const char* name;
    FakeCopyTool tool;
    std::function<void(FakePlatform&)> before;  // before the copy tool runs
    Lines copiedAgain;
    Lines notInBackup;
  };
  const FakeCopyTool xcopy{.onlyNewer = true, .skipHidden = true};
  const Case cases[] = {
      {"nothing left to repair", xcopy, [](FakePlatform&) {}, {}, {}},
      {"hidden file that xcopy passes over",
       xcopy,
       [](FakePlatform& p) {
         p.addFile("C:\\App\\desktop.ini", "[x]", sourceTime);
         p.files["C:\\App\\desktop.ini"].hidden = true;
       },
       {"desktop.ini"},
       {}},
      {"older copy, replaced by the tool",
       xcopy,
       [](FakePlatform& p) { p.addFile("D:\\Backup\\app.exe", "e", sourceTime - 99 * twoSeconds); },
       {},
       {}},
      {"truncated copy of an earlier run, dated like the source",
       xcopy,
       [](FakePlatform& p) { p.addFile("D:\\Backup\\app.exe", "e", sourceTime); },
       {"app.exe"},
       {}},
      {"half-written copy dated later than the source",
       xcopy,
       [](FakePlatform& p) { p.addFile("D:\\Backup\\app.exe", "e", sourceTime + 99 * twoSeconds); },
       {"app.exe"},
       {}},
      {"source put back to an older version",
       xcopy,
       [](FakePlatform& p) {
         p.addFile("D:\\Backup\\app.exe", "exe2", sourceTime + 99 * twoSeconds);
       },
       {"app.exe"},
       {}},
      {"shell copy on a full disk",
       FakeCopyTool{.truncated = {{"C:\\App\\app.exe", 1}}},
       [](FakePlatform& p) { p.copyFailsAfter["C:\\App\\app.exe"] = 2; },
       {},
       {"app.exe"}},
      {"source file held open with no sharing",
       FakeCopyTool{.truncated = {{"C:\\App\\app.exe", 0}}},
       [](FakePlatform& p) { p.unreadable.insert("C:\\App\\app.exe"); },
       {},
       {"app.exe"}},
      {"a file in the backup where the source has a folder",
       xcopy,
       [](FakePlatform& p) {
         p.addFile("C:\\App\\data\\a.txt", "a", sourceTime);
         p.addFile("D:\\Backup\\data", "", sourceTime);
       },
       {},
       {"data", "data\\a.txt"}},
  };
  for (const char* mode : {"Y", "N"}) {
    for (const Case& c : cases) {
      CopyFixture f;
      c.before(f.platform);
      auto tool = [&f, &c] { f.platform.copyTree("C:\\App", "D:\\Backup", c.tool); };
      f.platform.processScripts = {{.runsForMs = 10, .onStart = tool}};
      f.platform.onShellCopy = tool;
      EXPECT_EQ(c.notInBackup.empty(), f.copy(mode)) << c.name << ", mode " << mode;
      EXPECT_EQ(c.copiedAgain, linesAfter(f.platform, "copied again: ")) << c.name << ", " << mode;
      EXPECT_EQ(c.notInBackup, linesAfter(f.platform, "not in backup: ")) << c.name << ", " << mode;
      for (const std::string& path : c.copiedAgain)
        EXPECT_EQ(f.platform.fileContent("C:\\App\\" + path),
                  f.platform.fileContent("D:\\Backup\\" + path))
            << c.name;
    }
  }
}

TEST(CopyFolder, SourceChangingDuringTheCopyIsComparedAfresh) {
  const struct {
    const char* name;
    std::function<void(FakePlatform&)> during;
    bool completed;
  } cases[] = {
      {"file rewritten",
       [](FakePlatform& p) {
         p.addFile("C:\\App\\app.exe", "exe v2", sourceTime + 5 * twoSeconds);
       },
       true},
      {"file removed", [](FakePlatform& p) { p.files.erase("C:\\App\\app.exe"); }, true},
  };
  for (const auto& c : cases) {
    CopyFixture f;
    f.platform.onShellCopy = [&f, &c] {
      c.during(f.platform);
      f.platform.copyTree("C:\\App", "D:\\Backup");
    };
    EXPECT_EQ(c.completed, f.copy("N")) << c.name;
    EXPECT_EQ(f.platform.fileContent("C:\\App\\app.exe"),
              f.platform.fileContent("D:\\Backup\\app.exe"))
        << c.name;
  }
}

TEST(CopyFolder, TreeTooLongForATool) {
  // D:\Backup is three characters longer than C:\App: the destination's paths decide.
  const std::string fits = pathOfLength("D:\\Backup", 254).substr(10);
  const std::string tooLong = pathOfLength("D:\\Backup", 255).substr(10);
  const std::string shellFits = pathOfLength("D:\\Backup", 259).substr(10);
  const std::string beyondMaxPath = pathOfLength("D:\\Backup", 262).substr(10);
  const struct {
    std::string file;  // relative to the source
    const char* mode;
    Lines logged;  // up to the repair pass
  } cases[] = {
      {fits, "Y", {"doing xcopy", "cd to D:\\"}},
      {tooLong, "Y", {"too long for xcopy: " + tooLong, "doing full copy"}},
      {shellFits, "Y", {"too long for xcopy: " + shellFits, "doing full copy"}},
      {shellFits, "N", {"doing full copy"}},
      // Neither tool is given it; the repair pass copies the whole tree.
      {beyondMaxPath + "\\f",
       "Y",
       {"too long for xcopy: " + beyondMaxPath, "too long for the shell copy: " + beyondMaxPath}},
      {beyondMaxPath + "\\f", "N", {"too long for the shell copy: " + beyondMaxPath}},
  };
  for (const auto& c : cases) {
    CopyFixture f;
    f.platform.addFile("C:\\App\\" + c.file, "x", sourceTime);
    auto copyAll = [&f] { f.platform.copyTree("C:\\App", "D:\\Backup"); };
    f.platform.onShellCopy = copyAll;
    f.platform.processScripts = {{.onStart = copyAll}};
    EXPECT_TRUE(f.copy(c.mode)) << c.file.size();
    Lines lines = logTexts(f.platform);
    lines.resize(std::min(lines.size(), c.logged.size()));
    EXPECT_EQ(c.logged, lines) << c.file.size() << " " << c.mode;
    bool xcopy = c.logged[0] == "doing xcopy";
    bool shell = std::find(c.logged.begin(), c.logged.end(), "doing full copy") != c.logged.end();
    EXPECT_EQ(xcopy ? 1u : 0u, f.platform.commandsStarted.size()) << c.file.size();
    EXPECT_EQ(shell ? 1u : 0u, f.platform.shellCopies.size()) << c.file.size();
    EXPECT_EQ(shell || xcopy, linesAfter(f.platform, "copied again: ").empty()) << c.file.size();
  }
}

TEST(PathsTooLong, ChecksEveryPathInSourceAndDestination) {
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
    SourceTree tree =
        walkSource(platform, platform.longPathOf(c.source), platform.longPathOf(c.destination));
    PathList found = pathsTooLong(platform, tree, c.source, c.destination, xcopyPathLimit);
    EXPECT_EQ(c.found, found.first) << c.name;
    EXPECT_EQ(c.found.size(), found.count) << c.name;
  }
}

TEST(PathsTooLong, TreeBeyondTheWalkLimitsCountsAsTooLong) {
  FakePlatform platform;
  platform.addFile("C:\\S\\a\\b\\c\\d.txt", "");
  auto tooLong = [&platform](WalkLimits limits) {
    SourceTree tree =
        walkSource(platform, platform.longPathOf("C:\\S"), platform.longPathOf("D:\\S\\"), limits);
    return pathsTooLong(platform, tree, "C:\\S", "D:\\S\\", xcopyPathLimit).first;
  };
  EXPECT_EQ(Lines{}, tooLong({3, 10}));
  EXPECT_EQ(Lines{"a\\b\\c"}, tooLong({2, 10}));
  EXPECT_EQ(Lines{"a\\b"}, tooLong({10, 2}));
}

TEST(CopyFolder, SourceOrBackupThatCannotBeListedFails) {
  CopyFixture f;
  f.copyAll();
  EXPECT_FALSE(f.copy("N", "D:\\Backup\\", "C:\\Gone"));
  EXPECT_EQ((Lines{"doing full copy", "not in backup: C:\\Gone"}), logTexts(f.platform));

  CopyFixture g;
  g.platform.unlistable = {"D:\\Backup"};
  EXPECT_FALSE(g.copy("N"));
  EXPECT_EQ((Lines{"doing full copy", "not in backup: C:\\App"}), logTexts(g.platform));

  // A path beyond what even the wide-character functions take is handed to nothing.
  CopyFixture h;
  const std::string endless = "C:\\" + std::string(40'000, 'x');
  EXPECT_FALSE(h.copy("Y", "D:\\Backup\\", endless));
  EXPECT_TRUE(Lines{"too long to copy: " + endless} == logTexts(h.platform));
}

TEST(CopyFolder, LogsTheFirstTenPathsAndCountsTheRest) {
  for (int missing : {10, 11, 13}) {
    for (bool copyFails : {false, true}) {
      CopyFixture f;
      f.copyAll();
      for (int i = 0; i < missing; ++i) {
        std::string name = "C:\\App\\data\\f" + std::to_string(10 + i) + ".dat";
        f.platform.addFile(name, "x", sourceTime);
        if (copyFails) f.platform.copyFailsAfter[name] = 0;
      }
      f.platform.addFolder("D:\\Backup\\data");
      EXPECT_EQ(!copyFails, f.copy("N"));
      const std::string prefix = copyFails ? "not in backup: " : "copied again: ";
      Lines expected{"doing full copy"};
      for (int i = 0; i < 10; ++i)
        expected.push_back(prefix + "data\\f" + std::to_string(10 + i) + ".dat");
      if (missing > 10) expected.push_back(prefix + std::to_string(missing - 10) + " more");
      EXPECT_EQ(expected, logTexts(f.platform)) << missing << " missing";
    }
  }
}

/// The differences of the backup D:\Backup from the source C:\App, named as in the run log.
Lines differencesOf(FakePlatform& platform, const std::string& destination = "D:\\Backup\\",
                    WalkLimits limits = {}) {
  SourceTree tree = walkSource(platform, platform.longPathOf("C:\\App"),
                               platform.longPathOf(destination), limits);
  CopyJudge judge(platform, tree, TimeKeeping::exact);
  Lines found;
  for (const Difference& d : compareWithBackup(platform, tree, judge))
    found.push_back((d.relative.empty() ? "C:\\App" : platform.ansiFromUtf16(d.relative)) +
                    (d.repairable ? "" : " (unknown)"));
  return found;
}

TEST(CompareWithBackup, SkipsTheDestinationInsideTheSource) {
  FakePlatform platform;
  platform.addFile("C:\\App\\a.txt", "a", sourceTime);
  platform.addFile("C:\\App\\Backup\\a.txt", "a", sourceTime);
  platform.addFile("C:\\App\\Backup\\Backup\\a.txt", "a", sourceTime);
  EXPECT_EQ(Lines{}, differencesOf(platform, "c:\\app\\BACKUP\\"));
}

TEST(CompareWithBackup, FolderThatCannotBeListedCountsOnce) {
  const struct {
    const char* name;
    Lines inDestination;
  } cases[] = {
      {"parent missing", {}}, {"folder missing", {"sub"}}, {"folder there", {"sub", "sub\\deep"}}};
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.unlistable = {"C:\\App\\sub\\deep"};
    platform.addFile("C:\\App\\sub\\deep\\f.txt", "f", sourceTime);
    platform.addFolder("D:\\Backup");
    for (const std::string& folder : c.inDestination) platform.addFolder("D:\\Backup\\" + folder);
    Lines expected = c.inDestination.empty() ? Lines{"sub", "sub\\deep (unknown)"}
                                             : Lines{"sub\\deep (unknown)"};
    EXPECT_EQ(expected, differencesOf(platform)) << c.name;
  }
}

TEST(CompareWithBackup, DestinationMissingAltogetherFails) {
  FakePlatform platform;
  platform.addFolder("C:\\App");
  EXPECT_EQ(Lines{"C:\\App (unknown)"}, differencesOf(platform));
}

TEST(CompareWithBackup, WalkIsBoundedAndDeepTreesDoNotRecurse) {
  FakePlatform platform;
  std::string source = "C:\\App", copy = "D:\\Backup";
  for (int level = 0; level < 200; ++level) {
    source += "\\d";
    copy += "\\d";
  }
  platform.addFile(source + "\\a.txt", "a", sourceTime);
  platform.addFile(copy + "\\a.txt", "a", sourceTime);

  EXPECT_EQ(Lines{}, differencesOf(platform, "D:\\Backup\\", {500, 1000}));
  EXPECT_EQ(Lines{"d\\d\\d\\d (unknown)"}, differencesOf(platform, "D:\\Backup\\", {3, 1000}));
  EXPECT_EQ(Lines{"d\\d (unknown)"}, differencesOf(platform, "D:\\Backup\\", {500, 2}));
}

TEST(CopyFolder, CountsWhatTheBackupHoldsAndWhatTheToolCopied) {
  const std::string listing =
      "C:\\App\\app.exe\r\nC:\\App\\ZAVO\\db.properties\r\n2 File(s) copied\r\n";
  const struct {
    const char* name;
    const char* mode;
    bool toolCopies;
    std::function<void(FakePlatform&)> before;
    CopyTool tool;
    std::optional<uint64_t> toolCopied;
    BackupCounts counts;  // notInBackup by its count
  } cases[] = {
      {"xcopy copies all", "Y", true, [](FakePlatform&) {}, CopyTool::xcopy, 2, {2, 2, 4, 0, {}}},
      {"xcopy copies nothing and leaves no listing",
       "Y",
       false,
       [](FakePlatform&) {},
       CopyTool::xcopy,
       std::nullopt,
       {2, 2, 4, 2, {}}},
      {"a file that cannot be copied",
       "Y",
       false,
       [](FakePlatform& p) { p.copyFailsAfter["C:\\App\\app.exe"] = 0; },
       CopyTool::xcopy,
       std::nullopt,
       {1, 2, 1, 1, {1, {}}}},
      {"the shell copy is given every file",
       "N",
       true,
       [](FakePlatform&) {},
       CopyTool::shellCopy,
       2,
       {2, 2, 4, 0, {}}},
  };
  for (const auto& c : cases) {
    CopyFixture f;
    c.before(f.platform);
    auto tool = [&f, &c, &listing] {
      if (!c.toolCopies) return;
      f.platform.copyTree("C:\\App", "D:\\Backup");
      f.platform.files[std::string(testLogPath) + "xcp"].content = listing;
    };
    f.platform.processScripts = {{false, 10, 0, tool}};
    f.platform.onShellCopy = tool;
    const FolderCopyResult result = f.copyResult(c.mode);
    EXPECT_EQ(c.counts.notInBackup.count == 0, result.complete) << c.name;
    EXPECT_EQ(c.tool, result.tool) << c.name;
    EXPECT_EQ(c.toolCopied, result.toolCopied) << c.name;
    EXPECT_EQ(summaryLine(c.counts), summaryLine(result.counts)) << c.name;
    EXPECT_EQ(c.counts.notInBackup.count, result.counts.notInBackup.count) << c.name;
  }
  EXPECT_EQ("backup holds 10000 files in 511 folders, 314572800 bytes; copied again: 0",
            summaryLine({10000, 511, 314572800, 0, {}}));
}

}  // namespace
}  // namespace vesk
