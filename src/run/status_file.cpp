#include "run/status_file.h"

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>

#include "log/run_log.h"
#include "platform/text.h"
#include "run/report.h"
#include "run/status_reader.h"

namespace vesk {
namespace {

using Json = nlohmann::ordered_json;

const char* const stillRunning = "still running";

/// An ANSI text in UTF-8, which is all that JSON may hold.
std::string utf8(System& system, const std::string& ansi) {
  return utf8FromUtf16(system.utf16FromAnsi(ansi));
}

Json pathList(System& system, const PathList& paths, const std::string& source) {
  Json first = Json::array();
  for (const std::u16string& path : paths.first)
    first.push_back(utf8(system, pathText(system, path, source)));
  return {{"count", paths.count}, {"first", first}};
}

/// The paths not in the backup, with the reason the system gave for each named.
Json notInBackup(System& system, const BackupCounts& counts, const std::string& source) {
  Json list = pathList(system, counts.notInBackup, source);
  Json reasons = Json::array();
  for (size_t i = 0; i < counts.notInBackup.first.size(); ++i) {
    const FileCause cause =
        i < counts.notInBackupCauses.size() ? counts.notInBackupCauses[i] : FileCause::none;
    reasons.push_back(cause == FileCause::none ? Json() : Json(fileCauseText(cause)));
  }
  list["reasons"] = reasons;
  return list;
}

const char* toolName(CopyTool tool) {
  switch (tool) {
    case CopyTool::xcopy:
      return "xcopy";
    case CopyTool::shellCopy:
      return "shell copy";
    case CopyTool::none:
      break;
  }
  return "none";
}

Json folderCopy(System& system, const FolderRecord& folder) {
  const FolderCopyResult& copy = folder.copy;
  return {{"source", utf8(system, folder.source)},
          {"outcome", copy.complete ? "completed" : "not complete"},
          {"filesInBackup", copy.counts.files},
          {"foldersInBackup", copy.counts.folders},
          {"bytesInBackup", copy.counts.bytes},
          {"copyTool", toolName(copy.tool)},
          {"filesCopiedByTool", copy.toolCopied ? Json(*copy.toolCopied) : Json()},
          {"filesCopiedAgain", copy.counts.copiedAgain},
          {"notInBackup", notInBackup(system, copy.counts, folder.source)},
          {"warnings",
           {{"linkLoopsNotFollowed", pathList(system, copy.warnings.linkLoops, folder.source)},
            {"timesNotKept", pathList(system, copy.warnings.timesNotKept, folder.source)},
            {"tooLongForXcopy", pathList(system, copy.warnings.tooLongForXcopy, folder.source)},
            {"tooLongForShellCopy",
             pathList(system, copy.warnings.tooLongForShellCopy, folder.source)}}}};
}

Json texts(System& system, const std::vector<std::string>& lines) {
  Json array = Json::array();
  for (const std::string& line : lines) array.push_back(utf8(system, line));
  return array;
}

Json database(System& system, const RunRecord& record) {
  const DatabaseResult& result = record.database;
  std::string outcome = "not complete", reason;
  switch (record.databaseStage) {
    case DatabaseStage::notReached:
      return nullptr;
    case DatabaseStage::noDbProperties:
      outcome = "no db.properties";
      break;
    case DatabaseStage::started:
      if (record.report) reason = record.report->description;
      break;
    case DatabaseStage::ended: {
      const std::string notComplete = "SQL backup NOT complete, ";
      if (!result.providerSupported)
        outcome = "unsupported provider";
      else if (result.end == SqlEnd::complete)
        outcome = "confirmed";
      else if (result.end == SqlEnd::stillRunning)
        outcome = stillRunning;
      else if (startsWith(result.outcomeLine, notComplete))
        reason = result.outcomeLine.substr(notComplete.size());
      break;
    }
  }
  const ClientProcess& client = result.client;
  // A client left running by the run before is carried on as its status file named it.
  const bool started = !client.outputPath.empty();
  const bool known = started && client.processId != 0;
  auto textOrNull = [&](const std::string& text) {
    return text.empty() ? Json() : Json(utf8(system, text));
  };
  return {{"outcome", outcome},
          {"reason", utf8(system, reason)},
          {"messages", texts(system, result.messages)},
          {"client", textOrNull(client.program)},
          {"output", textOrNull(client.outputPath)},
          {"clientStart", textOrNull(client.clientStart)},
          {"clientProcessId", known ? Json(client.processId) : Json()},
          // In decimal text: more digits than some JSON readers keep exact.
          {"clientCreated", known ? Json(std::to_string(client.creationTime)) : Json()},
          // Set by the watch that settles a backup still running when the run ended.
          {"confirmedAt", nullptr},
          {"settledBy", nullptr}};
}

const char* previousOutcome(PreviousDatabase::Outcome outcome) {
  switch (outcome) {
    case PreviousDatabase::Outcome::confirmed:
      return "confirmed";
    case PreviousDatabase::Outcome::stillRunning:
      return stillRunning;
    case PreviousDatabase::Outcome::unknown:
      return "unknown";
    case PreviousDatabase::Outcome::notConfirmed:
      break;
  }
  return "not confirmed";
}

Json previousDatabase(System& system, const std::optional<PreviousDatabase>& previous) {
  if (!previous) return nullptr;
  return {
      {"outcome", previousOutcome(previous->outcome)},
      {"reason", utf8(system, previous->reason)},
      {"messages", texts(system, previous->messages)},
      {"output", previous->outputPath.empty() ? Json() : Json(utf8(system, previous->outputPath))},
      {"keptAs", previous->keptPath.empty() ? Json() : Json(utf8(system, previous->keptPath))}};
}

}  // namespace

std::string statusFileText(System& system, const RunRecord& record) {
  Json folders = Json::array();
  for (const FolderRecord& folder : record.folders) folders.push_back(folderCopy(system, folder));
  Json report;
  if (record.report)
    report = {{"number", record.report->number},
              {"step", record.report->step ? Json(*record.report->step) : Json()},
              {"description", utf8(system, record.report->description)}};

  auto textOrNull = [&](const std::string& text) {
    return text.empty() ? Json() : Json(utf8(system, text));
  };
  std::optional<std::string> lastSuccess = record.lastSuccessBefore;
  if (record.exitStatus == exitStatus::backedUp) lastSuccess = isoTimeText(record.end);
  const Json status = {{"schemaVersion", statusSchemaVersion},
                       {"program", "veskbackup"},
                       {"version", VESK_VERSION},
                       {"computer", textOrNull(system.computerName())},
                       {"account", textOrNull(system.accountName())},
                       {"start", isoTimeText(record.start)},
                       {"end", isoTimeText(record.end)},
                       {"durationSeconds", secondsBetween(record.start, record.end)},
                       {"exitStatus", record.exitStatus},
                       {"meaning", exitStatusMeaning(record.exitStatus)},
                       {"lastSuccess", lastSuccess ? Json(utf8(system, *lastSuccess)) : Json()},
                       {"log", utf8(system, record.logPath)},
                       {"destination", utf8(system, record.destination)},
                       {"folders", folders},
                       {"database", database(system, record)},
                       {"previousDatabase", previousDatabase(system, record.previousDatabase)},
                       {"report", report},
                       {"outcome", texts(system, record.outcomeLines)}};
  // Every text was made UTF-8 above; the handler only keeps a fault there from throwing.
  return status.dump(2, ' ', false, Json::error_handler_t::replace) + "\r\n";
}

int64_t secondsBetween(const ZonedTime& from, const ZonedTime& to) {
  auto utcSeconds = [](const ZonedTime& t) {
    using namespace std::chrono;
    const LocalTime& l = t.local;
    const sys_days day{year{l.year} / month{static_cast<unsigned>(l.month)} /
                       static_cast<unsigned>(l.day)};
    return day.time_since_epoch().count() * 86400LL + l.hour * 3600LL + l.minute * 60LL + l.second -
           t.utcOffsetMinutes * 60LL;
  };
  return std::max<int64_t>(0, utcSeconds(to) - utcSeconds(from));
}

std::optional<std::string> settledStatusText(System& system, const std::string& text,
                                             const std::string& runStart,
                                             const ClientProcess& client,
                                             const Settlement& settlement) {
  // Read within the bounds and by the schema first: the file lies where others may write.
  if (!readStatusText(system, text).status) return std::nullopt;
  Json status = Json::parse(text, nullptr, false);
  if (!status.is_object() || status.value("start", Json()) != runStart) return std::nullopt;
  Json& database = status["database"];
  if (!database.is_object() || database.value("outcome", Json()) != stillRunning ||
      database.value("clientProcessId", Json()) != client.processId ||
      database.value("clientCreated", Json()) != std::to_string(client.creationTime))
    return std::nullopt;

  database["outcome"] = settlement.confirmed ? "confirmed" : "not complete";
  database["reason"] = utf8(system, settlement.reason);
  database["messages"] = texts(system, settlement.messages);
  database["confirmedAt"] = isoTimeText(settlement.at);
  database["settledBy"] = "watch";
  status["exitStatus"] = settlement.exitStatus;
  status["meaning"] = exitStatusMeaning(settlement.exitStatus);
  // Settled to a success, the run is the last one that ended with 0.
  if (settlement.exitStatus == exitStatus::backedUp) status["lastSuccess"] = status["end"];
  Json lines = Json::array();
  for (const Json& line : status.value("outcome", Json::array())) {
    if (line.is_string() && startsWith(line.get<std::string>(), "SQL backup still running after"))
      for (const std::string& settled : settlement.lines) lines.push_back(utf8(system, settled));
    else
      lines.push_back(line);
  }
  status["outcome"] = lines;
  return status.dump(2, ' ', false, Json::error_handler_t::replace) + "\r\n";
}

}  // namespace vesk
