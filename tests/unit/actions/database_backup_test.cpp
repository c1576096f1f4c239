#include "actions/database_backup.h"

#include <gtest/gtest.h>

#include <optional>

#include "actions_test_support.h"
#include "fake_platform.h"
#include "platform/failure.h"

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

const DbSettings sample{"MSDE", "SRV01", "1433", "appuser", "secret"};

const char* const msdeExample =
    "\"C:\\SQLTools\\Binn\\OSQL.exe\" -S SRV01,1433 -d VESK_ZAVO -U appuser -P secret -Q "
    "\"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \\\"D:\\Backup\\\"\" -o "
    "\"C:\\Tools\\veskbackuplog.txt07sql\"";
const char* const sql2005Example =
    "\"C:\\SQLTools\\Binn\\sqlcmd.exe\" -S SRV01,1433 -d VESK_ZAVO -U appuser -P secret -Q "
    "\"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'\" -o "
    "\"C:\\Tools\\veskbackuplog.txt07sql\"";

std::string masked(std::string line) {
  line.replace(line.find(" -P secret "), 11, " -P ******** ");
  return line;
}

struct DbFixture {
  FakePlatform platform;
  RunLog log{platform};
  uint32_t stepNumber = 0;

  DbFixture() {
    log.open(testLogPath);
    // Stored with its terminating NUL, as the set-up program writes it.
    platform.setRegistryValue(msdeKey, "SQLPath", 1, std::string("C:\\SQLTools\0", 12));
    platform.setRegistryValue(sql2005Key, "SQLPath", 1, std::string("C:\\SQLTools\0", 12));
    platform.addFile(outputPath, "\r\n(0 rows affected)\r\n");
  }
  SqlEnd run(const DbSettings& db, const std::string& destination = "D:\\Backup\\") {
    return runDatabaseBackup(platform, log, db, destination, testLogPath, stepNumber);
  }
  std::string started() const {
    return platform.commandsStarted.empty() ? "" : platform.commandsStarted[0].commandLine;
  }
};

DbSettings withVersion(const char* version) {
  DbSettings db = sample;
  db.serverVersion = version;
  return db;
}

TEST(RunDatabaseBackup, WorkedExampleRunsAndReportsTheExactLineWithTheMaskedPassword) {
  const struct {
    const char* version;
    const char* line;
  } cases[] = {{"MSDE", msdeExample}, {"2005", sql2005Example}};
  for (const auto& c : cases) {
    DbFixture f;
    EXPECT_EQ(SqlEnd::complete, f.run(withVersion(c.version)));
    EXPECT_EQ(c.line, f.started());
    EXPECT_EQ("", f.platform.commandsStarted[0].applicationName);
    EXPECT_EQ(3, f.platform.commandsStarted[0].showWindow);
    EXPECT_EQ((Lines{std::string("SQL start backup ") + c.version, masked(c.line),
                     "SQL backup Complete"}),
              logTexts(f.platform));
    EXPECT_EQ(122u, f.stepNumber);
  }
}

TEST(RunDatabaseBackup, PasswordNeverReachesLogOrBoxes) {
  for (const char* password : {"secret", "two words", "q\"uote"}) {
    DbFixture f;
    f.log.notifyFlag = "Y";
    DbSettings db = sample;
    db.dbPassword = password;
    f.run(db);
    EXPECT_EQ(password, splitArguments(f.started()).at(8)) << "the client gets it";
    std::string shown;
    for (const std::string& message : f.platform.messages) shown += message + "\n";
    EXPECT_NE(std::string::npos, shown.find(" -P ******** -Q ")) << shown;
    EXPECT_EQ(std::string::npos, shown.find(password)) << shown;
    std::string logged = f.platform.fileContent(testLogPath);
    EXPECT_NE(std::string::npos, logged.find(" -P ******** -Q ")) << logged;
    EXPECT_EQ(std::string::npos, logged.find(password)) << logged;
  }
}

