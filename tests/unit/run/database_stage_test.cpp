#include "run/database_stage.h"

#include <gtest/gtest.h>

#include <optional>

#include "fake_platform.h"
#include "platform/failure.h"
#include "run/report.h"
#include "unit/actions/actions_test_support.h"

namespace vesk {
namespace {

using testing::logTexts;
using testing::splitArguments;
using testing::testLogPath;

using Lines = std::vector<std::string>;
using namespace std::string_literals;

const std::string msdeKey =
    "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\80\\Tools\\ClientSetup";
const std::string sql2005Key =
    "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\90\\Tools\\ClientSetup";
const std::string outputPath = std::string(testLogPath) + "sql";
const std::string success =
    "Processed 328 pages for database 'VESK_ZAVO', file 'VESK_ZAVO' on file 1.\r\n"
    "BACKUP DATABASE successfully processed 330 pages in 0.052 seconds (49.503 MB/sec).\r\n";

const DbSettings sample{ServerVersion::msde, "SRV01", "1433", "appuser", "secret"};

const char* const msdeExample =
    "\"C:\\SQLTools\\Binn\\OSQL.exe\" -S SRV01,1433 -d VESK_ZAVO -U appuser -b -Q "
    "\"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \\\"D:\\Backup\\\"\" -o "
    "\"C:\\Tools\\veskbackuplog.txt07sql\" -P";
const char* const sql2005Example =
    "\"C:\\SQLTools\\Binn\\sqlcmd.exe\" -S SRV01,1433 -d VESK_ZAVO -U appuser -b -Q "
    "\"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'\" -o "
    "\"C:\\Tools\\veskbackuplog.txt07sql\"";

/// A client that runs for 300 ms and ends with exitCode, having written output, if any, to its
/// output file.
FakeProcessScript client(FakePlatform& platform, std::optional<std::string> output,
                         uint32_t exitCode = 0) {
  FakeProcessScript script;
  script.runsForMs = 300;
  script.exitCode = exitCode;
  script.onStart = [&platform, output] {
    if (output) platform.disk.addFile(outputPath, *output, platform.processes.clockMs * 10'000);
  };
  return script;
}

struct DbFixture {
  FakePlatform platform;
  RunState run{platform};

  DbFixture() {
    run.log.open(testLogPath);
    // Stored with its terminating NUL, as the set-up program writes it.
    for (const std::string& key : {msdeKey, sql2005Key})
      platform.registry.setRegistryValue(key, "SQLPath", RegistryType::text,
                                         std::string("C:\\SQLTools\0", 12));
    platform.disk.addFile("C:\\SQLTools\\Binn\\OSQL.exe", "");
    platform.disk.addFile("C:\\SQLTools\\Binn\\sqlcmd.exe", "");
    platform.processes.processScripts = {client(platform, success)};
  }
  SqlEnd backUp(const DbSettings& db, const PreviousBackup& previous = {}) {
    return runDatabaseBackup(run, db, "D:\\Backup\\", testLogPath, previous);
  }
  std::string started() const {
    return platform.processes.commandsStarted.empty()
               ? ""
               : platform.processes.commandsStarted[0].commandLine;
  }
};

/// The settings with the server version that db.properties names so ("MSDE", "2005"; anything
/// else is none).
DbSettings withVersion(const std::string& name) {
  DbSettings db = sample;
  db.serverVersion = name == "MSDE"   ? ServerVersion::msde
                     : name == "2005" ? ServerVersion::sql2005
                                      : ServerVersion::none;
  return db;
}

TEST(RunDatabaseBackup, RunsTheClientOfItsVersionWithThePasswordInItsEnvironmentAlone) {
  const struct {
    const char* version;
    const char* line;
    const char* variable;
  } cases[] = {{"MSDE", msdeExample, "OSQLPASSWORD"}, {"2005", sql2005Example, "SQLCMDPASSWORD"}};
  for (const auto& c : cases) {
    DbFixture f;
    EXPECT_EQ(SqlEnd::complete, f.backUp(withVersion(c.version)));
    EXPECT_EQ(c.line, f.started());
    const StartedCommand& started = f.platform.processes.commandsStarted[0];
    // Started by the program's path, the first argument of its line.
    EXPECT_EQ(splitArguments(c.line)[0], started.applicationName);
    EXPECT_EQ("", started.outputPath);
    EXPECT_TRUE(started.inputFromNul);
    EXPECT_EQ(WindowMode::maximised, started.window);
    EXPECT_EQ(std::make_pair(std::string(c.variable), std::string("secret")),
              started.environment.at(0));
    // The line that runs is the line logged.
    EXPECT_EQ((Lines{std::string("SQL start backup ") + c.version, c.line, "SQL backup Complete"}),
              logTexts(f.platform));
    EXPECT_EQ((Lines{"SQL backup Complete"}), f.run.record.outcomeLines);
    EXPECT_EQ(started.applicationName, f.run.record.database.client.program);
    EXPECT_EQ(4u, f.run.record.database.client.processId);
  }
}

TEST(RunDatabaseBackup, PasswordNeverReachesLogOrBoxes) {
  for (const char* password : {"secret", "two words", "q\"uote", "Backup"}) {
    DbFixture f;
    f.run.log.showStatusBoxes = true;
    DbSettings db = sample;
    db.dbPassword = password;
    db.dbUser = password;  // a value that holds it is masked where it is shown
    f.platform.processes.processScripts = {
        client(f.platform, "Msg 1, Level 16, State 1\r\n"s + password)};
    EXPECT_EQ(SqlEnd::notComplete, f.backUp(db));
    EXPECT_EQ(password, f.platform.processes.commandsStarted[0].environment.at(0).second);
    std::string shown;
    for (const std::string& message : f.platform.desktop.messages) shown += message + "\n";
    shown += f.platform.disk.fileContent(testLogPath);
    for (const std::string& line : f.run.record.outcomeLines) shown += line + "\n";
    EXPECT_NE(std::string::npos, logTexts(f.platform).at(1).find("********")) << shown;
    EXPECT_NE(std::string::npos, shown.find("  ********")) << shown;
    EXPECT_EQ(std::string::npos, shown.find(password)) << shown;
  }
}

TEST(RunDatabaseBackup, ReportsHowTheClientEndedWithItsErrorMessages) {
  struct Case {
    const char* name;
    std::optional<std::string> output;  // what the client writes; none: no output file
    uint32_t exitCode;
    SqlEnd end;
    Lines lines;                                        // what the log has after the command line
    std::optional<std::string> earlier = std::nullopt;  // an earlier run's output file
    bool unreadable = false;
    bool undeletable = false;
  };
  const std::string notComplete = "SQL backup NOT complete, ";
  const std::string seeOutput = notComplete + "client reported an error, see " + outputPath;
  const std::string missing = notComplete + "client output missing, see " + outputPath;
  const std::string noBackup = notComplete + "client output shows no backup, see " + outputPath;
  const Case cases[] = {
      {"success", success, 0, SqlEnd::complete, {"SQL backup Complete"}},
      {"blank", "\r\n", 0, SqlEnd::notComplete, {noBackup}},
      {"nothing backed up", "\r\n(0 rows affected)\r\n", 0, SqlEnd::notComplete, {noBackup}},
      {"empty output", "", 0, SqlEnd::notComplete, {missing}},
      {"severity 16 in German",
       "Meldung 3201, Ebene 16, Status 1, Zeile 1\r\nKein Zugriff.\r\n",
       1,
       SqlEnd::notComplete,
       {seeOutput, "  Meldung 3201, Ebene 16, Status 1, Zeile 1", "  Kein Zugriff."}},
      {"success, then an error",
       success + "Msg 50000, Level 11, State 1\n",
       0,
       SqlEnd::notComplete,
       {seeOutput, "  Msg 50000, Level 11, State 1"}},
      {"Unicode error",
       "M\0s\0g\0 \0001\0,\0 \0L\0e\0v\0e\0l\0 \0001\0006\0,\0 \0S\0 \0001\0"s,
       0,
       SqlEnd::notComplete,
       {seeOutput, "  Msg 1, Level 16, S 1"}},
      {"no output file", std::nullopt, 0, SqlEnd::notComplete, {missing}},
      {"output file locked",
       success,
       0,
       SqlEnd::notComplete,
       {notComplete + "client output not readable, see " + outputPath},
       std::nullopt,
       true},
      {"earlier output, none written now",
       std::nullopt,
       0,
       SqlEnd::notComplete,
       {missing},
       success},
      {"earlier output that cannot be removed",
       success,
       0,
       SqlEnd::notComplete,
       {notComplete + "old client output could not be removed: " + outputPath},
       success,
       false,
       true},
      {"exit code 1", success, 1, SqlEnd::notComplete, {notComplete + "client exit code 1"}},
      {"exit code -1",
       success,
       0xFFFFFFFFu,
       SqlEnd::notComplete,
       {notComplete + "client exit code 4294967295"}},
  };
  for (const Case& c : cases) {
    DbFixture f;
    if (c.earlier) f.platform.disk.addFile(outputPath, *c.earlier);
    if (c.unreadable) f.platform.disk.unreadable.insert(outputPath);
    if (c.undeletable) f.platform.files.undeletable.insert(outputPath);
    f.platform.processes.processScripts = {client(f.platform, c.output, c.exitCode)};
    EXPECT_EQ(c.end, f.backUp(sample)) << c.name;
    Lines logged = logTexts(f.platform);
    EXPECT_EQ(c.lines, Lines(logged.begin() + 2, logged.end())) << c.name;
    EXPECT_EQ(c.lines, f.run.record.outcomeLines) << c.name;
  }
  // A client that never started or is still running: the outcome says so, whatever the file.
  const struct {
    FakeProcessScript script;
    SqlEnd end;
    const char* message;
  } unfinished[] = {
      {{.failToStart = true},
       SqlEnd::notComplete,
       "SQL backup NOT complete, client could not be started"},
      {{.runsForMs = 60'000}, SqlEnd::stillRunning, "SQL backup still running after 5 seconds"},
  };
  for (const auto& u : unfinished) {
    DbFixture f;
    f.platform.disk.addFile(outputPath, success);
    f.platform.processes.processScripts = {u.script};
    EXPECT_EQ(u.end, f.backUp(sample)) << u.message;
    EXPECT_EQ(u.message, logTexts(f.platform).back());
  }
}

TEST(RunDatabaseBackup, StillRunningClientIsLeftAfterFiveToSixSeconds) {
  DbFixture f;
  f.platform.processes.processScripts = {{.runsForMs = 60'000}};
  const int64_t start = f.platform.processes.clockMs;
  EXPECT_EQ(SqlEnd::stillRunning, f.backUp(sample));
  EXPECT_GE(f.platform.processes.clockMs - start, 5'000);
  EXPECT_LE(f.platform.processes.clockMs - start, 6'250);
  const ClientProcess& client = f.run.record.database.client;
  EXPECT_EQ(outputPath, client.outputPath);
  EXPECT_EQ("2026-12-07T14:05:09+01:00", client.clientStart);
  EXPECT_EQ(uint64_t(start) * 10'000, client.creationTime);
}

TEST(RunDatabaseBackup, StartsNoClientBesideTheOneTheRunBeforeLeftRunning) {
  const ClientProcess running{"C:\\SQLTools\\Binn\\sqlcmd.exe", "C:\\L\\run.logsql",
                              "2026-12-06T02:00:05+01:00", 8, 1234};
  const std::string since = "previous backup still running since 2026-12-06T02:00:05+01:00";
  for (const bool overADay : {false, true}) {
    DbFixture f;
    f.platform.disk.addFile(outputPath, "written by that client");
    EXPECT_EQ(overADay ? SqlEnd::notComplete : SqlEnd::stillRunning,
              f.backUp(withVersion("2005"), {running, overADay, false}));
    EXPECT_TRUE(f.platform.processes.commandsStarted.empty());
    EXPECT_TRUE(f.platform.registry.keysOpened.empty());
    EXPECT_EQ("written by that client", f.platform.disk.fileContent(outputPath));
    EXPECT_EQ((Lines{"SQL start backup 2005", overADay ? "SQL backup NOT complete, " + since
                                                       : "SQL backup not started, " + since}),
              logTexts(f.platform));
    // The record names that client, so that the next run looks for it again.
    EXPECT_EQ(8u, f.run.record.database.client.processId);
  }
}

TEST(RunDatabaseBackup, UnsupportedProviderRunsNothing) {
  DbFixture f;
  EXPECT_EQ(SqlEnd::notComplete, f.backUp(withVersion("")));
  EXPECT_EQ((Lines{"SQL start backup ", "SQL backup NOT complete, unsupported DB_PROVIDER"}),
            logTexts(f.platform));
  EXPECT_TRUE(f.platform.processes.commandsStarted.empty());
  EXPECT_TRUE(f.platform.registry.keysOpened.empty());
}

TEST(RunDatabaseBackup, MissingSqlPathValueFailsAtTheClientToolsStep) {
  const struct {
    const char* version;
    const std::string& key;
    Step step;
  } cases[] = {{"MSDE", msdeKey, Step::msdeClientTools},
               {"2005", sql2005Key, Step::sql2005ClientTools}};
  for (const auto& c : cases) {
    DbFixture f;
    f.platform.registry.keys.clear();
    f.platform.registry.keys[c.key];  // the key alone, without SQLPath
    try {
      f.backUp(withVersion(c.version));
      ADD_FAILURE() << c.version << ": no failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(Fault::unsupportedValueType, failure.fault);
      EXPECT_EQ(c.step, f.run.step);
    }
    EXPECT_TRUE(f.platform.processes.commandsStarted.empty());
    EXPECT_EQ((Lines{std::string("SQL start backup ") + c.version}), logTexts(f.platform));
  }
}

TEST(RunDatabaseBackup, NamesTheLaterToolsItUsesAndStartsNothingWithoutTools) {
  const std::string later =
      "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\150\\Tools\\ClientSetup";
  const std::string odbc = "C:\\ODBC\\170\\Tools\\Binn\\";
  for (const bool laterTools : {true, false}) {
    DbFixture f;
    f.platform.registry.keys.clear();
    f.platform.disk.remove("C:\\SQLTools\\Binn\\sqlcmd.exe");
    // An empty SQLPath once started the program at the root of the current drive.
    f.platform.registry.setRegistryValue(sql2005Key, "SQLPath", RegistryType::text, "");
    f.platform.disk.addFile("\\Binn\\sqlcmd.exe", "");
    if (laterTools) {
      f.platform.registry.setRegistryValue(later, "ODBCToolsPath", RegistryType::text, odbc);
      f.platform.disk.addFile(odbc + "sqlcmd.exe", "");
    }
    const SqlEnd end = f.backUp(withVersion("2005"));
    const ClientProcess& client = f.run.record.database.client;
    if (laterTools) {
      EXPECT_EQ(SqlEnd::complete, end);
      EXPECT_EQ("client tools found under " + later + ": " + odbc + "sqlcmd.exe",
                logTexts(f.platform).at(1));
      EXPECT_EQ(0u, f.started().find("\"" + odbc + "sqlcmd.exe\" -S SRV01,1433 ")) << f.started();
      EXPECT_EQ(odbc + "sqlcmd.exe", client.program);
      EXPECT_EQ(outputPath, client.outputPath);
    } else {
      EXPECT_EQ(SqlEnd::notComplete, end);
      EXPECT_EQ((Lines{"SQL start backup 2005",
                       "SQL backup NOT complete, no client tools found for 2005"}),
                logTexts(f.platform));
      EXPECT_TRUE(f.platform.processes.commandsStarted.empty());
      EXPECT_TRUE(f.platform.desktop.messages.empty()) << "no box";
      EXPECT_EQ("", client.program);
    }
  }
}

}  // namespace
}  // namespace vesk
