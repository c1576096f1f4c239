#pragma once

// The database backup's parts: the client's command line and environment, running the client,
// and what its end means. The run calls them one by one (src/run/database_stage.h).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "actions/client_output.h"
#include "actions/client_tools.h"
#include "actions/command_runner.h"
#include "config/db_properties.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// How the database backup ended, for the exit status.
enum class SqlEnd { complete, stillRunning, notComplete };

/// How the database backup ended and the line that says so, with the client's error messages
/// that back it (password masked, in the ANSI code page).
struct DatabaseOutcome {
  SqlEnd end = SqlEnd::notComplete;
  std::string line;
  std::vector<std::string> messages = {};
};

/// A client as the run started it, or as the status file of an earlier run names it.
struct ClientProcess {
  std::string program;      // the client that was started; empty when none was
  std::string outputPath;   // where it writes its output
  std::string clientStart;  // when it was started, as isoTimeText gives it
  uint32_t processId = 0;   // with creationTime, the process's identity; 0 when not known
  uint64_t creationTime = 0;
};

/// What the database backup did, for the run's record.
struct DatabaseResult {
  SqlEnd end = SqlEnd::notComplete;
  bool providerSupported = true;
  std::string outcomeLine;  // the last status message of the stage
  std::vector<std::string> messages;
  ClientProcess client;
  /// The client was started by this run (not one an earlier run left running).
  bool startedHere = false;
};

/// The client's run: how it ended within the wait, and whether an earlier run's output was out
/// of the way before it started.
struct ClientRun {
  ClientProcess process;
  CommandOutcome command;
  bool oldOutputRemoved = true;
};

/// The file the client writes its output to: the run log's path followed by "sql".
std::string clientOutputPath(const std::string& logPath);

/// The command line that has the client program back up the database into destinationDir
/// (which ends in one backslash), with -b (exit status 1 after an error of severity 11 or more)
/// and without the password, which the client reads from clientEnvironment; osql's line ends in
/// "-P" without a value, which has it read the variable. The values of -S and -U are quoted
/// when they hold a blank, a tab or a double quote.
std::string backupCommandLine(ClientForm form, const std::string& program, const DbSettings& db,
                              const std::string& destinationDir, const std::string& logPath);

/// The variables that hand the client the password (and sqlcmd the user as well), for the
/// client's environment alone.
std::vector<std::pair<std::string, std::string>> clientEnvironment(ClientForm form,
                                                                   const DbSettings& db);

/// text with every occurrence of the password, as written and as it stands inside a quoted
/// argument, shown as "********": for every line the run shows or logs.
std::string maskedPassword(const std::string& text, const std::string& password);

/// Reports the command line (as it runs: the password is in no argument; a value that holds the
/// password is masked all the same), removes the output of an earlier run, starts the client
/// with the password in its environment and the NUL device as its input, and waits for it up to
/// 5 seconds.
ClientRun runClient(const Platform& platform, RunLog& log, ClientForm form,
                    const std::string& program, const DbSettings& db,
                    const std::string& destinationDir, const std::string& logPath);

/// What the client's output file holds as evidence: its content when it was written after the
/// client started (the creation time, where known, against the file's last write), nothing when
/// it is missing or older; unreadable when it is there but cannot be read. The exit code is the
/// caller's to add.
ClientEvidence outputEvidence(const Platform& platform, const ClientProcess& client);

/// What the client's end means, by the one rule (judgeClient): "SQL backup Complete", "SQL
/// backup still running after 5 seconds", or "SQL backup NOT complete, " and why, with the
/// output's error messages.
DatabaseOutcome outcomeOf(const Platform& platform, const ClientRun& run,
                          const std::string& password);

/// "SQL backup NOT complete, " and why.
DatabaseOutcome databaseNotComplete(const std::string& why, std::vector<std::string> messages = {});

/// The outcome of a run that finds the client an earlier run started still running: no second
/// client; "still running" until that one has run for a day, then NOT complete.
DatabaseOutcome busyOutcome(const ClientProcess& running, bool overADay);

/// The client's error messages as the log takes them: in the ANSI code page, password masked.
std::vector<std::string> messagesForLog(System& system, const std::vector<std::string>& messages,
                                        bool utf16, const std::string& password);

}  // namespace vesk
