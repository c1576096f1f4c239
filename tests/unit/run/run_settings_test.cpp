#include "run/run_settings.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(ArgumentTextOf, DropsTheProgramNameAndTheBlanksAfterIt) {
  const struct {
    const char* commandLine;
    const char* expected;
  } cases[] = {
      {"veskbackup.exe", ""},
      {"veskbackup.exe \"D:\\Backup\"", "\"D:\\Backup\""},
      {"\"C:\\Program Files\\vesk\\veskbackup.exe\"  \t \"D:\\B\" \"x\"", "\"D:\\B\" \"x\""},
      {"\"C:\\p q\\veskbackup.exe\"\"D:\\B\"", "\"D:\\B\""},
      {"C:\\veskbackup.exe\tD:\\Backup ", "D:\\Backup "},
      {"\"unterminated", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, argumentTextOf(c.commandLine)) << "command line: " << c.commandLine;
}

TEST(SplitArgumentText, CutsAtEveryDoubleQuote) {
  EXPECT_TRUE(splitArgumentText("").empty());
  EXPECT_EQ((std::vector<std::string>{"D:\\Backup"}), splitArgumentText("D:\\Backup"));
  EXPECT_EQ((std::vector<std::string>{"", "D:\\Backup", ""}), splitArgumentText("\"D:\\Backup\""));
  EXPECT_EQ((std::vector<std::string>{"", "a", " ", "", ""}), splitArgumentText("\"a\" \"\""));
}

TEST(ReadRunSettings, FillsTheSettingsFromCountingPiecesInOrder) {
  const std::string defaultLog = "C:\\Tools\\veskbackuplog.txt07";
  const struct {
    const char* argumentText;
    bool accepted;
    const char* destination;
    const char* logPath;
    const char* notify;
    const char* copyMode;
  } cases[] = {
      {"", false, "", "", "N", "Y"},
      {"D:\\Backup", false, "", "", "N", "Y"},
      {"\"D:\\Backup", false, "", "", "N", "Y"},
      {"\"D:\\Backup\"", true, "D:\\Backup", "", "N", "Y"},
      {"\"D:\\Backup\" \"default\" \"Y\" \"N\"", true, "D:\\Backup", "", "Y", "N"},
      {"\"D:\\Backup\" \"DEFAULT\"", true, "D:\\Backup", "", "N", "Y"},
      {"\"D:\\Backup\" \"\" \"Y\"", true, "D:\\Backup", "Y", "N", "Y"},
      {"D:\\Backup \"C:\\Logs\\run.txt\"", true, "D:\\Backup ", "C:\\Logs\\run.txt", "N", "Y"},
      {"\"D:\\Backup\" \" default\"", true, "D:\\Backup", " default", "N", "Y"},
      {"\"a\" \"b\" \"c\" \"d\" \"e\" \"f\"", true, "a", "b", "c", "d"},
      {"\"a\" \"\t\" \"n\"", true, "a", "\t", "n", "Y"},
      {"\"\" \"  \"", true, "", "", "N", "Y"},
  };
  for (const auto& c : cases) {
    std::optional<RunSettings> read = readRunSettings(c.argumentText, "");
    bool accepted = read.has_value();
    RunSettings settings = read.value_or(RunSettings{});
    EXPECT_EQ(c.accepted, accepted) << c.argumentText;
    EXPECT_EQ(c.destination, settings.destinationDir) << c.argumentText;
    EXPECT_EQ(c.logPath, settings.logPath) << c.argumentText;
    EXPECT_EQ(c.notify, settings.notifyFlag) << c.argumentText;
    EXPECT_EQ(c.copyMode, settings.copyMode) << c.argumentText;
    EXPECT_EQ(c.copyMode == std::string("N"), settings.copyWith == CopyMode::shellCopy);
  }
}

}  // namespace
}  // namespace vesk
