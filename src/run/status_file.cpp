#include "run/status_file.h"

#include <nlohmann/json.hpp>

#include "config/settings_file.h"
#include "log/run_log.h"
#include "platform/text.h"
#include "run/report.h"

namespace vesk {
namespace {

using Json = nlohmann::ordered_json;

const char* const stillRunning = "still running";

/// An ANSI text in UTF-8, which is all that JSON may hold; a lone surrogate becomes U+FFFD.
std::string utf8(System& system, const std::string& ansi) {
  const std::u16string wide = system.utf16FromAnsi(ansi);
  std::string text;
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (c >> 18));
      text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

Json pathList(System& system, const PathList& paths) {
  Json first = Json::array();
  for (const std::string& path : paths.first) first.push_back(utf8(system, path));
  return {{"count", paths.count}, {"first", first}};
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
          {"notInBackup", pathList(system, copy.counts.notInBackup)}};
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
  const bool started = !result.program.empty();
  return {{"outcome", outcome},
          {"reason", utf8(system, reason)},
          {"client", started ? Json(utf8(system, result.program)) : Json()},
          {"output", started ? Json(utf8(system, result.outputPath)) : Json()},
          {"clientStart", started ? Json(isoTimeText(result.clientStarted)) : Json()}};
}

}  // namespace

std::string statusFileText(System& system, const RunRecord& record) {
  Json folders = Json::array();
  for (const FolderRecord& folder : record.folders) folders.push_back(folderCopy(system, folder));
  Json previous;
  if (record.previousDatabase)
    previous = {{"outcome", record.previousDatabase->confirmed ? "confirmed" : "not confirmed"},
                {"output", utf8(system, record.previousDatabase->outputPath)}};
  Json report;
  if (record.report)
    report = {{"number", record.report->number},
              {"step", record.report->step ? Json(*record.report->step) : Json()},
              {"description", utf8(system, record.report->description)}};
  Json lines = Json::array();
  for (const std::string& line : record.outcomeLines) lines.push_back(utf8(system, line));

  const Json status = {{"program", "veskbackup"},
                       {"version", VESK_VERSION},
                       {"start", isoTimeText(record.start)},
                       {"end", isoTimeText(record.end)},
                       {"exitStatus", record.exitStatus},
                       {"meaning", exitStatusMeaning(record.exitStatus)},
                       {"log", utf8(system, record.logPath)},
                       {"destination", utf8(system, record.destination)},
                       {"folders", folders},
                       {"database", database(system, record)},
                       {"previousDatabase", previous},
                       {"report", report},
                       {"outcome", lines}};
  // Every text was made UTF-8 above; the handler only keeps a fault there from throwing.
  return status.dump(2, ' ', false, Json::error_handler_t::replace) + "\r\n";
}

std::optional<std::string> stillRunningOutput(System& system, const std::string& text) {
  const Json status = Json::parse(text, nullptr, false);
  if (!status.is_object()) return std::nullopt;
  const auto database = status.find("database");
  if (database == status.end() || !database->is_object()) return std::nullopt;
  const auto outcome = database->find("outcome");
  const auto output = database->find("output");
  if (outcome == database->end() || *outcome != stillRunning || output == database->end() ||
      !output->is_string())
    return std::nullopt;
  // Back to the ANSI code page, as settings files in UTF-8 are read.
  return settingsFileText(system, output->get<std::string>());
}

}  // namespace vesk
