#include "actions/database_backup.h"

#include <algorithm>

#include "actions/client_output.h"
#include "actions/command_runner.h"
#include "actions/read_back.h"
#include "config/settings_file.h"
#include "platform/failure.h"

namespace vesk {
namespace {

constexpr int32_t clientTimeoutSeconds = 5;
const char* const passwordMask = "********";

std::string withoutLeadingBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

/// A T-SQL string literal holds a single quote as two.
std::string doubledSingleQuotes(const std::string& text) {
  std::string result;
  for (char c : text) {
    result += c;
    if (c == '\'') result += '\'';
  }
  return result;
}

}  // namespace

DatabaseOutcome databaseNotComplete(const std::string& why, std::vector<std::string> messages) {
  return {SqlEnd::notComplete, "SQL backup NOT complete, " + why, std::move(messages)};
}

std::string clientOutputPath(const std::string& logPath) { return logPath + "sql"; }

std::string backupCommandLine(ClientForm form, const std::string& program, const DbSettings& db,
                              const std::string& destinationDir, const std::string& logPath) {
  const bool msde = form == ClientForm::msde;
  // Appended piece by piece, in the order of the command line.
  std::string line = "\"";
  line += program;
  line += "\" -S ";
  line += quoteArgument(db.dbHost + "," + db.dbPort);
  line += " -d VESK_ZAVO -U ";
  line += quoteArgument(db.dbUser);
  line += " -b -Q \"";
  if (msde) {
    // The backslash before the opening double quote and the folder's own trailing backslash
    // before the closing one make both literal, so the folder reaches the procedure between
    // double quotes, without its trailing backslash.
    line += "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \\\"";
    line += withoutLeadingBlanks(destinationDir);
    line += "\"\"";
  } else {
    std::string folder = destinationDir.empty()
                             ? std::string()
                             : destinationDir.substr(0, destinationDir.size() - 1);
    line += "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', '";
    line += doubledSingleQuotes(withoutLeadingBlanks(folder));
    line += "'\"";
  }
  line += " -o \"";
  line += clientOutputPath(logPath);
  line += "\"";
  // osql reads the password from its variable only when -P ends the line without a value.
  if (msde) line += " -P";
  return line;
}

std::vector<std::pair<std::string, std::string>> clientEnvironment(ClientForm form,
                                                                   const DbSettings& db) {
  if (form == ClientForm::msde) return {{"OSQLPASSWORD", db.dbPassword}};
  // Some later builds of sqlcmd take the password from its variable only together with the
  // user from its own.
  return {{"SQLCMDPASSWORD", db.dbPassword}, {"SQLCMDUSER", db.dbUser}};
}

std::string maskedPassword(const std::string& text, const std::string& password) {
  if (password.empty()) return text;
  // Every stretch that either form covers, overlapping ones joined, becomes one mask: masking
  // one form after the other could leave a part of the first that the second took for itself.
  std::vector<bool> covered(text.size());
  for (const std::string& form : {password, escapedInQuotes(password)})
    for (size_t at = text.find(form); at != std::string::npos; at = text.find(form, at + 1))
      std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(at), form.size(), true);
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!covered[i])
      shown += text[i];
    else if (i == 0 || !covered[i - 1])
      shown += passwordMask;
  }
  return shown;
}

