#include "run/status_file.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace vesk {
namespace {

TEST(StillRunningOutput, ReadsTheOutputOfABackupLeftRunningBack) {
  FakePlatform platform;
  RunRecord record;
  record.databaseStage = DatabaseStage::ended;
  record.database.end = SqlEnd::stillRunning;
  record.database.program = "C:\\SQLTools\\Binn\\sqlcmd.exe";
  record.database.outputPath = "D:\\Protokolle\\M\xE4rz.txtsql";  // "März" in code page 1252
  const std::string written = statusFileText(platform, record);
  EXPECT_NE(std::string::npos, written.find("M\xC3\xA4rz.txtsql")) << "UTF-8 in the file";

  const struct {
    std::string text;
    std::optional<std::string> output;
  } cases[] = {
      {written, record.database.outputPath},
      {written.substr(0, written.size() / 2), std::nullopt},  // half a file
      {"", std::nullopt},
      {"[]", std::nullopt},
      {R"({"database": null})", std::nullopt},
      {R"({"database": {"outcome": "confirmed", "output": "L.txtsql"}})", std::nullopt},
      {R"({"database": {"outcome": "still running"}})", std::nullopt},
      {R"({"database": {"outcome": "still running", "output": 7}})", std::nullopt},
      {R"({"database": {"outcome": "still running", "output": "L.txtsql"}})", "L.txtsql"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.output, stillRunningOutput(platform, c.text)) << c.text;
}

}  // namespace
}  // namespace vesk
