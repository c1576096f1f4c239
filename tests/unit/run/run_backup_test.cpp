#include "run/run_backup.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "run/report.h"
#include "run/run_settings.h"

namespace vesk {
namespace {

const std::string stamp = "12/7/2026 2:05:09 PM";
const std::string logPath = "C:\\Tools\\veskbackuplog.txt07";
const std::string pathConf = "C:\\users\\tester\\.quorlin\\path.conf";

class RunBackup : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.disk.addFolder("C:\\users\\tester");
    platform.disk.addFolder("D:\\");
  }

  int run(const std::string& arguments) {
    platform.system.commandLineText = "\"C:\\Tools\\veskbackup.exe\" " + arguments;
    return runBackup(platform);
  }

  /// The log's lines, each with the time stamp and ": " of writeLog removed.
  std::vector<std::string> logged(const std::string& path = logPath) {
    std::vector<std::string> lines;
    for (const auto& line : platform.disk.fileLines(path)) {
      EXPECT_EQ(0u, line.rfind(stamp, 0)) << line;
      std::string rest = line.substr(stamp.size());
      lines.push_back(rest.rfind(": ", 0) == 0 ? rest.substr(2) : rest);
    }
    return lines;
  }

  /// An installation at C:\Apps\Client (or folder, named finalPath in path.conf) with one
  /// file, copied completely by xcopy.
  void installApplication(const std::string& finalPath = "C:/Apps/Client/",
                          const std::string& folder = "C:\\Apps\\Client") {
    platform.disk.addFile(pathConf, "finalPath=" + finalPath + "\r\n");
    platform.disk.addFile(folder + (folder.back() == '\\' ? "" : "\\") + "client.exe", "binary",
                          42);
    platform.processes.processScripts.push_back({.runsForMs = 100, .onStart = [this, folder] {
                                                   platform.disk.copyTree(folder, "D:\\Backup");
                                                 }});
  }

  FakePlatform platform;
};

TEST_F(RunBackup, UsageMessageAloneWhenFewerThanTwoQuotes) {
  for (const char* arguments : {"", "D:\\Backup", "\"D:\\Backup"}) {
    platform.desktop.messages.clear();
    EXPECT_EQ(exitStatus::usage, run(arguments)) << arguments;
    EXPECT_EQ(std::vector<std::string>{usageMessage}, platform.desktop.messages);
    EXPECT_FALSE(platform.files.fileExists(logPath));
    EXPECT_TRUE(platform.disk.foldersCreated.empty());
  }
}

TEST_F(RunBackup, MissingPathConfGoesThroughTheErrorReport) {
  EXPECT_EQ(exitStatus::errorReport, run("\"D:\\Backup\""));
  EXPECT_EQ((std::vector<std::string>{"VESK start backup", pathConf + "not found. Pls. check",
                                      "Error: 0line no: 0Desc:"}),
            logged());
  EXPECT_EQ(std::vector<std::string>{"Unexpected error 0 line no 0 in printing.\r\n"},
            platform.desktop.messages);
  EXPECT_EQ(std::vector<std::string>{"D:\\Backup"}, platform.disk.foldersCreated);
}

TEST_F(RunBackup, NotifyFlagOtherThanCapitalNShowsEveryStatus) {
  EXPECT_EQ(exitStatus::errorReport, run("\"D:\\Backup\\Daily\\\" \"default\" \"n\""));
  EXPECT_EQ(
      (std::vector<std::string>{"VESK start backup", "create dirD:\\Backup",
                                "create dirD:\\Backup\\Daily", pathConf + "not found. Pls. check",
                                "Unexpected error 0 line no 0 in printing.\r\n"}),
      platform.desktop.messages);
}

TEST_F(RunBackup, LogThatCannotBeCreatedEndsWithTheGenericReport) {
  EXPECT_EQ(exitStatus::generic, run("\"D:\\Backup\" \"C:\\NoSuchFolder\\run.log\" \"Y\""));
  ASSERT_EQ(3u, platform.desktop.messages.size());
  EXPECT_EQ("Cannot Create logfile because path incorrect, directory not found.Pls. check",
            platform.desktop.messages[0]);
  EXPECT_EQ("VESK start backup", platform.desktop.messages[1]);
  EXPECT_EQ("Error 91: Run log is not open", platform.desktop.messages[2]);
  EXPECT_TRUE(platform.disk.foldersCreated.empty());
}