ClientRun runClient(const Platform& platform, RunLog& log, ClientForm form,
                    const std::string& program, const DbSettings& db,
                    const std::string& destinationDir, const std::string& logPath) {
  ClientRun run;
  const std::string line = backupCommandLine(form, program, db, destinationDir, logPath);
  // The password is in no argument; a value that holds it (a url of the form
  // user:password@host puts it into -S) is masked in what is shown and logged.
  log.reportStatus(maskedPassword(line, db.dbPassword));
  run.process.program = program;
  run.process.outputPath = clientOutputPath(logPath);
  // The client's output confirms the backup, so the output of an earlier run goes first.
  try {
    platform.files.deleteFile(run.process.outputPath);
  } catch (const Failure&) {
    run.oldOutputRemoved = false;
  }
  run.process.clientStart = isoTimeText(platform.system.zonedTime());
  // Started by its path, so that no text of the command line can make the system start
  // another program (the part before a double quote inside SQLPath, say, a batch file that a
  // command interpreter would run). Its input is the NUL device: a client that asks for a
  // password reads the end of its input and fails instead of waiting for nobody.
  run.command = runAndWait(platform.processes, platform.desktop,
                           {.applicationName = program,
                            .commandLine = line,
                            .window = WindowMode::maximised,
                            .inputFromNul = true,
                            .environment = clientEnvironment(form, db)},
                           clientTimeoutSeconds);
  run.process.processId = run.command.processId;
  run.process.creationTime = run.command.creationTime;
  return run;
}

DatabaseOutcome outcomeOf(const Platform& platform, const ClientRun& run,
                          const std::string& password) {
  const std::string& outputPath = run.process.outputPath;
  // A file that the client could not replace (held open, read-only) is an earlier run's
  // output: it tells nothing about this run, now or when the next run reads it.
  if (!run.oldOutputRemoved && run.command.end != CommandEnd::notStarted)
    return databaseNotComplete("old client output could not be removed: " + outputPath);
  switch (run.command.end) {
    case CommandEnd::notStarted:
      return databaseNotComplete("client could not be started");
    case CommandEnd::stillRunning:
      return {SqlEnd::stillRunning, "SQL backup still running after " +
                                        std::to_string(clientTimeoutSeconds) + " seconds"};
    case CommandEnd::exited:
      break;
  }
  // Both clients end with 0 after an error unless told -b, and also when they could not write
  // their output (a full disk): the output file is the evidence. An earlier run's file was
  // removed before the client started, so whatever is there now was written by it.
  ClientEvidence evidence = outputEvidence(platform, run.process);
  evidence.exitCode = run.command.exitCode;
  const ClientVerdict verdict = judgeClient(evidence, outputPath);
  if (verdict.confirmed) return {SqlEnd::complete, "SQL backup Complete"};
  return databaseNotComplete(
      verdict.reason, messagesForLog(platform.system, verdict.messages, verdict.utf16, password));
}

ClientEvidence outputEvidence(const Platform& platform, const ClientProcess& client) {
  // A file system that keeps times to 2 seconds (FAT) may date an output written at once after
  // the client's start before it.
  constexpr int64_t tolerance = 2 * 10'000'000;
  ClientEvidence evidence;
  try {
    if (!platform.files.fileExists(client.outputPath)) return evidence;
    if (client.creationTime != 0) {
      const std::optional<FolderEntry> entry =
          platform.trees.entryAt(platform.trees.longPathOf(client.outputPath));
      if (entry && entry->lastWriteTime + tolerance < static_cast<int64_t>(client.creationTime))
        return evidence;  // older than the client: not its output
    }
    evidence.output = platform.files.readFileWithin(client.outputPath, maxClientOutputSize);
    evidence.outputTooLarge = !evidence.output;
  } catch (const Failure&) {
    evidence.outputReadable = false;
  }
  return evidence;
}

DatabaseOutcome busyOutcome(const ClientProcess& running, bool overADay) {
  const std::string since = "previous backup still running since " + running.clientStart;
  if (overADay) return databaseNotComplete(since);
  return {SqlEnd::stillRunning, "SQL backup not started, " + since};
}

std::vector<std::string> messagesForLog(System& system, const std::vector<std::string>& messages,
                                        bool utf16, const std::string& password) {
  std::vector<std::string> lines;
  for (const std::string& message : messages)
    lines.push_back(maskedPassword(utf16 ? settingsFileText(system, message) : message, password));
  return lines;
}

}  // namespace vesk
