// The copy tools as the plan runs them, and what each reports: xcopy by its full path in the
// destination, with its listing read for the files it wrote; the shell copy unattended.

#include "actions/copy_tools.h"

#include <gtest/gtest.h>

#include "actions/folder_copy.h"
#include "actions_test_support.h"
#include "fake_platform.h"
#include "platform/failure.h"

namespace vesk {
namespace {

using testing::logTexts;
using testing::splitArguments;
using testing::testLogPath;
using testing::treeOf;
using Lines = std::vector<std::string>;

/// The files that marks name, or "any" when there are none.
Lines written(const SourceTree& tree, const std::optional<TreeMarks>& marks) {
  if (!marks) return {"any"};
  Lines named;
  for (size_t index = 0; index < tree.folders.size(); ++index)
    for (size_t at = 0; at < tree.folders[index].entries.size(); ++at)
      if ((*marks)[index][at]) {
        std::u16string path =
            joinLong(tree.folders[index].relative, tree.folders[index].entries[at].entry.name);
        named.emplace_back(path.begin(), path.end());
      }
  return named;
}

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

TEST(RunXcopy, RunsInTheDestinationAndReportsWhatItsListingTells) {
  const std::string one = "C:\\App\\app.exe\r\n1 File(s) copied\r\n";
  const struct {
    const char* name;
    FakeProcessScript xcopy;
    Lines logged;  // after "doing xcopy", "cd to D:\"
    std::optional<uint64_t> count;
    Lines written;
    std::string programFolder = "C:\\Tools";
    Lines changesBack = {"drive C", "folder C:\\Tools"};
    std::string logPath = testLogPath;
    std::string source = "C:\\App";  // as the folder stage hands it on
    std::string handed = "C:\\App";  // as xcopy is handed it: in full, the current folder E:\Run
  } cases[] = {
      {"a file copied", {.output = one}, {}, 1, {"app.exe"}},
      {"nothing to copy: exit code 1",
       {.exitCode = 1, .output = "0 File(s) copied\r\n"},
       {},
       0,
       {},
       "C:",
       {"drive C", "folder C:\\"}},
      {"a failure: every file may have been written",
       {.exitCode = 5, .output = one},
       {"xcopy ended with exit code 5"},
       1,
       {"any"},
       "\\\\nas\\tools",
       {"folder \\\\nas\\tools"}},
      {"not started", {.failToStart = true}, {"xcopy could not be started"}, std::nullopt, {"any"}},
      {"a listing cut off", {.output = "C:\\App\\app.exe\r\n"}, {}, std::nullopt, {"any"}},
      {"a listing naming a file the walk did not see",
       {.output = "C:\\App\\new.txt\r\n1 File(s) copied\r\n"},
       {},
       1,
       {"any"}},
      {"no listing",
       {},
       {"xcopy listing could not be created: C:\\Gone\\run.logxcp"},
       std::nullopt,
       {"any"},
       "C:\\Tools",
       {"drive C", "folder C:\\Tools"},
       "C:\\Gone\\run.log"},
      {"a source relative to the current drive",
       {.output = "0 File(s) copied\r\n"},
       {},
       0,
       {},
       "C:\\Tools",
       {"drive C", "folder C:\\Tools"},
       testLogPath,
       "\\App",
       "E:\\App"},
      {"a source relative to the current folder",
       {.output = "E:\\Run\\App\\app.exe\r\n1 File(s) copied\r\n"},
       {},
       1,
       {"app.exe"},
       "C:\\Tools",
       {"drive C", "folder C:\\Tools"},
       testLogPath,
       "App",
       "E:\\Run\\App"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    RunLog log{platform.files, platform.system, platform.desktop};
    log.open(testLogPath);
    platform.disk.addFolder("D:\\Backup");
    platform.disk.addFolder("C:\\Tools");
    platform.disk.addFolder("\\\\nas\\tools");
    platform.system.programFolderPath = c.programFolder;
    platform.disk.currentFolder = "E:\\Run";
    platform.processes.processScripts = {c.xcopy};
    const SourceTree tree = treeOf({"app.exe", "ZAVO\\db.properties"});
    const CopyRequest request =
        copyRequestOf(platform, c.source, "D:\\Backup\\", CopyMode::xcopy, c.logPath);
    SCOPED_TRACE(c.name);
    const ToolReport report = runXcopy(platform, log, tree, request);

    Lines expected{"doing xcopy", "cd to D:\\"};
    expected.insert(expected.end(), c.logged.begin(), c.logged.end());
    EXPECT_EQ(expected, logTexts(platform)) << c.name;
    EXPECT_EQ(c.count, report.count) << c.name;
    EXPECT_EQ(c.written, written(tree, report.written)) << c.name;
    Lines changes{"drive D", "folder D:\\Backup\\"};
    changes.insert(changes.end(), c.changesBack.begin(), c.changesBack.end());
    EXPECT_EQ(changes, platform.processes.driveAndFolderChanges) << c.name;
    ASSERT_EQ(1u, platform.processes.commandsStarted.size()) << c.name;
    const StartedCommand& started = platform.processes.commandsStarted[0];
    EXPECT_EQ("C:\\windows\\system32\\xcopy.exe " + c.handed + " /e /s /d /y", started.commandLine);
    EXPECT_EQ("D:\\Backup\\", started.currentFolder) << c.name;
    // Copy lines are logged, never shown; a start that failed shows runAndWait's own box.
    EXPECT_EQ(c.xcopy.failToStart, !platform.desktop.messages.empty());
  }
}

TEST(RunXcopy, ADestinationGoneRaisesToTheCallerAndStartsNothing) {
  for (const char* destination : {"D:\\Gone\\", "E:\\Backup\\"}) {
    FakePlatform platform;
    RunLog log{platform.files, platform.system, platform.desktop};
    log.open(testLogPath);
    platform.disk.addFolder("D:\\");
    const CopyRequest request =
        copyRequestOf(platform, "C:\\App", destination, CopyMode::xcopy, testLogPath);
    EXPECT_THROW(runXcopy(platform, log, treeOf({"a.txt"}), request), Failure) << destination;
    EXPECT_TRUE(platform.processes.commandsStarted.empty());
  }
}

TEST(RunShellCopy, CopiesTheSourcesContentUnattendedAndReportsEveryFileWritten) {
  const struct {
    std::string source;
    ShellCopyResult result;
    Lines logged;  // after "doing full copy"
    std::string from;
  } cases[] = {
      {"C:\\App", {}, {}, "C:\\App\\*"},
      {"E:\\", {}, {}, "E:\\*"},  // a drive root keeps its backslash
      {"C:\\App", {ShellCopyEnd::aborted, 0}, {"full copy aborted"}, "C:\\App\\*"},
      {"C:\\App", {ShellCopyEnd::failed, 0x76}, {"full copy ended with code 118"}, "C:\\App\\*"},
      {"C:\\App",
       {ShellCopyEnd::aborted, 0x76},
       {"full copy aborted", "full copy ended with code 118"},
       "C:\\App\\*"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    RunLog log{platform.files, platform.system, platform.desktop};
    log.open(testLogPath);
    platform.desktop.shellCopyResult = c.result;
    const SourceTree tree = treeOf({"app.exe", "ZAVO\\db.properties", "empty\\"});
    const ToolReport report = runShellCopy(
        platform.desktop, log, tree,
        copyRequestOf(platform, c.source, "D:\\Backup\\", CopyMode::shellCopy, testLogPath));
    Lines expected{"doing full copy"};
    expected.insert(expected.end(), c.logged.begin(), c.logged.end());
    EXPECT_EQ(expected, logTexts(platform)) << c.source;
    EXPECT_EQ(2u, report.count) << c.source;
    EXPECT_FALSE(report.written) << c.source;
    ASSERT_EQ(1u, platform.desktop.shellCopies.size());
    const ShellCopyCall& call = platform.desktop.shellCopies[0];
    EXPECT_EQ(c.from, call.from);
    EXPECT_EQ("D:\\Backup\\", call.to);
    EXPECT_TRUE(call.options.replaceWithoutAsking && call.options.createFoldersWithoutAsking &&
                call.options.noErrorDialog);
    EXPECT_TRUE(platform.processes.driveAndFolderChanges.empty());
  }
}

TEST(FilesListed, TheFilesOfTheTreeThatXcopysListingNames) {
  const struct {
    const char* name;
    std::string listing;
    Lines written;
  } cases[] = {
      {"another letter case", "c:\\app\\SUB\\B.TXT\r\n1 File(s) copied\r\n", {"sub\\b.txt"}},
      {"a file the walk did not see", "C:\\App\\new.txt\r\n1 File(s) copied\r\n", {"any"}},
      {"a folder's name", "C:\\App\\sub\r\n1 File(s) copied\r\n", {"any"}},
      {"a listing cut off", "C:\\App\\a.txt\r\n1 File(s) copied", {"any"}},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    const SourceTree tree = treeOf({"a.txt", "sub\\b.txt"});
    EXPECT_EQ(c.written, written(tree, filesListed(platform.trees, tree, c.listing, {"C:\\App"})))
        << c.name;
  }
}

}  // namespace
}  // namespace vesk
