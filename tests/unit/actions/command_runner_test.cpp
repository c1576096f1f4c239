#include "actions/command_runner.h"

#include <gtest/gtest.h>

#include "actions_test_support.h"
#include "fake_platform.h"

namespace vesk {
namespace {

using testing::splitArguments;

constexpr int64_t never = -1;

/// runAndWait on the fake, with the window mode that the run gives every command.
CommandOutcome run(FakePlatform& platform, const std::string& commandLine, int32_t timeout) {
  return runAndWait(platform.processes, platform.desktop, {.commandLine = commandLine}, timeout);
}

FakeProcessScript runsFor(int64_t ms, uint32_t exitCode = 0) {
  FakeProcessScript script;
  script.runsForMs = ms;
  script.exitCode = exitCode;
  return script;
}

TEST(RunAndWait, TimeoutEndsTheWaitBetweenTAndTPlusOneSecondsPlusOneWait) {
  const struct {
    int64_t clockAtStartMs;
    int32_t timeout;
  } cases[] = {{1'000'000, 5}, {1'000'001, 5}, {1'000'500, 5}, {1'000'999, 5},
               {1'000'000, 1}, {1'000'750, 1}, {1'000'000, 30}};
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.processes.clockMs = c.clockAtStartMs;
    platform.processes.processScripts = {runsFor(never)};
    CommandOutcome outcome = run(platform, "client.exe", c.timeout);
    int64_t waitedMs = platform.processes.clockMs - c.clockAtStartMs;
    EXPECT_EQ(CommandEnd::stillRunning, outcome.end) << c.clockAtStartMs;
    EXPECT_GE(waitedMs, c.timeout * 1000) << c.clockAtStartMs << " timeout " << c.timeout;
    EXPECT_LE(waitedMs, c.timeout * 1000 + 1250) << c.clockAtStartMs << " timeout " << c.timeout;
    EXPECT_EQ(0, platform.processes.openProcesses)
        << "the handle is closed though the process runs on";
  }
}

TEST(RunAndWait, ZeroOrNegativeTimeoutWaitsForTheEnd) {
  for (int32_t timeout : {0, -1, -100}) {
    FakePlatform platform;
    const int64_t start = platform.processes.clockMs;
    platform.processes.processScripts = {runsFor(3'600'000, 4)};
    CommandOutcome outcome = run(platform, "xcopy.exe", timeout);
    EXPECT_EQ(CommandEnd::exited, outcome.end) << timeout;
    EXPECT_EQ(4u, outcome.exitCode) << timeout;
    EXPECT_EQ(3'600'000, platform.processes.clockMs - start) << timeout;
    EXPECT_EQ(0, platform.processes.openProcesses);
  }
}

TEST(RunAndWait, ReturnsTheExitCodeOfAnEndedCommand) {
  const struct {
    int64_t runsForMs;
    uint32_t exitCode;
  } cases[] = {{0, 0}, {100, 1}, {250, 2}, {4'900, 0}, {100, 0xFFFFFFFFu}};
  for (const auto& c : cases) {
    FakePlatform platform;
    const int64_t start = platform.processes.clockMs;
    platform.processes.processScripts = {runsFor(c.runsForMs, c.exitCode)};
    CommandOutcome outcome = run(platform, "client.exe", 5);
    EXPECT_EQ(CommandEnd::exited, outcome.end) << c.runsForMs;
    EXPECT_EQ(c.exitCode, outcome.exitCode) << c.runsForMs;
    EXPECT_EQ(c.runsForMs, platform.processes.clockMs - start) << "the end is noticed at once";
    EXPECT_EQ(0, platform.processes.openProcesses);
  }
}

TEST(RunAndWait, YieldsBeforeTheFirstWaitAndBetweenWaits) {
  FakePlatform platform;
  platform.processes.processScripts = {
      runsFor(1'000)};  // three waits run out, the fourth sees the end
  run(platform, "client.exe", -1);
  EXPECT_EQ(4, platform.processes.yields);
}

TEST(RunAndWait, PassesTheStartUnchangedAndTellsWhetherTheOutputWasKept) {
  const struct {
    const char* outputPath;
    bool kept;
  } cases[] = {{"", true}, {"C:\\Tools\\run.logxcp", true}, {"C:\\Gone\\run.logxcp", false}};
  for (const auto& c : cases) {
    FakePlatform platform;
    const ProcessStart start{.applicationName = "C:\\windows\\system32\\xcopy.exe",
                             .commandLine = "xcopy C:\\App /e",
                             .window = WindowMode::maximised,
                             .outputPath = c.outputPath};
    EXPECT_EQ(c.kept, runAndWait(platform.processes, platform.desktop, start, -1).outputKept)
        << c.outputPath;
    ASSERT_EQ(1u, platform.processes.commandsStarted.size());
    const StartedCommand& started = platform.processes.commandsStarted[0];
    EXPECT_EQ(start.applicationName, started.applicationName);
    EXPECT_EQ(start.commandLine, started.commandLine);
    EXPECT_EQ(start.window, started.window);
    EXPECT_EQ(start.outputPath, started.outputPath);
  }
}

TEST(RunAndWait, CommandThatCannotStartShowsErrorBoxAndDoesNotWait) {
  FakePlatform platform;
  const int64_t start = platform.processes.clockMs;
  FakeProcessScript script;
  script.failToStart = true;
  platform.processes.processScripts = {script};
  CommandOutcome outcome = run(platform, "\"\\Binn\\OSQL.exe\" -S x", 5);
  EXPECT_EQ(CommandEnd::notStarted, outcome.end);
  EXPECT_EQ(std::vector<std::string>{"error"}, platform.desktop.messages);
  EXPECT_EQ(start, platform.processes.clockMs);
  EXPECT_EQ(0, platform.processes.openProcesses);
}

TEST(RunAndWait, FailedWaitIsNeverTakenForAnEnd) {
  FakePlatform running;
  running.processes.failWaits = true;  // as WaitForSingleObject fails on a broken handle
  running.processes.processScripts = {runsFor(never)};
  EXPECT_EQ(CommandEnd::stillRunning, run(running, "client.exe", 5).end);
  EXPECT_EQ(0, running.processes.openProcesses);

  FakePlatform ended;
  ended.processes.failWaits = true;
  ended.processes.processScripts = {runsFor(10, 3)};
  CommandOutcome outcome = run(ended, "client.exe", 5);
  EXPECT_EQ(CommandEnd::exited, outcome.end);
  EXPECT_EQ(3u, outcome.exitCode);
}

TEST(QuoteArgument, QuotesOnlyValuesThatWouldSplitAndTheyParseBackWhole) {
  const struct {
    const char* value;
    const char* expected;
  } cases[] = {
      {"appuser", "appuser"},
      {"SRV01,1433", "SRV01,1433"},
      {"C:\\dir\\", "C:\\dir\\"},
      {"p@ss'word", "p@ss'word"},
      {"a b", "\"a b\""},
      {"a\tb", "\"a\tb\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"\"", "\"\\\"\""},
      {"end with blank ", "\"end with blank \""},
      {"dir with blank\\", "\"dir with blank\\\\\""},
      {"a\\\"b", "\"a\\\\\\\"b\""},
      {"a\\\\b c", "\"a\\\\b c\""},
      {"x\\\\ \\\\", "\"x\\\\ \\\\\\\\\""},
      {"", "\"\""},  // an empty value keeps its place among the arguments
  };
  for (const auto& c : cases) {
    std::string quoted = quoteArgument(c.value);
    EXPECT_EQ(c.expected, quoted) << "value: " << c.value;
    EXPECT_EQ((std::vector<std::string>{"-P", c.value, "-Q"}),
              splitArguments("-P " + quoted + " -Q"))
        << "value: " << c.value;
  }
}

}  // namespace
}  // namespace vesk
