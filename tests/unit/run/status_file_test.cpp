#include "run/status_file.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "run/status_reader.h"

namespace vesk {
namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(std::string::npos, at) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(ReadStatusText, TakesBackWhatTheRunWroteAndNothingTheSchemaDoesNotAllow) {
  FakePlatform platform;
  RunRecord record;
  record.databaseStage = DatabaseStage::ended;
  record.database.end = SqlEnd::stillRunning;
  record.database.client = {"C:\\SQLTools\\Binn\\sqlcmd.exe",
                            "D:\\Protokolle\\M\xE4rz.txtsql",  // "März" in code page 1252
                            "2026-12-07T14:05:09+01:00", 4242, 134097312051234567u};
  record.lastSuccessBefore = "2026-12-05T02:00:09+01:00";
  record.exitStatus = 5;
  const std::string written = statusFileText(platform.system, record);
  EXPECT_NE(std::string::npos, written.find("M\xC3\xA4rz.txtsql")) << "UTF-8 in the file";

  struct Read {
    std::string output;
    uint32_t processId = 0;
    uint64_t creationTime = 0;
  };
  const std::string deep = std::string(20'000, '[') + std::string(20'000, ']');
  std::string manyValues = "[0";
  for (int i = 0; i < 100'000; ++i) manyValues += ",0";
  manyValues += "]";
  std::string utf16 = "\xFF\xFE";
  for (char c : written) utf16 += std::string{c, '\0'};
  const std::string identity = R"("clientProcessId": 4242,
    "clientCreated": "134097312051234567")";
  const struct {
    std::string text;
    std::optional<Read> read;
    std::string reason;
  } cases[] = {
      {written, Read{record.database.client.outputPath, 4242, 134097312051234567u}, ""},
      // An identity that is not whole counts as none: the client is taken as ended.
      {replaced(written, "134097312051234567", "99999999999999999999"),
       Read{record.database.client.outputPath}, ""},
      {replaced(written, identity, R"("clientProcessId": null, "clientCreated": null)"),
       Read{record.database.client.outputPath}, ""},
      {replaced(written, "\"still running\"", "\"confirmed\""), std::nullopt, ""},
      {written.substr(0, written.size() / 2), std::nullopt, "not valid JSON at byte "},
      {"", std::nullopt, "not valid JSON at byte 1"},
      {utf16, std::nullopt, "not valid JSON: UTF-16, not UTF-8"},
      {replaced(written, "M\xC3\xA4rz", "M\xE4rz"), std::nullopt, "not valid JSON at byte "},
      {replaced(written, "\"exitStatus\": 5,", "\"exitStatus\": 5, \"exitStatus\": 0,"),
       std::nullopt, "not valid JSON: key \"exitStatus\" twice"},
      {deep, std::nullopt, "nested deeper than 16 levels"},
      {manyValues, std::nullopt, "more than 100000 values"},
      {"[]", std::nullopt, "not a status file of this program"},
      {replaced(written, "\"veskbackup\"", "\"other\""), std::nullopt,
       "not a status file of this program"},
      {replaced(written, "\"schemaVersion\": 1,", ""), std::nullopt,
       "written by a release before schemaVersion 1"},
      {replaced(written, "\"schemaVersion\": 1", "\"schemaVersion\": 2"), std::nullopt,
       "schemaVersion: not 1"},
      {replaced(written, "\"still running\"", "\"Still Running\""), std::nullopt,
       "database.outcome: not a value of its list"},
      {replaced(written, "\"clientStart\": \"2026-12-07T14:05:09+01:00\"", "\"clientStart\": 7"),
       std::nullopt, "database.clientStart: a field of the wrong type"},
      {replaced(written, "\"clientProcessId\": 4242", "\"clientProcessId\": 4294967296"),
       std::nullopt, "database.clientProcessId: out of range"},
      {replaced(written, "\"report\": null", "\"report\": null, \"extra\": 1"), std::nullopt,
       "extra: not a field of the status file"},
      {replaced(written, "\"confirmedAt\": null,", ""), std::nullopt,
       "database.confirmedAt: missing"},
  };
  for (const auto& c : cases) {
    const StatusReading reading = readStatusText(platform.system, c.text);
    const std::string shown = c.text.substr(0, 60);
    EXPECT_EQ(0u, reading.reason.rfind(c.reason, 0)) << reading.reason << " for " << shown;
    if (!c.reason.empty()) {
      EXPECT_FALSE(reading.status) << shown;
      continue;
    }
    ASSERT_TRUE(reading.status) << reading.reason << " for " << shown;
    EXPECT_EQ(record.lastSuccessBefore, reading.status->lastSuccess);
    ASSERT_EQ(c.read.has_value(), reading.status->stillRunning.has_value()) << shown;
    if (!c.read) continue;
    const ClientProcess& client = *reading.status->stillRunning;
    EXPECT_EQ(c.read->output, client.outputPath) << shown;
    EXPECT_EQ(c.read->processId, client.processId) << shown;
    EXPECT_EQ(c.read->creationTime, client.creationTime) << shown;
  }
}

TEST(SecondsBetween, CountsAcrossDaysAndOffsetChanges) {
  const struct {
    ZonedTime from, to;
    int64_t seconds;
  } cases[] = {
      {{{2026, 12, 7, 23, 59, 50}, 60}, {{2026, 12, 8, 0, 0, 5}, 60}, 15},
      // Daylight saving time ended during the run: the clock went back an hour.
      {{{2026, 10, 25, 2, 59, 0}, 120}, {{2026, 10, 25, 2, 1, 0}, 60}, 120},
      {{{2026, 12, 31, 23, 0, 0}, 0}, {{2027, 1, 1, 1, 0, 0}, 0}, 7200},
      {{{2026, 12, 7, 2, 0, 0}, 0}, {{2026, 12, 7, 1, 0, 0}, 0}, 0},  // a clock set back
  };
  for (const auto& c : cases) EXPECT_EQ(c.seconds, secondsBetween(c.from, c.to)) << c.seconds;
}

}  // namespace
}  // namespace vesk
