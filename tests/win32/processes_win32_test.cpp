// Starting and waiting for processes, the wall clock, and the current drive and folder. The child
// is this test program itself (see main.cpp).

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::fileText;
using testing::inQuotes;
using testing::selfPath;
using testing::TempFolder;

constexpr int endedWithin = 30000;  // ms: Wine starts a process in well under a second

class Win32ProcessesTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentDirectoryA(startFolder.c_str()); }

  /// Starts this program with args, waits for its end and gives its exit code.
  std::optional<uint32_t> exitCodeOf(const std::string& applicationName,
                                     const std::string& commandLine,
                                     const std::string& outputPath = "") {
    ProcessToken child = processes
                             .startProcess({.applicationName = applicationName,
                                            .commandLine = commandLine,
                                            .outputPath = outputPath})
                             .process;
    EXPECT_EQ(WaitResult::ended, processes.waitForProcess(child, endedWithin)) << commandLine;
    auto code = processes.processExitCode(child);
    processes.closeProcess(child);
    return code;
  }

  win32::Win32Processes processes;
  win32::Win32System system;
  std::string self = selfPath();
  std::string startFolder = testing::currentFolder();
  TempFolder temp;
};

TEST_F(Win32ProcessesTest, ExitCodeOfAnEndedChild) {
  // 259 is STILL_ACTIVE, which a program may also end with.
  for (uint32_t code : {0u, 3u, 259u})
    EXPECT_EQ(code, exitCodeOf(self, inQuotes(self) + " --exit-with " + std::to_string(code)));
  EXPECT_EQ(5u, exitCodeOf("", inQuotes(self) + " --exit-with 5")) << "found through the line";
}

TEST_F(Win32ProcessesTest, ProgramNamedByAPathOfMaxPathOrMore) {
  // Going round by "..", the name is long and the program's full path short: it runs.
  const size_t cut = self.find_last_of('\\');
  const std::string folder = self.substr(0, cut), name = self.substr(cut + 1);
  const std::string last = folder.substr(folder.find_last_of('\\'));  // "\\build" or so
  std::string roundabout = folder;
  while (roundabout.size() < 2 * MAX_PATH) roundabout += "\\.." + last;
  roundabout += "\\" + name;
  EXPECT_EQ(5u, exitCodeOf(roundabout, inQuotes(roundabout) + " --exit-with 5"));

  // A copy whose full path is that long is refused, not started.
  std::string deep = temp.path;
  auto longForm = [](const std::string& path) {
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());
  };
  for (int level = 0; level < 3; ++level) {
    deep += "\\" + std::string(100, 'd');
    ASSERT_TRUE(CreateDirectoryW(longForm(deep).c_str(), nullptr));
  }
  const std::string deepProgram = deep + "\\p.exe";
  ASSERT_TRUE(CopyFileW(longForm(self).c_str(), longForm(deepProgram).c_str(), FALSE));
  try {
    processes.startProcess({.applicationName = deepProgram, .commandLine = "p.exe"});
    ADD_FAILURE() << "started a program named by " << deepProgram.size() << " characters";
  } catch (const Failure&) {
  }
  const std::string top = temp / std::string(100, 'd');
  testing::removeWideTree(std::u16string(top.begin(), top.end()).insert(0, u"\\\\?\\"));
}

TEST_F(Win32ProcessesTest, ChildStillRunning) {
  ProcessToken child =
      processes
          .startProcess({.applicationName = self, .commandLine = inQuotes(self) + " --sleep 60"})
          .process;
  EXPECT_EQ(WaitResult::stillRunning, processes.waitForProcess(child, 250));
  EXPECT_FALSE(processes.processExitCode(child).has_value());
  TerminateProcess(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(child)), 9);
  EXPECT_EQ(WaitResult::ended, processes.waitForProcess(child, endedWithin));
  EXPECT_EQ(9u, processes.processExitCode(child));
  processes.closeProcess(child);
}

TEST_F(Win32ProcessesTest, WaitOnNoProcessFails) {
  EXPECT_EQ(WaitResult::failed, processes.waitForProcess(0, 10));
  EXPECT_FALSE(processes.processExitCode(0).has_value());
}

