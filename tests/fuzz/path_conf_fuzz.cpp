// Fuzz target: any bytes as the content of path.conf, through a whole run (runBackup) on the
// fake platform. The destination D:\Backup exists, and so does an installation at C:\App\
// with its ZAVO\db.properties and the client registered, so that a record naming C:/App/ runs
// the database stage too. Each input runs twice: status boxes shown and xcopy, then status
// boxes off and the shell copy.
//
// Properties, for every input and both runs:
// - the run ends with a known exit status: 0, 2, 3 or 5 (usage and the generic report cannot
//   arise with this command line and a readable path.conf);
// - the run log only grows: the lines of an earlier run stay, and the log never shrinks between
//   two message boxes;
// - when the first record with the key finalPath has no value (no "="), the run ends in the
//   error report with failure 9 at step 58 and nothing else: exit status 2, its box is the last
//   one, its line ends the log, and no copy and no command were started;
// - when a later finalPath record has no value, the run still ends in the error report, either
//   with failure 9 at step 58 or, sent there by an earlier record's failed test, with 0 at 0;
// - without such a record, an error report can only be the one without a failure (0 at 0);
// - no more copies are started than there are finalPath records with a value;
// - xcopy is started by its path with the source as one argument, then /e /s /d /y, and never
//   with a source that no folder's name can be;
// - the database password never reaches the run log or a message box, unless path.conf holds
//   it as well;
// - every record read consumes input, so the record loop ends.

#include <algorithm>
#include <vector>

#include "actions/folder_copy.h"
#include "config/settings_file.h"
#include "fake_platform.h"
#include "fuzz_check.h"
#include "run/report.h"
#include "run/run_backup.h"
#include "unit/actions/actions_test_support.h"

