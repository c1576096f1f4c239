// How xcopy is started and what it is handed: by its full path, with the source as the walk
// listed it and its output in the listing file.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "actions/folder_copy.h"
#include "actions_test_support.h"
#include "copy_fixture.h"
#include "fake_platform.h"

namespace vesk {
namespace {

using testing::CopyFixture;
using testing::logTexts;
using testing::sourceTime;
using testing::splitArguments;

using Lines = std::vector<std::string>;

TEST(XcopyStart, SystemFoldersXcopyWithTheSourceAsOneArgumentAndItsOutputInTheListing) {
  const struct {
    std::string systemFolder, source;
  } cases[] = {
      {"C:\\windows\\system32", "C:\\inst"},
      {"C:\\windows\\system32", "C:\\"},  // a drive root, its backslash kept
      {"C:\\windows\\system32", "C:\\My Apps\\Client"},
      // Nothing between the run and xcopy reads % ^ & | < > in a path.
      {"C:\\windows\\system32", "C:\\%OS%^&App|x"},
      {"C:\\WIN NT\\system32", "C:\\inst"},
  };
  for (const auto& c : cases) {
    const ProcessStart start = xcopyStart(c.systemFolder, c.source, "D:\\logs\\run.log");
    const std::string xcopy = c.systemFolder + "\\xcopy.exe";
    EXPECT_EQ(xcopy, start.applicationName);
    EXPECT_EQ((Lines{xcopy, c.source, "/e", "/s", "/d", "/y"}), splitArguments(start.commandLine))
        << start.commandLine;
    EXPECT_EQ("D:\\logs\\run.logxcp", start.outputPath);
    EXPECT_EQ(WindowMode::maximised, start.window);
  }
  EXPECT_EQ("C:\\windows\\system32\\xcopy.exe C:\\inst /e /s /d /y",
            xcopyStart("C:\\windows\\system32", "C:\\inst", "").commandLine);
}

TEST(CanNameAFolder, RefusesWhatNoNameHolds) {
  const struct {
    std::string path;
    bool folder;
  } cases[] = {
      {"C:\\Apps\\Client", true},
      {"C:\\%OS%^&App", true},
      {"\\\\nas\\share\\App (x86); v1.2 + ~!@#$'`[]{}", true},
      {"\\\\?\\C:\\Apps", true},
      {"C:\\App\"&echo hacked>C:\\hacked.txt&rem \"", false},
      {"C:\\App*", false},
      {"C:\\Ap?", false},
      {"C:\\a<b", false},
      {"C:\\a>b", false},
      {"C:\\a|b", false},
      {"C:\\a\tb", false},
      {"\\\\?\\C:\\Ap?", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.folder, canNameAFolder(c.path)) << c.path;
}

TEST(CopyFolder, XcopyRunsByFullPathInTheDestinationAndReturnsToProgramFolder) {
  CopyFixture f;
  f.copyAll();
  f.platform.addFile("C:\\Tools\\veskbackuplog.txt07xcp", "an earlier run's listing, longer");
  f.platform.processScripts = {{.output = "C:\\App\\app.exe\r\n1 File(s) copied\r\n"}};
  EXPECT_TRUE(f.copy("Y"));
  EXPECT_EQ((Lines{"doing xcopy", "cd to D:\\"}), logTexts(f.platform));
  EXPECT_EQ((Lines{"drive D", "folder D:\\Backup\\", "drive C", "folder C:\\Tools"}),
            f.platform.driveAndFolderChanges);
  ASSERT_EQ(1u, f.platform.commandsStarted.size());
  const StartedCommand& started = f.platform.commandsStarted[0];
  EXPECT_EQ("C:\\windows\\system32\\xcopy.exe", started.applicationName);
  EXPECT_EQ("C:\\windows\\system32\\xcopy.exe C:\\App /e /s /d /y", started.commandLine);
  EXPECT_EQ("C:\\Tools\\veskbackuplog.txt07xcp", started.outputPath);
  EXPECT_EQ(WindowMode::maximised, started.window);
  EXPECT_EQ("D:\\Backup\\", started.currentFolder);
  EXPECT_EQ("C:\\App\\app.exe\r\n1 File(s) copied\r\n",
            f.platform.fileContent("C:\\Tools\\veskbackuplog.txt07xcp"));
  EXPECT_TRUE(f.platform.messages.empty()) << "copy lines are logged, never shown";
}

TEST(CopyFolder, ToolsAreHandedTheSourceThatTheWalkListed) {
  struct Case {
    const char* name;
    std::string source;  // as the folder stage hands it on
    const char* mode;
    std::string xcopySource;  // the argument xcopy gets; empty: xcopy is not started
    std::string shellFrom;    // what the shell copy gets; empty: it is not started
    Lines logged;             // up to the check
  };
  const std::string hacked = "E:\\App\"&echo hacked>C:\\hacked.txt&rem \"";
  const Case cases[] = {
      {"drive root", "E:\\", "Y", "E:\\", "", {"doing xcopy", "cd to D:\\"}},
      {"drive root", "E:\\", "N", "", "E:\\*", {"doing full copy"}},
      // xcopy runs in D:\Backup\, where \App would be D:\App.
      {"from the current drive's root", "\\App", "Y", "E:\\App", "", {"doing xcopy", "cd to D:\\"}},
      {"relative to the current folder",
       "App",
       "Y",
       "E:\\Run\\App",
       "",
       {"doing xcopy", "cd to D:\\"}},
      {"no folder's name", hacked, "Y", "", "", {"not a folder name, not copied: " + hacked}},
      {"no folder's name", hacked, "N", "", "", {"not a folder name, not copied: " + hacked}},
  };
  for (const Case& c : cases) {
    CopyFixture f;
    f.platform.drives.insert('E');
    f.platform.addFile("E:\\a.txt", "a", sourceTime);
    f.platform.addFile("E:\\App\\b.txt", "b", sourceTime);
    f.platform.addFile("E:\\Run\\App\\c.txt", "c", sourceTime);
    f.platform.currentFolder = "E:\\Run";
    f.copy(c.mode, "D:\\Backup\\", c.source);
    Lines lines = logTexts(f.platform);
    lines.resize(std::min(lines.size(), c.logged.size()));
    EXPECT_EQ(c.logged, lines) << c.name << ", mode " << c.mode;
    Lines xcopied, shellCopied;
    for (const StartedCommand& started : f.platform.commandsStarted)
      xcopied.push_back(splitArguments(started.commandLine).at(1));
    for (const ShellCopyCall& call : f.platform.shellCopies) shellCopied.push_back(call.from);
    EXPECT_EQ(c.xcopySource.empty() ? Lines{} : Lines{c.xcopySource}, xcopied) << c.name;
    EXPECT_EQ(c.shellFrom.empty() ? Lines{} : Lines{c.shellFrom}, shellCopied) << c.name;
  }
}

TEST(CopyFolder, ListingThatCannotBeCreatedIsLoggedAndXcopyStillCopies) {
  const struct {
    const char* logPath;
    std::function<void(FakePlatform&)> before;
  } cases[] = {
      {"C:\\Gone\\run.log", [](FakePlatform&) {}},
      {"C:\\Tools\\run.log", [](FakePlatform& p) { p.addFolder("C:\\Tools\\run.logxcp"); }},
      {"C:\\Tools\\run.log",
       [](FakePlatform& p) {
         p.addFile("C:\\Tools\\run.logxcp", "held");
         p.unreadable.insert("C:\\Tools\\run.logxcp");
       }},
  };
  for (const auto& c : cases) {
    CopyFixture f;
    c.before(f.platform);
    f.platform.processScripts = {
        {.onStart = [&f] { f.platform.copyTree("C:\\App", "D:\\Backup"); }}};
    const SourceTree tree = walkSource(f.platform, f.platform.longPathOf("C:\\App"),
                                       f.platform.longPathOf("D:\\Backup\\"));
    EXPECT_TRUE(
        copyFolder(f.platform, f.log, tree, "C:\\App", "D:\\Backup\\", CopyMode::xcopy, c.logPath)
            .complete);
    EXPECT_EQ((Lines{"doing xcopy", "cd to D:\\",
                     "xcopy listing could not be created: " + std::string(c.logPath) + "xcp"}),
              logTexts(f.platform))
        << c.logPath;
  }
}

}  // namespace
}  // namespace vesk