TEST_F(Win32ProcessesTest, ProgramThatCannotBeStarted) {
  const struct {
    std::string applicationName, commandLine;
  } cases[] = {
      {"", "C:\\no\\such\\program.exe"},
      {"", "no_such_program_anywhere --x"},
      {temp / "missing.exe", "missing.exe"},
      {"", ""},
      {"", "cmd /c exit 0" + std::string(1, '\0') + "x"},
  };
  for (const auto& c : cases) {
    try {
      processes.startProcess({.applicationName = c.applicationName, .commandLine = c.commandLine});
      ADD_FAILURE() << "started: " << c.commandLine;
    } catch (const Failure& failure) {
      EXPECT_FALSE(failure.detail.empty()) << c.commandLine;
      EXPECT_EQ(std::string::npos, failure.detail.find_first_of("\r\n")) << failure.detail;
    }
  }
}

TEST_F(Win32ProcessesTest, ChildInheritsFolderAndGetsItsWindowModeAndVariable) {
  processes.changeFolder(temp.path);
  std::string start = temp / "start.txt", env = temp / "env.txt";
  EXPECT_EQ(0u, exitCodeOf(self, inQuotes(self) + " --print-start " + inQuotes(start)));
  EXPECT_EQ(0u,
            exitCodeOf(self, inQuotes(self) + " --print-env NoDefaultCurrentDirectoryInExePath " +
                                 inQuotes(env)));
  // WindowMode::maximised reaches the child as the show code SW_SHOWMAXIMIZED.
  EXPECT_EQ(temp.path + "\n" + std::to_string(SW_SHOWMAXIMIZED), fileText(start));
  EXPECT_EQ("1", fileText(env));
}

TEST_F(Win32ProcessesTest, OutputAndErrorsGoToTheFileAndInputIsEmpty) {
  const std::string echo = inQuotes(self) + " --echo-stdio";
  // Emptied first, as a command interpreter's ">" does, and taken from the current folder
  // when relative.
  ASSERT_TRUE(testing::writeFile(temp / "listing.txt", std::string(100, 'x')));
  processes.changeFolder(temp.path);
  ProcessToken child =
      processes
          .startProcess({.applicationName = self, .commandLine = echo, .outputPath = "listing.txt"})
          .process;
  EXPECT_EQ(WaitResult::ended, processes.waitForProcess(child, endedWithin));
  processes.closeProcess(child);
  EXPECT_EQ("input read 0 bytes\nerror\n", fileText(temp / "listing.txt"));

  // A file that cannot be made loses the output, not the start.
  const std::string lost = temp / "missing\\listing.txt";
  StartedProcess started =
      processes.startProcess({.applicationName = self, .commandLine = echo, .outputPath = lost});
  EXPECT_FALSE(started.outputKept);
  EXPECT_EQ(WaitResult::ended, processes.waitForProcess(started.process, endedWithin));
  EXPECT_EQ(0u, processes.processExitCode(started.process));
  processes.closeProcess(started.process);
}

TEST_F(Win32ProcessesTest, ChildGivenItsStandardHandlesInheritsNoOther) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE event = CreateEventA(&inheritable, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  const std::string seen = temp / "seen.txt";
  StartedProcess started = processes.startProcess(
      {.applicationName = self,
       .commandLine = inQuotes(self) + " --has-handle " +
                      std::to_string(reinterpret_cast<uintptr_t>(event)) + " " + inQuotes(seen),
       .inputFromNul = true});
  EXPECT_EQ(WaitResult::ended, processes.waitForProcess(started.process, endedWithin));
  processes.closeProcess(started.process);
  CloseHandle(event);
  // Wine takes the list of handles to inherit and hands down every inheritable one all the
  // same; Windows keeps to the list.
  if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") && fileText(seen) == "yes")
    GTEST_SKIP() << "Wine hands down every inheritable handle";
  EXPECT_EQ("no", fileText(seen));
}