namespace vesk {
namespace {

const std::string logPath = "C:\\Tools\\veskbackuplog.txt07";
const std::string pathConf = "C:\\users\\tester\\.quorlin\\path.conf";
const std::string stamp = "12/7/2026 2:05:09 PM";
const std::string earlierRun = "12/6/2026 11:00:00 PM: VESK start backup\r\n";
const std::string password = "pw-never-shown";
const std::string xcopy = "C:\\windows\\system32\\xcopy.exe";
const std::string dbProperties =
    "DB_PROVIDER=SQLNCLI.1\r\ndbconn.appl.url=proto://dbhost:1433;opt=1\r\n"
    "dbconn.appl.user=appuser\r\ndbconn.appl.pwd=" +
    password + "\r\n";

/// What the records of path.conf hold, read by the same reader as the run.
struct Records {
  size_t withValue = 0;        // finalPath records with a value
  size_t withValueBefore = 0;  // those before the first one without a value
  bool malformed = false;      // a finalPath record without a value
};

Records recordsOf(const std::string& content) {
  Records records;
  FakePlatform platform;
  SettingsFile file(settingsFileText(platform.system, content));
  size_t read = 0;
  while (!file.atEnd()) {
    FUZZ_CHECK(++read <= content.size(), "the record loop does not end");
    std::string record = file.readRecord();
    if (record.empty()) continue;
    std::vector<std::string> pieces = splitSettingsRecord(record);
    if (pieces[0] != "finalPath") continue;
    if (pieces.size() < 2) {
      if (!records.malformed) records.withValueBefore = records.withValue;
      records.malformed = true;
    } else {
      ++records.withValue;
    }
  }
  return records;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

/// What the started programs do: xcopy copies its source into the current folder; the
/// database client writes its output file. For inputs of odd length every program runs for
/// 7 seconds: xcopy is waited for, the client outlives its 5-second wait.
void scriptProcesses(FakePlatform& platform, size_t count, bool slow) {
  for (size_t i = 0; i < count; ++i) {
    FakeProcessScript script;
    script.runsForMs = slow ? 7000 : 0;
    script.onStart = [&platform] {
      const StartedCommand& started = platform.processes.commandsStarted.back();
      if (started.applicationName == xcopy) {
        const std::vector<std::string> arguments = testing::splitArguments(started.commandLine);
        const std::vector<std::string> options(
            arguments.begin() + std::min<size_t>(2, arguments.size()), arguments.end());
        FUZZ_CHECK(arguments.size() == 6 && arguments[0] == xcopy &&
                       options == std::vector<std::string>({"/e", "/s", "/d", "/y"}),
                   "xcopy started with " + fuzz::shown(started.commandLine));
        FUZZ_CHECK(canNameAFolder(arguments[1]),
                   "xcopy handed a path that no folder has: " + fuzz::shown(arguments[1]));
        platform.disk.copyTree(arguments[1], started.currentFolder);
      } else {
        platform.disk.addFile(logPath + "sql", "\r\n(0 rows affected)\r\n",
                              platform.processes.clockMs * 10'000);
      }
    };
    platform.processes.processScripts.push_back(script);
  }
}

void runOnce(const std::string& content, const Records& records, bool boxesAndXcopy) {
  FakePlatform platform;
  const char* options = boxesAndXcopy ? " \"default\" \"Y\" \"Y\"" : " \"default\" \"N\" \"N\"";
  platform.system.commandLineText =
      "\"C:\\Tools\\veskbackup.exe\" \"D:\\Backup\"" + std::string(options);
  platform.disk.addFolder("D:\\Backup");
  platform.disk.addFile(pathConf, content);
  platform.disk.addFile(logPath, earlierRun);
  platform.disk.addFile("C:\\App\\client.exe", "binary", 42);
  platform.disk.addFile("C:\\App\\ZAVO\\db.properties", dbProperties);
  platform.registry.setRegistryValue(
      "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\90\\Tools\\ClientSetup", "SQLPath",
      RegistryType::text, "C:\\SQLTools");

  // At most one process per copy and one database client, the client being the last.
  scriptProcesses(platform, records.withValue + 1, content.size() % 2 == 1);
  platform.desktop.onShellCopy = [&platform] {
    // The copy is asked for with "<source>\*": everything in the source.
    const ShellCopyCall& copy = platform.desktop.shellCopies.back();
    if (copy.from.size() > 2)
      platform.disk.copyTree(copy.from.substr(0, copy.from.size() - 2), copy.to);
  };

  std::string logSoFar = earlierRun;
  auto checkLogGrew = [&platform, &logSoFar] {
    const std::string now = platform.disk.fileContent(logPath);
    FUZZ_CHECK(now.compare(0, logSoFar.size(), logSoFar) == 0 && now.size() >= logSoFar.size(),
               "the run log lost text");
    logSoFar = now;
  };
  platform.desktop.onMessage = [&checkLogGrew](const std::string&) { checkLogGrew(); };

  const int status = runBackup(platform);
  checkLogGrew();
  const std::string context = std::string(boxesAndXcopy ? "xcopy run" : "shell copy run") +
                              ", status " + std::to_string(status) + ": " + fuzz::shown(content);

  FUZZ_CHECK(status == exitStatus::backedUp || status == exitStatus::errorReport ||
                 status == exitStatus::nothingBackedUp ||
                 status == exitStatus::databaseStillRunning,
             context);

  // The error report, when the run ended in it: its box comes last, its line ends the log.
  struct Report {
    ReportedFailure failure;
    Step step;
  };
  const Report withoutFailure{{}, Step::none};
  const Report missingValue{reported(Failure(Fault::subscriptOutOfRange)), Step::finalPathValue};
  auto endedIn = [&](const Report& r) {
    return status == exitStatus::errorReport && !platform.desktop.messages.empty() &&
           platform.desktop.messages.back() == errorReportMessage(r.failure, r.step) &&
           endsWith(logSoFar, stamp + errorReportLine(r.failure, r.step) + "\r\n");
  };

  size_t copiesStarted = platform.desktop.shellCopies.size();
  for (const StartedCommand& command : platform.processes.commandsStarted)
    if (command.applicationName == xcopy) ++copiesStarted;
  FUZZ_CHECK(copiesStarted <= records.withValue, context);

  if (records.malformed && records.withValueBefore == 0) {
    FUZZ_CHECK(endedIn(missingValue), context);
    FUZZ_CHECK(platform.processes.commandsStarted.empty() && platform.desktop.shellCopies.empty(),
               context);
    // Nothing but the start of the run and the error report.
    FUZZ_CHECK(logSoFar == earlierRun + stamp + ": VESK start backup\r\n" + stamp +
                               errorReportLine(missingValue.failure, missingValue.step) + "\r\n",
               context);
  } else if (records.malformed) {
    FUZZ_CHECK(endedIn(missingValue) || endedIn(withoutFailure), context);
  } else if (status == exitStatus::errorReport) {
    FUZZ_CHECK(endedIn(withoutFailure), context);
  }

  // Only the database settings hold the password; a path.conf that holds it too may well have
  // it logged as part of a folder name.
  if (content.find(password) != std::string::npos) return;
  FUZZ_CHECK(logSoFar.find(password) == std::string::npos, "password logged: " + context);
  for (const std::string& message : platform.desktop.messages)
    FUZZ_CHECK(message.find(password) == std::string::npos, "password shown: " + context);
}

}  // namespace
}  // namespace vesk

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  const std::string content = fuzz::inputText(data, size);
  const Records records = recordsOf(content);
  runOnce(content, records, true);
  runOnce(content, records, false);
  return 0;
}
