#include "run/watch.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "fake_platform.h"
#include "run/report.h"
#include "run/status_file.h"
#include "unit/actions/actions_test_support.h"

namespace vesk {
namespace {

using Json = nlohmann::json;
using Lines = std::vector<std::string>;
using testing::logTexts;

const std::string logPath = "C:\\Tools\\veskbackuplog.txt07";
const std::string outputPath = logPath + "sql";
const std::string statusPath = "D:\\Backup\\veskbackup-status.json";
const std::string success =
    "BACKUP DATABASE successfully processed 330 pages in 0.052 seconds (49.503 MB/sec).\r\n";
const std::string stillRunningLine = "SQL backup still running after 5 seconds";

/// A run that left its client running, with the status file it wrote.
struct Watched {
  FakePlatform platform;
  WatchOrder order;

  Watched(int64_t runsForMs, uint32_t exitCode, const std::string& output) {
    platform.disk.addFolder("D:\\Backup");
    platform.disk.addFile(logPath, "");
    platform.processes.processScripts = {
        {.runsForMs = runsForMs, .exitCode = exitCode, .onStart = [this, output] {
           platform.disk.addFile(outputPath, output, platform.processes.clockMs * 10'000);
         }}};
    const StartedProcess client = platform.processes.startProcess({});
    platform.processes.closeProcess(client.process);
    platform.processes.clockMs += 5'500;  // the run's wait
    RunRecord record;
    record.start = platform.system.zonedTime();
    record.destination = "D:\\Backup\\";
    record.logPath = logPath;
    record.databaseStage = DatabaseStage::ended;
    record.database.end = SqlEnd::stillRunning;
    record.database.client = {"C:\\SQLTools\\Binn\\sqlcmd.exe", outputPath,
                              isoTimeText(record.start), client.processId, client.creationTime};
    record.outcomeLines = {"Backup Folder completed", "backup holds 1 files", stillRunningLine};
    record.exitStatus = exitStatus::databaseStillRunning;
    platform.disk.addFile(statusPath, statusFileText(platform.system, record));
    order = {statusPath, logPath, isoTimeText(record.start), record.database.client, 0};
  }
  Json status() const { return Json::parse(platform.disk.fileContent(statusPath)); }
};

TEST(RunWatch, SettlesTheRunsRecordOnceWhenTheClientEnds) {
  const std::string notComplete = "SQL backup NOT complete, ";
  const struct {
    const char* name;
    int64_t runsForMs;
    uint32_t exitCode;
    std::string output;
    std::function<void(Watched&)> arrange;
    Lines lines;       // what the log gets
    int exitStatus;    // in the status file; -1: the file is left as it was
    uint16_t eventId;  // 0: none written
    int result;
  } cases[] = {
      {"confirmed",
       20 * 60'000,
       0,
       success,
       nullptr,
       {"SQL backup confirmed after 20 minutes"},
       0,
       watchConfirmedEventId,
       0},
      {"failed",
       60'000,
       1,
       "Msg 3201, Level 16, State 1\r\nCannot open backup device.\r\n",
       nullptr,
       {notComplete + "client reported an error, see " + outputPath,
        "  Msg 3201, Level 16, State 1", "  Cannot open backup device."},
       3,
       watchNotConfirmedEventId,
       0},
      {"still running after a day",
       -1,
       0,
       "",
       nullptr,
       {notComplete + "client still running after 24 hours"},
       3,
       watchNotConfirmedEventId,
       0},
      {"gone before the watch looked: the output alone decides",
       60'000,
       0,
       success,
       [](Watched& w) { w.order.client.creationTime += 1; },
       {"SQL backup confirmed after 0 minutes"},
       -1,
       watchConfirmedEventId,
       0},
      {"a later run's status file is left alone",
       60'000,
       0,
       success,
       [](Watched& w) { w.order.runStart = "2026-12-06T02:00:00+01:00"; },
       {"SQL backup confirmed after 1 minutes"},
       -1,
       watchConfirmedEventId,
       0},
      {"status file that cannot be replaced",
       60'000,
       0,
       success,
       [](Watched& w) { w.platform.files.unreplaceable.insert(statusPath); },
       {"SQL backup confirmed after 1 minutes",
        "status file not settled: " + statusPath + ": Disk full"},
       -1,
       watchConfirmedEventId,
       1},
      {"Event Log that refuses the entry",
       60'000,
       0,
       success,
       [](Watched& w) { w.platform.eventLog.failEventLog = true; },
       {"SQL backup confirmed after 1 minutes", "Event Log entry not written: Permission denied"},
       0,
       0,
       1},
  };
  for (const auto& c : cases) {
    Watched w(c.runsForMs, c.exitCode, c.output);
    if (c.arrange) c.arrange(w);
    const std::string before = w.platform.disk.fileContent(statusPath);
    EXPECT_EQ(c.result, runWatch(w.platform, w.order)) << c.name;
    EXPECT_EQ(c.lines, logTexts(w.platform, logPath)) << c.name;
    if (c.exitStatus < 0) {
      EXPECT_EQ(before, w.platform.disk.fileContent(statusPath)) << c.name;
    } else {
      const Json status = w.status();
      EXPECT_EQ(c.exitStatus, status["exitStatus"]) << c.name;
      EXPECT_EQ(exitStatusMeaning(c.exitStatus), status["meaning"]) << c.name;
      EXPECT_EQ("watch", status["database"]["settledBy"]) << c.name;
      EXPECT_EQ("2026-12-07T14:05:09+01:00", status["database"]["confirmedAt"]) << c.name;
      EXPECT_EQ(c.exitStatus == 0 ? "confirmed" : "not complete", status["database"]["outcome"]);
      Lines outcome = {"Backup Folder completed", "backup holds 1 files"};
      for (const std::string& line : c.lines)
        if (line.rfind("SQL backup", 0) == 0 || line.rfind("  ", 0) == 0) outcome.push_back(line);
      EXPECT_EQ(outcome, status["outcome"].get<Lines>()) << c.name;
      // Settled once: a second watch over the same record finds it settled and leaves it.
      const std::string settled = w.platform.disk.fileContent(statusPath);
      runWatch(w.platform, w.order);
      EXPECT_EQ(settled, w.platform.disk.fileContent(statusPath)) << c.name;
    }
    if (c.eventId == 0) {
      EXPECT_TRUE(w.platform.eventLog.eventEntries.empty()) << c.name;
    } else {
      ASSERT_FALSE(w.platform.eventLog.eventEntries.empty()) << c.name;
      const EventEntry& entry = w.platform.eventLog.eventEntries[0];
      EXPECT_EQ(c.eventId, entry.eventId) << c.name;
      EXPECT_EQ(c.eventId == watchConfirmedEventId ? EventLevel::information : EventLevel::error,
                entry.level);
      EXPECT_EQ(logPath, entry.texts.at(1)) << c.name;
    }
    EXPECT_TRUE(w.platform.desktop.messages.empty()) << c.name << ": no box";
  }
}

TEST(WatchOrder, ReachedThroughItsVariableAloneAndWhole) {
  const WatchOrder order{"D:\\B\\veskbackup-status.json",
                         "C:\\L\\log.txt",
                         "2026-12-07T02:00:05+01:00",
                         {"C:\\T\\sqlcmd.exe", "C:\\L\\log.txtsql", "2026-12-07T02:00:09+01:00",
                          4242, 134097312051234567u},
                         0};
  const std::string text = watchOrderText(order);
  FakePlatform platform;
  platform.system.environment[watchVariable] = text;
  const struct {
    std::string commandLine;
    bool watch;
  } lines[] = {{"\"C:\\veskbackup\\veskbackup.exe\"", true},
               {"C:\\veskbackup\\veskbackup.exe", true},
               {"\"C:\\veskbackup\\veskbackup.exe\" \"D:\\Backup\"", false}};
  for (const auto& l : lines) {
    platform.system.commandLineText = l.commandLine;
    const std::optional<WatchOrder> read = watchOrderFor(platform.system);
    ASSERT_EQ(l.watch, read.has_value()) << l.commandLine;
    if (read) {
      EXPECT_EQ(text, watchOrderText(*read));
    }
  }
  for (const std::string& broken :
       {std::string(), text.substr(0, text.size() / 2), text + "processId=7\n", text + "x=1\n"})
    EXPECT_FALSE(watchOrderOf(broken).has_value()) << broken;
}

}  // namespace
}  // namespace vesk
