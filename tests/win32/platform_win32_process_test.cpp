// Starting and waiting for processes. The child is this test program itself (see main.cpp).

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "platform/platform_win32.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::fileText;
using testing::inQuotes;
using testing::selfPath;
using testing::TempFolder;

constexpr int endedWithin = 30000;  // ms: Wine starts a process in well under a second

class Win32Process : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentDirectoryA(startFolder.c_str()); }

  /// Starts this program with args, waits for its end and gives its exit code.
  std::optional<uint32_t> exitCodeOf(const std::string& applicationName,
                                     const std::string& commandLine) {
    ProcessToken child = platform->startProcess(applicationName, commandLine, SW_HIDE);
    EXPECT_EQ(WaitResult::ended, platform->waitForProcess(child, endedWithin)) << commandLine;
    auto code = platform->processExitCode(child);
    platform->closeProcess(child);
    return code;
  }

  std::unique_ptr<Platform> platform = makeWin32Platform();
  std::string self = selfPath();
  std::string startFolder = testing::currentFolder();
  TempFolder temp;
};

TEST_F(Win32Process, ExitCodeOfAnEndedChild) {
  // 259 is STILL_ACTIVE, which a program may also end with.
  for (uint32_t code : {0u, 3u, 259u})
    EXPECT_EQ(code, exitCodeOf(self, inQuotes(self) + " --exit-with " + std::to_string(code)));
  EXPECT_EQ(5u, exitCodeOf("", inQuotes(self) + " --exit-with 5")) << "found through the line";
}

TEST_F(Win32Process, ChildStillRunning) {
  ProcessToken child = platform->startProcess(self, inQuotes(self) + " --sleep 60", SW_HIDE);
  EXPECT_EQ(WaitResult::stillRunning, platform->waitForProcess(child, 250));
  EXPECT_FALSE(platform->processExitCode(child).has_value());
  TerminateProcess(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(child)), 9);
  EXPECT_EQ(WaitResult::ended, platform->waitForProcess(child, endedWithin));
  EXPECT_EQ(9u, platform->processExitCode(child));
  platform->closeProcess(child);
}

TEST_F(Win32Process, WaitOnNoProcessFails) {
  EXPECT_EQ(WaitResult::failed, platform->waitForProcess(0, 10));
  EXPECT_FALSE(platform->processExitCode(0).has_value());
}

TEST_F(Win32Process, ProgramThatCannotBeStarted) {
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
      platform->startProcess(c.applicationName, c.commandLine, SW_HIDE);
      ADD_FAILURE() << "started: " << c.commandLine;
    } catch (const Failure& failure) {
      EXPECT_FALSE(failure.detail.empty()) << c.commandLine;
      EXPECT_EQ(std::string::npos, failure.detail.find_first_of("\r\n")) << failure.detail;
    }
  }
}

TEST_F(Win32Process, ChildInheritsFolderAndGetsShowCodeAndVariable) {
  platform->changeFolder(temp.path);
  std::string start = temp / "start.txt", env = temp / "env.txt";
  EXPECT_EQ(0u, exitCodeOf(self, inQuotes(self) + " --print-start " + inQuotes(start)));
  EXPECT_EQ(0u,
            exitCodeOf(self, inQuotes(self) + " --print-env NoDefaultCurrentDirectoryInExePath " +
                                 inQuotes(env)));
  EXPECT_EQ(temp.path + "\n" + std::to_string(SW_HIDE), fileText(start));
  EXPECT_EQ("1", fileText(env));

  ProcessToken child = platform->startProcess(
      self, inQuotes(self) + " --print-start " + inQuotes(start), SW_SHOWMAXIMIZED);
  EXPECT_EQ(WaitResult::ended, platform->waitForProcess(child, endedWithin));
  platform->closeProcess(child);
  EXPECT_EQ(temp.path + "\n" + std::to_string(SW_SHOWMAXIMIZED), fileText(start));
}

TEST_F(Win32Process, CmdPlantedInTheCurrentFolderIsNotRun) {
  // The planted copy exits with 99; the system's interpreter ends with the code it is told.
  ASSERT_TRUE(CopyFileA(self.c_str(), (temp / "cmd.exe").c_str(), FALSE));
  platform->changeFolder(temp.path);
  std::string cmd = platform->systemFolder() + "\\cmd.exe";
  EXPECT_EQ(7u, exitCodeOf(cmd, "cmd /c exit 7"));
  // Without the full path the variable keeps the current folder out of the search.
  EXPECT_EQ(7u, exitCodeOf("", "cmd /c exit 7"));
}

TEST_F(Win32Process, YieldHandlesPendingMessages) {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 0, 0));
  platform->yieldToMessages();
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

}  // namespace
}  // namespace vesk
