#include "actions/database_backup.h"

#include <algorithm>
#include <cctype>

#include "actions/command_runner.h"
#include "actions/paths.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace vesk {
namespace {

constexpr int32_t clientTimeoutSeconds = 5;
constexpr int minimumErrorLevel = 11;
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

/// text with every occurrence of password shown as the mask.
std::string masked(std::string text, const std::string& password) {
  if (password.empty()) return text;
  for (size_t at = 0; (at = text.find(password, at)) != std::string::npos;) {
    text.replace(at, password.size(), passwordMask);
    at += std::char_traits<char>::length(passwordMask);
  }
  return text;
}

struct StageEnd {
  SqlEnd end;
  std::string line;  // the status message that says so
};

StageEnd notComplete(const std::string& why) {
  return {SqlEnd::notComplete, "SQL backup NOT complete, " + why};
}

/// The message for an ended client, and whether the backup is confirmed.
/// oldOutputRemoved tells whether the output file of an earlier run was out of the way.
StageEnd outcomeOf(Files& files, const CommandOutcome& outcome, const std::string& outputPath,
                   bool oldOutputRemoved) {
  switch (outcome.end) {
    case CommandEnd::notStarted:
      return notComplete("client could not be started");
    case CommandEnd::stillRunning:
      return {SqlEnd::stillRunning, "SQL backup still running after " +
                                        std::to_string(clientTimeoutSeconds) + " seconds"};
    case CommandEnd::exited:
      break;
  }
  if (outcome.exitCode != 0)
    return notComplete("client exit code " + std::to_string(outcome.exitCode));
  // A file that the client could not replace (held open, read-only) is an earlier run's
  // output: it tells nothing about this run.
  if (!oldOutputRemoved)
    return notComplete("old client output could not be removed: " + outputPath);
  // Both clients end with 0 after a T-SQL error, and also when they could not write their
  // output (a full disk): the output file is the only place either shows. An earlier run's file
  // was removed before the client started, so a missing or empty one was not written now and
  // confirms nothing; one that cannot be read leaves the backup unconfirmed too, and the
  // administrator is sent to the same place to look.
  std::optional<std::string> output;
  try {
    if (files.fileExists(outputPath)) output = files.readFile(outputPath);
  } catch (const Failure&) {
    return notComplete("client reported an error, see " + outputPath);
  }
  if (!output || output->empty()) return notComplete("client output missing, see " + outputPath);
  if (clientOutputReportsError(*output))
    return notComplete("client reported an error, see " + outputPath);
  return {SqlEnd::complete, "SQL backup Complete"};
}

/// Drops the NULs that a client told to write Unicode puts after every character of its ASCII
/// text.
std::string withoutNuls(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

}  // namespace

std::string backupCommandLine(ClientForm form, const std::string& program, const DbSettings& db,
                              const std::string& destinationDir, const std::string& logPath,
                              bool maskPassword) {
  const bool msde = form == ClientForm::msde;
  std::string server = db.dbHost + "," + db.dbPort;
  std::string user = db.dbUser;
  if (maskPassword) {
    // The password can stand in other values too: a url of the form user:password@host puts
    // it into the -S value. Masked before quoting, it shows in none of its written forms.
    server = masked(server, db.dbPassword);
    user = masked(user, db.dbPassword);
  }
  // Appended piece by piece, in the order of the command line.
  std::string line = "\"";
  line += program;
  line += "\" -S ";
  line += quoteArgument(server);
  line += " -d VESK_ZAVO -U ";
  line += quoteArgument(user);
  line += " -P ";
  line += maskPassword ? std::string(passwordMask) : quoteArgument(db.dbPassword);
  line += " -Q \"";
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
  return maskPassword ? masked(line, db.dbPassword) : line;
}

bool clientOutputReportsError(const std::string& output) {
  const std::string text = withoutNuls(output);

  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    if (startsWith(std::string_view(text).substr(start), "Msg ")) {
      size_t level = text.find(", Level ", start);
      if (level != std::string::npos && level < end) {
        size_t at = level + 8;
        int severity = 0;
        size_t digits = 0;
        for (; at < end && std::isdigit(static_cast<unsigned char>(text[at])); ++at, ++digits)
          severity = std::min(severity * 10 + (text[at] - '0'), 1000);
        if (digits > 0 && at < end && text[at] == ',' && severity >= minimumErrorLevel) return true;
      }
    }
    start = end + 1;
  }
  return false;
}

bool clientOutputConfirmsBackup(const std::string& output) {
  const std::string text = withoutNuls(output);
  bool processed = false;
  for (size_t start = 0; start < text.size() && !processed;) {
    processed =
        startsWith(std::string_view(text).substr(start), "BACKUP DATABASE successfully processed");
    size_t end = text.find('\n', start);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return processed && !clientOutputReportsError(text);
}

std::string clientOutputPath(const std::string& logPath) { return logPath + "sql"; }

DatabaseResult runDatabaseBackup(const Platform& platform, RunLog& log, const DbSettings& db,
                                 const std::string& destinationDir, const std::string& logPath) {
  DatabaseResult result;
  auto ending = [&](const StageEnd& end) {
    log.reportStatus(end.line);
    result.end = end.end;
    result.outcomeLine = end.line;
    return result;
  };
  log.reportStatus(std::string("SQL start backup ") + serverVersionName(db.serverVersion));
  if (db.serverVersion == ServerVersion::none) {
    result.providerSupported = false;
    return failingIn(DatabasePhase::outcome,
                     [&] { return ending(notComplete("unsupported DB_PROVIDER")); });
  }

  const ClientForm form =
      db.serverVersion == ServerVersion::msde ? ClientForm::msde : ClientForm::sql2005;
  const std::optional<ClientProgram> program = failingIn(DatabasePhase::clientTools, [&] {
    std::optional<ClientProgram> found = findClientProgram(platform.registry, platform.files, form);
    if (found && !found->laterKey.empty())
      log.writeLog("client tools found under " + found->laterKey + ": " + found->path);
    return found;
  });
  // Nothing is started that the registry does not name as an existing program: a program at a
  // path made up without it could be anyone's.
  if (!program) {
    return failingIn(DatabasePhase::outcome, [&] {
      return ending(notComplete(std::string("no client tools found for ") +
                                serverVersionName(db.serverVersion)));
    });
  }

  const std::string outputPath = clientOutputPath(logPath);
  bool oldOutputRemoved = true;
  const CommandOutcome outcome = failingIn(DatabasePhase::client, [&] {
    // The password is never shown or logged; only the command that runs holds it.
    log.reportStatus(backupCommandLine(form, program->path, db, destinationDir, logPath, true));
    // The client's output confirms the backup, so the output of an earlier run goes first.
    try {
      platform.files.deleteFile(outputPath);
    } catch (const Failure&) {
      oldOutputRemoved = false;
    }
    result.program = program->path;
    result.outputPath = outputPath;
    result.clientStarted = platform.system.zonedTime();
    // Started by its path, so that no text of the command line can make the system start
    // another program (the part before a double quote inside SQLPath, say, a batch file
    // that a command interpreter would run).
    return runAndWait(
        platform.processes, platform.desktop,
        {.applicationName = program->path,
         .commandLine = backupCommandLine(form, program->path, db, destinationDir, logPath, false),
         .window = WindowMode::maximised},
        clientTimeoutSeconds);
  });

  return failingIn(DatabasePhase::outcome, [&] {
    return ending(outcomeOf(platform.files, outcome, outputPath, oldOutputRemoved));
  });
}

}  // namespace vesk