TEST(BackupCommandLine, FolderForms) {
  const struct {
    const char* destination;
    const char* msdeArgument;
    const char* sql2005Argument;
  } cases[] = {
      {"D:\\Backup\\", "'F', \\\"D:\\Backup\\\"\"", "'F', 'D:\\Backup'\""},
      {"D:\\", "'F', \\\"D:\\\"\"", "'F', 'D:'\""},
      {"   D:\\My Backup\\", "'F', \\\"D:\\My Backup\\\"\"", "'F', 'D:\\My Backup'\""},
      {"D:\\Bob's Backup\\", "'F', \\\"D:\\Bob's Backup\\\"\"", "'F', 'D:\\Bob''s Backup'\""},
      {"D:\\trailing \\", "'F', \\\"D:\\trailing \\\"\"", "'F', 'D:\\trailing '\""},
      {"\\", "'F', \\\"\\\"\"", "'F', ''\""},
      {"", "'F', \\\"\"\"", "'F', ''\""},
  };
  for (const auto& c : cases) {
    std::string msde =
        backupCommandLine(ClientForm::msde, "C:\\SQLTools", sample, c.destination, "L", false);
    std::string sql2005 =
        backupCommandLine(ClientForm::sql2005, "C:\\SQLTools", sample, c.destination, "L", false);
    EXPECT_NE(std::string::npos, msde.find(std::string(c.msdeArgument) + " -o \"Lsql\""))
        << c.destination << ": " << msde;
    EXPECT_NE(std::string::npos, sql2005.find(std::string(c.sql2005Argument) + " -o \"Lsql\""))
        << c.destination << ": " << sql2005;
  }
}

TEST(BackupCommandLine, WhatTheClientReceives) {
  const struct {
    ClientForm form;
    std::string toolsDir;
    DbSettings db;
    const char* destination;
    Lines arguments;
  } cases[] = {
      {ClientForm::msde,
       "C:\\SQLTools",
       sample,
       "D:\\Backup\\",
       {"C:\\SQLTools\\Binn\\OSQL.exe", "-S", "SRV01,1433", "-d", "VESK_ZAVO", "-U", "appuser",
        "-P", "secret", "-Q", "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \"D:\\Backup\"", "-o",
        "C:\\Tools\\veskbackuplog.txt07sql"}},
      {ClientForm::sql2005,
       "C:\\SQLTools",
       sample,
       "D:\\Backup\\",
       {"C:\\SQLTools\\Binn\\sqlcmd.exe", "-S", "SRV01,1433", "-d", "VESK_ZAVO", "-U", "appuser",
        "-P", "secret", "-Q", "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'", "-o",
        "C:\\Tools\\veskbackuplog.txt07sql"}},
      {ClientForm::msde,
       std::string("C:\\Program Files\\SQL\0\0junk", 26),
       {"MSDE", "db host", "1433", "app user", "pa ss\"word\\"},
       "  D:\\My Backup\\",
       {"C:\\Program Files\\SQL\\Binn\\OSQL.exe", "-S", "db host,1433", "-d", "VESK_ZAVO", "-U",
        "app user", "-P", "pa ss\"word\\", "-Q",
        "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \"D:\\My Backup\"", "-o",
        "C:\\Tools\\veskbackuplog.txt07sql"}},
      {ClientForm::sql2005,
       "C:\\SQLTools",
       {"2005", "SRV01", "1433", "o'brien", "\t"},
       "D:\\",
       {"C:\\SQLTools\\Binn\\sqlcmd.exe", "-S", "SRV01,1433", "-d", "VESK_ZAVO", "-U", "o'brien",
        "-P", "\t", "-Q", "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:'", "-o",
        "C:\\Tools\\veskbackuplog.txt07sql"}},
  };
  for (const auto& c : cases) {
    std::string line =
        backupCommandLine(c.form, c.toolsDir, c.db, c.destination, testLogPath, false);
    EXPECT_EQ(c.arguments, splitArguments(line)) << line;
    std::string shown =
        backupCommandLine(c.form, c.toolsDir, c.db, c.destination, testLogPath, true);
    Lines maskedArguments = c.arguments;
    maskedArguments[8] = "********";
    EXPECT_EQ(maskedArguments, splitArguments(shown)) << shown;
  }
}

