// The run's crash handling (System::onCrash with armCrashReport): a child of this program
// arms it over a run log of its own and then crashes (see main.cpp, --crash).

#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "run/report.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::fileText;
using testing::inQuotes;
using testing::selfPath;
using testing::TempFolder;

TEST(Win32Crash, EveryCrashEndsWithTheGenericStatusAndItsLineInTheLog) {
  const struct {
    const char* mode;
    const char* line;
  } cases[] = {
      {"overflow", "Error-1073741571: stack overflow (c00000fd)"},
      {"null", "Error-1073741819: access violation (c0000005)"},
      {"throw", "Error 0: unhandled exception: thrown where nothing catches it"},
      {"crash-in-record", ""},  // the record itself crashes: no line, the status all the same
  };
  TempFolder temp;
  const std::string self = selfPath();
  win32::Win32Processes processes;
  for (const auto& c : cases) {
    const std::string log = temp.path + "\\" + c.mode + ".log";
    const StartedProcess child =
        processes.startProcess({.applicationName = self,
                                .commandLine = inQuotes(self) + " --crash " + c.mode + " " + log});
    ASSERT_EQ(WaitResult::ended, processes.waitForProcess(child.process, 60'000)) << c.mode;
    EXPECT_EQ(std::optional<uint32_t>(exitStatus::generic),
              processes.processExitCode(child.process))
        << c.mode;
    processes.closeProcess(child.process);
    const std::string text = fileText(log);
    EXPECT_EQ(0u, text.rfind("armed\r\n", 0)) << c.mode << ": " << text;
    if (*c.line)
      EXPECT_NE(std::string::npos, text.find(std::string(": ") + c.line + "\r\n"))
          << c.mode << ": " << text;
    else
      EXPECT_EQ("armed\r\n", text) << c.mode;
  }
}

}  // namespace
}  // namespace vesk