TEST_F(RunBackup, GenericReportAlsoReachesAnOpenLog) {
  const struct {
    const char* destination;
    std::vector<std::string> lines;
    std::string report;
  } cases[] = {
      {"Q:\\Data\\New",
       {"VESK start backup", "create dirQ:\\Data", "Error 76: Path not found"},
       "Error 76: Path not found"},
      {"D:\\Backup.txt",
       {"VESK start backup", "Error 58: File already exists"},
       "Error 58: File already exists"},
  };
  for (const auto& c : cases) {
    platform.reset();
    SetUp();
    platform.disk.addFile("D:\\Backup.txt", "not a folder");
    EXPECT_EQ(exitStatus::generic, run("\"" + std::string(c.destination) + "\""));
    EXPECT_EQ(c.lines, logged()) << c.destination;
    EXPECT_EQ(std::vector<std::string>{c.report}, platform.desktop.messages) << c.destination;
    EXPECT_EQ("not a folder", platform.disk.fileContent("D:\\Backup.txt"));
  }
}

TEST_F(RunBackup, ExistingLogIsAppendedToOnALineOfItsOwn) {
  const struct {
    std::string earlier;
    std::string kept;  // the earlier content as the run leaves it
  } cases[] = {
      {"earlier line\r\n", "earlier line\r\n"},
      {"earlier line\r\ntorn li", "earlier line\r\ntorn li\r\n"},
      {"", ""},
  };
  for (const auto& c : cases) {
    platform.reset();
    SetUp();
    platform.disk.addFile(logPath, c.earlier);
    run("\"D:\\Backup\"");
    const std::string start = c.kept + stamp + ": VESK start backup\r\n";
    EXPECT_EQ(start, platform.disk.fileContent(logPath).substr(0, start.size())) << c.earlier;
  }
}

TEST_F(RunBackup, FolderStageMessagesAndWhereTheRunGoes) {
  const struct {
    const char* name;
    std::string pathConfText;
    std::string destination;
    int status;
    std::vector<std::string> messages;  // after "VESK start backup"
  } cases[] = {
      {"no finalPath record",
       "other=1\r\nFinalPath=C:/App/\r\nfinalPath =C:/App/\r\n",
       "D:\\Backup",
       exitStatus::nothingBackedUp,
       {"nothing backed up: no finalPath record in " + pathConf,
        "VESK backup completed without SQLServer version"}},
      {"source drive missing",
       "finalPath=Q:/App/",
       "D:\\Backup",
       exitStatus::errorReport,
       {"Q:/App/Not a folder.", "Q:/App/ Pls. use a valid source folder",
        "Error: 0line no: 0Desc:"}},
      {"same folder",
       "finalPath=C:/App/",
       "C:\\App\\",
       exitStatus::errorReport,
       {"Cannot back up to itselfC:/App/", "Error: 0line no: 0Desc:"}},
      {"inside the source",
       "finalPath=C:/App/",
       "c:\\app\\Backup",
       exitStatus::errorReport,
       {"Cannot back up to itselfC:/App/", "Error: 0line no: 0Desc:"}},
      {"record without a value",
       "finalPath\r\n",
       "D:\\Backup",
       exitStatus::errorReport,
       {"Error: 9line no: 58Desc:Subscript out of range"}},
  };
  for (const auto& c : cases) {
    platform.reset();
    SetUp();
    platform.disk.addFolder("C:\\App");
    platform.disk.addFile(pathConf, c.pathConfText);
    EXPECT_EQ(c.status, run("\"" + c.destination + "\"")) << c.name;
    std::vector<std::string> expected{"VESK start backup"};
    expected.insert(expected.end(), c.messages.begin(), c.messages.end());
    std::vector<std::string> lines = logged();
    if (!lines.empty() && lines[1].rfind("create dir", 0) == 0) lines.erase(lines.begin() + 1);
    EXPECT_EQ(expected, lines) << c.name;
  }
}

