#include "run/run_end.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "fake_platform.h"
#include "run/report.h"
#include "run/run_backup.h"
#include "run/status_file.h"
#include "run/watch.h"

namespace vesk {
namespace {

using Json = nlohmann::json;
using Fields = std::vector<std::pair<std::string, std::string>>;  // JSON pointer, JSON value

const std::string statusPath = "D:\\Backup\\veskbackup-status.json";
const std::string logPath = "C:\\Tools\\veskbackuplog.txt07";
const std::string outputPath = logPath + "sql";
const std::string properties = "C:\\Apps\\Client\\ZAVO\\db.properties";
const std::string success =
    "BACKUP DATABASE successfully processed 330 pages in 0.052 seconds (49.503 MB/sec).\r\n";

/// An installation at C:\Apps\Client (two files of 6 and 4 bytes), copied by xcopy, with the
/// client tools of version 90 whose client writes output after runsForMs.
struct Scene {
  FakePlatform platform;

  Scene() {
    platform.disk.addFolder("C:\\users\\tester");
    platform.disk.addFolder("D:\\");
    platform.disk.addFile("C:\\users\\tester\\.quorlin\\path.conf",
                          "finalPath=C:/Apps/Client/\r\n");
    platform.disk.addFile("C:\\Apps\\Client\\client.exe", "binary", 42);
    platform.disk.addFile("C:\\Apps\\Client\\data\\a.txt", "abcd", 42);
    platform.registry.setRegistryValue(
        "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\90\\Tools\\ClientSetup", "SQLPath",
        RegistryType::text, "C:\\SQLTools");
    platform.disk.addFile("C:\\SQLTools\\Binn\\sqlcmd.exe", "");
    platform.processes.processScripts.push_back(
        {false, 100, 0, [this] { platform.disk.copyTree("C:\\Apps\\Client", "D:\\Backup"); }});
  }
  void database(const std::string& provider, FakeProcessScript client, std::string output) {
    platform.disk.addFile(properties, "DB_PROVIDER=" + provider +
                                          "\r\ndbconn.appl.url=proto://SRV01:1433;\r\n"
                                          "dbconn.appl.user=u\r\ndbconn.appl.pwd=p\r\n");
    client.onStart = [this, output] {
      platform.disk.addFile(outputPath, output, platform.processes.clockMs * 10'000);
    };
    platform.processes.processScripts.push_back(client);
  }
  int run(const std::string& arguments = "\"D:\\Backup\"") {
    platform.system.commandLineText = "\"C:\\Tools\\veskbackup.exe\" " + arguments;
    return runBackup(platform);
  }
  std::vector<std::string> logTexts() const {
    std::vector<std::string> texts;
    for (const std::string& line : platform.disk.fileLines(logPath))
      texts.push_back(line.substr(line.find(": ") + 2));
    return texts;
  }
};

/// A status file of the run before that left its client running, writing to output; its last
/// success on 2026-12-05.
std::string leftRunning(FakePlatform& platform, const std::string& output, uint32_t processId = 0,
                        uint64_t creationTime = 0, const std::string& start = "") {
  RunRecord record;
  record.databaseStage = DatabaseStage::ended;
  record.database.end = SqlEnd::stillRunning;
  record.database.client = {"C:\\SQLTools\\Binn\\sqlcmd.exe", output, start, processId,
                            creationTime};
  record.lastSuccessBefore = "2026-12-05T02:00:09+01:00";
  record.exitStatus = exitStatus::databaseStillRunning;
  return statusFileText(platform.system, record);
}

const FakeProcessScript ends{false, 300, 0, nullptr};
const FakeProcessScript runsLong{false, 60'000, 0, nullptr};

TEST(ReportRunEnd, StatusFileAndEventLogEntryOfEachOutcome) {
  const std::string copied =
      R"({"source": "C:\\Apps\\Client", "outcome": "completed", "filesInBackup": 2,
          "foldersInBackup": 1, "bytesInBackup": 10, "copyTool": "xcopy",
          "filesCopiedByTool": null, "filesCopiedAgain": 0,
          "notInBackup": {"count": 0, "first": [], "reasons": []},
          "warnings": {"linkLoopsNotFollowed": {"count": 0, "first": []},
                       "timesNotKept": {"count": 0, "first": []},
                       "tooLongForXcopy": {"count": 0, "first": []},
                       "tooLongForShellCopy": {"count": 0, "first": []}}})";
  const std::string held = "backup holds 2 files in 1 folders, 10 bytes; copied again: 0";
  // db.properties is part of the installation too.
  const std::string withDb = "backup holds 3 files in 2 folders, 109 bytes; copied again: 0";
  const struct {
    const char* name;
    std::function<void(Scene&)> arrange;
    int status;
    Fields fields;                     // nothing: no status file
    std::vector<std::string> outcome;  // the entry's first text, line by line
  } cases[] = {
      {"no db.properties",
       [](Scene&) {},
       0,
       {{"/folders/0", copied},
        {"/database", R"({"outcome": "no db.properties", "reason": "", "messages": [],
                          "client": null, "output": null, "clientStart": null,
                          "clientProcessId": null, "clientCreated": null,
                          "confirmedAt": null, "settledBy": null})"},
        {"/previousDatabase", "null"},
        {"/schemaVersion", "1"},
        {"/computer", R"("SRV-APP01")"},
        {"/account", R"("svc-backup")"},
        {"/durationSeconds", "0"},
        {"/lastSuccess", R"("2026-12-07T14:05:09+01:00")"},
        {"/report", "null"}},
       {"Backup Folder completed", held, "VESK backup completed without SQLServer version"}},
      {"database backup confirmed",
       [](Scene& s) { s.database("SQLNCLI.1", ends, success); },
       0,
       {{"/database", R"({"outcome": "confirmed", "reason": "", "messages": [],
                          "client": "C:\\SQLTools\\Binn\\sqlcmd.exe",
                          "output": "C:\\Tools\\veskbackuplog.txt07sql",
                          "clientStart": "2026-12-07T14:05:09+01:00",
                          "clientProcessId": 8, "clientCreated": "10001000000",
                          "confirmedAt": null, "settledBy": null})"}},
       {"Backup Folder completed", withDb, "SQL backup Complete"}},
      {"still running",
       [](Scene& s) { s.database("SQLNCLI.1", runsLong, ""); },
       5,
       {{"/database/outcome", R"("still running")"},
        {"/database/output", R"("C:\\Tools\\veskbackuplog.txt07sql")"},
        {"/meaning",
         R"("the copies completed and the database client was still running after 5 seconds")"}},
       {"Backup Folder completed", withDb, "SQL backup still running after 5 seconds"}},
      {"client error",
       [](Scene& s) { s.database("SQLNCLI.1", ends, "Msg 3201, Level 16, State 1\r\n"); },
       3,
       {{"/database/outcome", R"("not complete")"},
        {"/database/reason",
         R"("client reported an error, see C:\\Tools\\veskbackuplog.txt07sql")"},
        {"/database/messages", R"(["Msg 3201, Level 16, State 1"])"}},
       {"Backup Folder completed", withDb,
        "SQL backup NOT complete, client reported an error, see " + outputPath,
        "  Msg 3201, Level 16, State 1"}},
      {"no client tools",
       [](Scene& s) {
         s.database("SQLNCLI.1", ends, success);
         s.platform.disk.remove("C:\\SQLTools\\Binn\\sqlcmd.exe");
       },
       3,
       {{"/database/reason", R"("no client tools found for 2005")"}, {"/database/client", "null"}},
       {"Backup Folder completed", withDb,
        "SQL backup NOT complete, no client tools found for 2005"}},
      {"unsupported provider",
       [](Scene& s) { s.database("MSOLEDBSQL", ends, success); },
       3,
       {{"/database/outcome", R"("unsupported provider")"}},
       {"Backup Folder completed", "backup holds 3 files in 2 folders, 110 bytes; copied again: 0",
        "SQL backup NOT complete, unsupported DB_PROVIDER"}},
      {"failure in the database stage",
       [](Scene& s) {
         s.database("SQLNCLI.1", ends, success);
         s.platform.registry.keys.clear();
         s.platform.registry
             .keys["HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\90\\Tools\\ClientSetup"];
       },
       2,
       {{"/database/outcome", R"("not complete")"},
        {"/database/reason", R"("Unsupported value type")"},
        {"/report", R"({"number": 1001, "step": 120, "description": "Unsupported value type"})"}},
       {"Backup Folder completed", withDb, "Error: 1001line no: 120Desc:Unsupported value type"}},
      {"refused: no path.conf",
       [](Scene& s) { s.platform.disk.remove("C:\\users\\tester\\.quorlin\\path.conf"); },
       2,
       {{"/folders", "[]"},
        {"/database", "null"},
        {"/report", R"({"number": 0, "step": 0, "description": ""})"},
        {"/meaning", R"("the run ended through the error report")"}},
       {"C:\\users\\tester\\.quorlin\\path.confnot found. Pls. check"}},
      {"refused: a backup into the source leaves nothing in it",
       [](Scene& s) {
         s.platform.disk.addFile("C:\\users\\tester\\.quorlin\\path.conf", "finalPath=D:/\r\n");
       },
       2,
       {},
       {"Cannot back up to itselfD:/"}},
      {"the last run's backup confirmed",
       [](Scene& s) {
         s.platform.disk.addFile(statusPath, leftRunning(s.platform, "E:\\Old.txtsql"));
         s.platform.disk.addFile("E:\\Old.txtsql", success);
       },
       0,
       {{"/previousDatabase", R"({"outcome": "confirmed", "reason": "", "messages": [],
                                  "output": "E:\\Old.txtsql",
                                  "keptAs": "E:\\Old.txtsql.prev"})"}},
       {"previous SQL backup confirmed: E:\\Old.txtsql.prev", "Backup Folder completed", held,
        "VESK backup completed without SQLServer version"}},
      {"the last run's backup failed after it ended: a failure that reaches this run's status",
       [](Scene& s) {
         s.platform.disk.addFile(statusPath, leftRunning(s.platform, "E:\\Old.txtsql"));
         s.platform.disk.addFile("E:\\Old.txtsql", "Msg 3201, Level 16, State 1\r\nNo device.\r\n");
         s.database("SQLNCLI.1", ends, success);
       },
       3,
       {{"/previousDatabase/outcome", R"("not confirmed")"},
        {"/previousDatabase/messages", R"(["Msg 3201, Level 16, State 1", "No device."])"},
        {"/database/outcome", R"("confirmed")"}},
       {"previous SQL backup NOT confirmed, see E:\\Old.txtsql.prev",
        "  Msg 3201, Level 16, State 1", "  No device.", "Backup Folder completed", withDb,
        "SQL backup Complete"}},
      {"the last run's client still runs: no second one",
       [](Scene& s) {
         s.database("SQLNCLI.1", runsLong, "");
         const StartedProcess earlier = s.platform.processes.startProcess(
             {.applicationName = "C:\\SQLTools\\Binn\\sqlcmd.exe"});
         s.platform.disk.addFile(statusPath,
                                 leftRunning(s.platform, "E:\\Old.txtsql", earlier.processId,
                                             earlier.creationTime, "2026-12-06T02:00:05+01:00"));
         s.platform.processes.processScripts.insert(s.platform.processes.processScripts.begin(),
                                                    runsLong);
       },
       5,
       {{"/previousDatabase/outcome", R"("still running")"},
        {"/database/outcome", R"("still running")"},
        {"/database/output", R"("E:\\Old.txtsql")"},
        {"/database/clientProcessId", "4"}},
       {"previous SQL backup still running since 2026-12-06T02:00:05+01:00",
        "Backup Folder completed", withDb,
        "SQL backup not started, previous backup still running since "
        "2026-12-06T02:00:05+01:00"}},
      {"a record naming a live process of another program holds nothing back",
       [](Scene& s) {
         s.database("SQLNCLI.1", ends, success);
         const StartedProcess other =
             s.platform.processes.startProcess({.applicationName = "C:\\Windows\\explorer.exe"});
         s.platform.disk.addFile(statusPath, leftRunning(s.platform, "E:\\Old.txtsql",
                                                         other.processId, other.creationTime));
         s.platform.disk.addFile("E:\\Old.txtsql", success, s.platform.processes.clockMs * 10'000);
         s.platform.processes.processScripts.insert(s.platform.processes.processScripts.begin(),
                                                    runsLong);
       },
       0,
       {{"/previousDatabase/outcome", R"("confirmed")"}, {"/database/outcome", R"("confirmed")"}},
       {"previous SQL backup confirmed: E:\\Old.txtsql.prev", "Backup Folder completed", withDb,
        "SQL backup Complete"}},
      {"the last status file cannot be used: said, and its outcome unknown",
       [](Scene& s) {
         s.platform.disk.addFile(statusPath, std::string(20'000, '[') + std::string(20'000, ']'));
       },
       0,
       {{"/previousDatabase", R"({"outcome": "unknown", "messages": [], "output": null,
                                  "keptAs": null,
                                  "reason": "nested deeper than 16 levels"})"},
        {"/lastSuccess", R"("2026-12-07T14:05:09+01:00")"}},
       {"previous status file not used: nested deeper than 16 levels", "Backup Folder completed",
        held, "VESK backup completed without SQLServer version"}},
      {"the last run's output on a host that the command line does not name: not read",
       [](Scene& s) {
         s.platform.disk.addFile(statusPath, leftRunning(s.platform, "\\\\somehost\\share\\f"));
         s.platform.disk.addFile("\\\\somehost\\share\\f", success);
       },
       3,
       {{"/previousDatabase/reason",
         R"("output not read: a host that the command line does not name")"},
        {"/previousDatabase/keptAs", "null"},
        // A failed run carries the last success forward.
        {"/lastSuccess", R"("2026-12-05T02:00:09+01:00")"}},
       {"previous SQL backup NOT confirmed, output not read: \\\\somehost\\share\\f (a host "
        "that the command line does not name)",
        "Backup Folder completed", held, "VESK backup completed without SQLServer version"}},
      {"the last run's output larger than any client's: not read",
       [](Scene& s) {
         s.platform.disk.addFile(statusPath, leftRunning(s.platform, "E:\\Old.txtsql"));
         s.platform.disk.addFile("E:\\Old.txtsql", success);
         s.platform.files.sizes["E:\\Old.txtsql"] = uint64_t(64) << 30;
       },
       3,
       {{"/previousDatabase/reason", R"("output not read: larger than 4 MiB")"}},
       {"previous SQL backup NOT confirmed, output not read: E:\\Old.txtsql (larger than 4 MiB)",
        "Backup Folder completed", held, "VESK backup completed without SQLServer version"}},
      {"status file not written",
       [](Scene& s) { s.platform.files.unreplaceable.insert(statusPath); },
       0,
       {},
       {"Backup Folder completed", held, "VESK backup completed without SQLServer version",
        "status file not written: " + statusPath + ": Disk full"}},
      {"usage message", [](Scene&) {}, 1, {}, {}},
  };
  for (const auto& c : cases) {
    Scene s;
    c.arrange(s);
    const bool unreplaceable = !s.platform.files.unreplaceable.empty();
    const std::string old = s.platform.disk.fileContent(statusPath);
    EXPECT_EQ(c.status, s.run(c.status == 1 ? "" : "\"D:\\Backup\"")) << c.name;

    if (c.fields.empty()) {
      EXPECT_EQ(old, s.platform.disk.fileContent(statusPath)) << c.name << ": left as it was";
    } else {
      const std::string text = s.platform.disk.fileContent(statusPath);
      const Json status = Json::parse(text, nullptr, false);
      ASSERT_TRUE(status.is_object()) << c.name << ": " << text;
      EXPECT_EQ(c.status, status.at("exitStatus")) << c.name;
      EXPECT_EQ(exitStatusMeaning(c.status), status.at("meaning")) << c.name;
      EXPECT_EQ("2026-12-07T14:05:09+01:00", status.at("start")) << c.name;
      EXPECT_EQ(logPath, status.at("log")) << c.name;
      EXPECT_EQ(c.outcome, status.at("outcome").get<std::vector<std::string>>()) << c.name;
      for (const auto& [pointer, value] : c.fields)
        EXPECT_EQ(Json::parse(value), status.at(Json::json_pointer(pointer)))
            << c.name << ": " << pointer;
    }
    for (const std::string& read : s.platform.files.filesRead)
      EXPECT_EQ(std::string::npos, read.find("somehost")) << c.name << ": read " << read;
    // The watch is left for a client of this run's still at work, and for no other.
    const auto& started = s.platform.processes.commandsStarted;
    const bool watch = !started.empty() && started.back().environment.size() == 1 &&
                       started.back().environment[0].first == watchVariable;
    EXPECT_EQ(std::string(c.name) == "still running", watch) << c.name;
    if (watch) {
      EXPECT_EQ("C:\\Tools\\veskbackup.exe", started.back().commandLine);
      EXPECT_EQ("C:\\windows\\system32", started.back().startFolder);
      EXPECT_TRUE(started.back().outlivesTheRun);
      EXPECT_EQ("SQL backup still running after 5 seconds", s.logTexts().back())
          << "no line of its own";
    }
    if (unreplaceable) {
      EXPECT_EQ(c.outcome.back(), s.logTexts().back()) << c.name << ": logged once";
    }

    ASSERT_EQ(1u, s.platform.eventLog.eventEntries.size()) << c.name;
    const EventEntry& entry = s.platform.eventLog.eventEntries[0];
    EXPECT_EQ(1000 + c.status, entry.eventId) << c.name;
    EXPECT_EQ(c.status == 0   ? EventLevel::information
              : c.status == 5 ? EventLevel::warning
                              : EventLevel::error,
              entry.level)
        << c.name;
    std::string lines;
    for (const std::string& line : c.outcome) lines += (lines.empty() ? "" : "\r\n") + line;
    EXPECT_EQ((std::vector<std::string>{lines, c.status == 1 ? "" : logPath}), entry.texts)
        << c.name;
  }
}

TEST(ReportRunEnd, ACrashEndsTheRunThroughTheGenericReportWithStatus4) {
  Scene s;
  std::string box, lastLine, status;
  std::vector<EventEntry> entries;
  // The crash comes while xcopy runs; the Win32 layer then shows the box and ends the process,
  // which the fake does not: what the crash left is taken at once.
  s.platform.processes.processScripts[0].onStart = [&] {
    box = s.platform.system.crashRecord({-1073741571, "stack overflow (c00000fd)"});
    lastLine = s.logTexts().back();
    status = s.platform.disk.fileContent(statusPath);
    entries = s.platform.eventLog.eventEntries;
  };
  s.run();
  EXPECT_EQ(exitStatus::generic, s.platform.system.crashExitStatus);
  EXPECT_EQ("Error-1073741571: stack overflow (c00000fd)", box);
  EXPECT_EQ(box, lastLine);
  const Json written = Json::parse(status);
  EXPECT_EQ(4, written.at("exitStatus"));
  const Json report = {
      {"number", -1073741571}, {"step", nullptr}, {"description", "stack overflow (c00000fd)"}};
  EXPECT_EQ(report, written.at("report"));
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(1004, entries[0].eventId);
  EXPECT_FALSE(s.platform.system.crashRecord) << "disarmed once the run has ended";
}

TEST(ReportRunEnd, AnEventLogThatRefusesTheEntryChangesNothingButALogLine) {
  Scene s;
  s.platform.eventLog.failEventLog = true;
  EXPECT_EQ(exitStatus::backedUp, s.run());
  EXPECT_EQ("Event Log entry not written: Permission denied", s.logTexts().back());
  EXPECT_TRUE(s.platform.desktop.messages.empty());
}

}  // namespace
}  // namespace vesk