TEST(RunDatabaseBackup, ReportsHowTheClientEnded) {
  struct Case {
    const char* name;
    FakeProcessScript script;
    std::optional<std::string> output;  // none: no output file
    SqlEnd end;
    std::string message;
    bool unreadable = false;
  };
  auto script = [](int64_t runsForMs, uint32_t exitCode, bool failToStart = false) {
    FakeProcessScript s;
    s.runsForMs = runsForMs;
    s.exitCode = exitCode;
    s.failToStart = failToStart;
    return s;
  };
  const std::string seeOutput =
      "SQL backup NOT complete, client reported an error, see " + outputPath;
  const Case cases[] = {
      {"clean", script(300, 0), "\r\n", SqlEnd::complete, "SQL backup Complete"},
      {"empty output", script(300, 0), "", SqlEnd::complete, "SQL backup Complete"},
      {"informational message", script(300, 0),
       "Msg 5701, Level 0, State 2, Server S, Line 1\r\nChanged database context.\r\n",
       SqlEnd::complete, "SQL backup Complete"},
      {"severity 10", script(300, 0), "Msg 3014, Level 10, State 1\r\n", SqlEnd::complete,
       "SQL backup Complete"},
      {"severity 16", script(300, 0),
       "BACKUP started\r\nMsg 3201, Level 16, State 1, Server SRV01, Line 1\r\nCannot open\r\n",
       SqlEnd::notComplete, seeOutput},
      {"severity 11 without CR", script(300, 0), "Msg 208, Level 11, State 1\nx",
       SqlEnd::notComplete, seeOutput},
      {"Unicode output", script(300, 0), "M\0s\0g\0 \0001\0,\0 \0L\0e\0v\0e\0l\0 \0001\0006\0,\0"s,
       SqlEnd::notComplete, seeOutput},
      {"not at line start", script(300, 0), "text Msg 3201, Level 16, State 1\r\n",
       SqlEnd::complete, "SQL backup Complete"},
      {"no output file", script(300, 0), std::nullopt, SqlEnd::notComplete, seeOutput},
      {"output file locked", script(300, 0), "\r\n", SqlEnd::notComplete, seeOutput, true},
      {"exit code 1", script(300, 1), "\r\n", SqlEnd::notComplete,
       "SQL backup NOT complete, client exit code 1"},
      {"exit code -1", script(300, 0xFFFFFFFFu), "\r\n", SqlEnd::notComplete,
       "SQL backup NOT complete, client exit code 4294967295"},
      {"not started", script(0, 0, true), "\r\n", SqlEnd::notComplete,
       "SQL backup NOT complete, client could not be started"},
      {"still running", script(60'000, 0), "\r\n", SqlEnd::stillRunning,
       "SQL backup still running after 5 seconds"},
  };
  for (const Case& c : cases) {
    DbFixture f;
    f.platform.files.erase(outputPath);
    if (c.output) f.platform.addFile(outputPath, *c.output);
    if (c.unreadable) f.platform.unreadable.insert(outputPath);
    f.platform.processScripts = {c.script};
    EXPECT_EQ(c.end, f.run(sample)) << c.name;
    EXPECT_EQ(c.message, logTexts(f.platform).back()) << c.name;
    EXPECT_EQ(3u, logTexts(f.platform).size()) << c.name;
    EXPECT_EQ(122u, f.stepNumber) << c.name;
  }
}

TEST(RunDatabaseBackup, StillRunningClientIsLeftAfterFiveToSixSeconds) {
  DbFixture f;
  FakeProcessScript minute;
  minute.runsForMs = 60'000;
  f.platform.processScripts = {minute};
  const int64_t start = f.platform.clockMs;
  EXPECT_EQ(SqlEnd::stillRunning, f.run(sample));
  EXPECT_GE(f.platform.clockMs - start, 5'000);
  EXPECT_LE(f.platform.clockMs - start, 6'250);
}

TEST(RunDatabaseBackup, UnsupportedProviderRunsNothing) {
  for (const char* version : {"", "msde", "2008", "MSDE "}) {
    DbFixture f;
    EXPECT_EQ(SqlEnd::notComplete, f.run(withVersion(version))) << version;
    EXPECT_EQ((Lines{std::string("SQL start backup ") + version,
                     "SQL backup NOT complete, unsupported DB_PROVIDER"}),
              logTexts(f.platform));
    EXPECT_TRUE(f.platform.commandsStarted.empty());
    EXPECT_EQ(0, f.platform.registryQueries);
    EXPECT_EQ(122u, f.stepNumber);
  }
}

TEST(RunDatabaseBackup, MissingSetupKeyLeavesTheToolsFolderEmpty) {
  DbFixture f;
  f.platform.registry.clear();
  f.run(sample);
  EXPECT_EQ(0u, f.started().find("\"\\Binn\\OSQL.exe\" -S SRV01,1433 ")) << f.started();
}

TEST(RunDatabaseBackup, MissingSqlPathValueFailsAtTheRegistryStep) {
  const struct {
    const char* version;
    const std::string& key;
    uint32_t step;
  } cases[] = {{"MSDE", msdeKey, 116}, {"2005", sql2005Key, 120}};
  for (const auto& c : cases) {
    DbFixture f;
    f.platform.registry[c.key].clear();
    try {
      f.run(withVersion(c.version));
      ADD_FAILURE() << c.version << ": no failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(1001, failure.number);
    }
    EXPECT_EQ(c.step, f.stepNumber);
    EXPECT_TRUE(f.platform.commandsStarted.empty());
    EXPECT_EQ((Lines{std::string("SQL start backup ") + c.version}), logTexts(f.platform));
  }
}

}  // namespace
}  // namespace vesk