TEST_F(RunBackup, CompletedCopyWithoutDatabaseSettingsExitsZero) {
  const struct {
    const char* finalPath;
    std::string folder, source;  // source: as the log and xcopy are given it
  } cases[] = {
      {"C:/Apps/Client/", "C:\\Apps\\Client", "C:\\Apps\\Client"},
      {"C:/Apps/Client", "C:\\Apps\\Client", "C:\\Apps\\Client"},
      // "E:" alone would be the drive's current folder.
      {"E:/", "E:\\", "E:\\"},
      {"E:\\", "E:\\", "E:\\"},
  };
  for (const auto& c : cases) {
    platform.reset();
    SetUp();
    platform.disk.drives.insert('E');
    installApplication(c.finalPath, c.folder);
    EXPECT_EQ(exitStatus::backedUp, run("\"D:\\Backup\"")) << c.finalPath;
    EXPECT_EQ((std::vector<std::string>{
                  "VESK start backup", "Start copying from " + c.source + "to D:\\Backup\\",
                  "doing xcopy", "cd to D:\\", "Backup Folder completed",
                  "backup holds 1 files in 0 folders, 6 bytes; copied again: 0",
                  "VESK backup completed without SQLServer version"}),
              logged())
        << c.finalPath;
    ASSERT_EQ(1u, platform.processes.commandsStarted.size());
    EXPECT_EQ("C:\\windows\\system32\\xcopy.exe " + c.source + " /e /s /d /y",
              platform.processes.commandsStarted[0].commandLine);
    EXPECT_TRUE(platform.desktop.messages.empty());
  }
}

TEST_F(RunBackup, IncompleteCopyGoesOnAndExitsThree) {
  installApplication();
  platform.processes.processScripts[0].onStart = nullptr;             // xcopy copies nothing
  platform.trees.copyFailsAfter["C:\\Apps\\Client\\client.exe"] = 0;  // and the disk is full
  EXPECT_EQ(exitStatus::nothingBackedUp, run("\"D:\\Backup\""));
  std::vector<std::string> lines = logged();
  EXPECT_EQ("VESK backup completed without SQLServer version", lines.back());
  EXPECT_EQ("Backup Folder NOT complete", lines[lines.size() - 3]);
  EXPECT_EQ("backup holds 0 files in 0 folders, 0 bytes; copied again: 0", lines[lines.size() - 2]);
}

TEST_F(RunBackup, UnreadableDatabaseSettingsFailAtStep81) {
  installApplication();
  platform.disk.addFile("C:\\Apps\\Client\\ZAVO\\db.properties", "DB_PROVIDER=SQLOLEDB");
  platform.disk.unreadable.insert("C:\\Apps\\Client\\ZAVO\\db.properties");
  EXPECT_EQ(exitStatus::errorReport, run("\"D:\\Backup\""));
  EXPECT_EQ("Error: 70line no: 81Desc:Permission denied", logged().back());
  EXPECT_EQ(
      std::vector<std::string>{"Unexpected error 70 line no 81 in printing.\r\nPermission denied"},
      platform.desktop.messages);
}

TEST_F(RunBackup, FailureInsideTheErrorReportIsNotCaughtAgain) {
  installApplication();
  platform.disk.addFile("C:\\Apps\\Client\\ZAVO\\db.properties", "dbconn.appl.user\r\n");
  platform.desktop.onMessage = [this](const std::string&) { platform.files.failLogWrites = true; };
  EXPECT_EQ(exitStatus::generic, run("\"D:\\Backup\""));
  EXPECT_EQ((std::vector<std::string>{
                "Unexpected error 9 line no 107 in printing.\r\nSubscript out of range",
                "Error 61: Disk full"}),
            platform.desktop.messages);
}

TEST(TimestampText, MidnightGivesTheDateAlone) {
  FakePlatform platform;
  EXPECT_EQ("12/7/2026", timestampText(platform.system, {2026, 12, 7, 0, 0, 0}));
  EXPECT_EQ("12/7/2026 12:00:01 AM", timestampText(platform.system, {2026, 12, 7, 0, 0, 1}));
  EXPECT_EQ("C:\\Tools\\veskbackuplog.txt07", defaultLogPath("C:\\Tools", 7));
  EXPECT_EQ("C:\\Tools\\veskbackuplog.txt31", defaultLogPath("C:\\Tools", 31));
}

}  // namespace
}  // namespace vesk