TEST_F(Win32ProcessesTest, VariablesReachTheOneChildAndNoOther) {
  const std::string seen = temp / "seen.txt", later = temp / "later.txt";
  const std::string print = inQuotes(self) + " --print-env sqlcmdpassword ";
  SetEnvironmentVariableA("SQLCMDPASSWORD", "the program's own");
  StartedProcess started = processes.startProcess(
      {.applicationName = self,
       .commandLine = print + inQuotes(seen),
       .inputFromNul = true,
       .environment = {{"SQLCMDPASSWORD", "p\xE4ss w\"rd"}, {"SQLCMDUSER", ""}}});
  EXPECT_EQ(WaitResult::ended, processes.waitForProcess(started.process, endedWithin));
  processes.closeProcess(started.process);
  EXPECT_EQ("p\xE4ss w\"rd", fileText(seen)) << "replaces a variable of the same name";
  SetEnvironmentVariableA("SQLCMDPASSWORD", nullptr);
  EXPECT_EQ(0u, exitCodeOf(self, print + inQuotes(later)));
  EXPECT_EQ("<unset>", fileText(later)) << "the next child does not get it";
}

TEST_F(Win32ProcessesTest, ProcessFoundAgainByItsIdAndCreationTimeAlone) {
  StartedProcess started = processes.startProcess(
      {.applicationName = self, .commandLine = inQuotes(self) + " --sleep 60"});
  ASSERT_NE(0u, started.processId);
  ASSERT_NE(0u, started.creationTime);
  const std::optional<ProcessToken> again =
      processes.openProcess(started.processId, started.creationTime);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(WaitResult::stillRunning, processes.waitForProcess(*again, 0));
  processes.closeProcess(*again);
  // Another creation time is another process that took the id over.
  EXPECT_FALSE(processes.openProcess(started.processId, started.creationTime + 1));
  TerminateProcess(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(started.process)), 9);
  EXPECT_EQ(WaitResult::ended, processes.waitForProcess(started.process, endedWithin));
  processes.closeProcess(started.process);
}

TEST_F(Win32ProcessesTest, CmdPlantedInTheCurrentFolderIsNotRun) {
  // The planted copy exits with 99; the system's interpreter ends with the code it is told.
  ASSERT_TRUE(CopyFileA(self.c_str(), (temp / "cmd.exe").c_str(), FALSE));
  processes.changeFolder(temp.path);
  std::string cmd = system.systemFolder() + "\\cmd.exe";
  EXPECT_EQ(7u, exitCodeOf(cmd, "cmd /c exit 7"));
  // Without the full path the variable keeps the current folder out of the search.
  EXPECT_EQ(7u, exitCodeOf("", "cmd /c exit 7"));
}

TEST_F(Win32ProcessesTest, YieldHandlesPendingMessages) {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 0, 0));
  processes.yieldToMessages();
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(Win32ProcessesTest, WallClockIsNow) {
  const int64_t from1601To1970 = 11'644'473'600;
  int64_t unixNow = static_cast<int64_t>(std::time(nullptr)) + from1601To1970;
  EXPECT_LE(std::abs(processes.wallClockSeconds() - unixNow), 2);
}

TEST_F(Win32ProcessesTest, ChangeFolderAndDrive) {
  processes.changeFolder(temp.path);
  EXPECT_EQ(temp.path, testing::currentFolder());
  processes.changeDrive("Z:\\Backup\\");
  EXPECT_EQ("Z:", testing::currentFolder().substr(0, 2));
  processes.changeDrive("c");
  EXPECT_EQ("C:", testing::currentFolder().substr(0, 2));
}

TEST_F(Win32ProcessesTest, ChangeFailures) {
  std::string missingDrive = std::string(1, testing::missingDriveLetter()) + ":\\";
  const struct {
    bool drive;
    std::string text;
  } cases[] = {
      {true, missingDrive},  {true, ""}, {true, "1:\\"}, {false, temp / "missing"},
      {false, missingDrive},
  };
  for (const auto& c : cases) {
    try {
      if (c.drive)
        processes.changeDrive(c.text);
      else
        processes.changeFolder(c.text);
      ADD_FAILURE() << "changed to " << c.text;
    } catch (const Failure& failure) {
      EXPECT_EQ(Fault::pathNotFound, failure.fault) << c.text;
    }
  }
}

}  // namespace
}  // namespace vesk
