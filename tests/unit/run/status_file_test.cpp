#include "run/status_file.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace vesk {
namespace {

TEST(StillRunningClient, ReadsTheClientOfABackupLeftRunningBack) {
  FakePlatform platform;
  RunRecord record;
  record.databaseStage = DatabaseStage::ended;
  record.database.end = SqlEnd::stillRunning;
  record.database.client = {"C:\\SQLTools\\Binn\\sqlcmd.exe",
                            "D:\\Protokolle\\M\xE4rz.txtsql",  // "März" in code page 1252
                            "2026-12-07T14:05:09+01:00", 4242, 134097312051234567u};
  const std::string written = statusFileText(platform, record);
  EXPECT_NE(std::string::npos, written.find("M\xC3\xA4rz.txtsql")) << "UTF-8 in the file";

  struct Read {
    std::string output;
    uint32_t processId = 0;
    uint64_t creationTime = 0;
  };
  const std::string head = R"({"database": {"outcome": "still running", "output": "L.txtsql")";
  const struct {
    std::string text;
    std::optional<Read> read;
  } cases[] = {
      {written, Read{record.database.client.outputPath, 4242, 134097312051234567u}},
      {written.substr(0, written.size() / 2), std::nullopt},  // half a file
      {"", std::nullopt},
      {"[]", std::nullopt},
      {R"({"database": null})", std::nullopt},
      {R"({"database": {"outcome": "confirmed", "output": "L.txtsql"}})", std::nullopt},
      {R"({"database": {"outcome": "still running"}})", std::nullopt},
      {R"({"database": {"outcome": "still running", "output": 7}})", std::nullopt},
      {head + "}}", Read{"L.txtsql"}},
      // An identity that is not whole counts as none: the client is taken as ended.
      {head + R"(, "clientProcessId": 8, "clientCreated": 5}})", Read{"L.txtsql"}},
      {head + R"(, "clientProcessId": -8, "clientCreated": "5"}})", Read{"L.txtsql"}},
      {head + R"(, "clientProcessId": 4294967296, "clientCreated": "5"}})", Read{"L.txtsql"}},
      {head + R"(, "clientProcessId": 8, "clientCreated": "99999999999999999999"}})",
       Read{"L.txtsql"}},
      {head + R"(, "clientProcessId": 8, "clientCreated": "5"}})", Read{"L.txtsql", 8, 5}},
  };
  for (const auto& c : cases) {
    const std::optional<ClientProcess> client = stillRunningClient(platform, c.text);
    ASSERT_EQ(c.read.has_value(), client.has_value()) << c.text;
    if (!client) continue;
    EXPECT_EQ(c.read->output, client->outputPath) << c.text;
    EXPECT_EQ(c.read->processId, client->processId) << c.text;
    EXPECT_EQ(c.read->creationTime, client->creationTime) << c.text;
  }
}

}  // namespace
}  // namespace vesk
