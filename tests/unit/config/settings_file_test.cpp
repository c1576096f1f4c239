#include "config/settings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/failure.h"

namespace vesk {
namespace {

/// Every record of content, empty ones included, as the record loop reads them.
std::vector<std::string> allRecords(const std::string& content) {
  SettingsFile file(content);
  std::vector<std::string> records;
  while (!file.atEnd()) {
    records.push_back(file.readRecord());
    if (records.size() > content.size() + 1) {
      ADD_FAILURE() << "the reader does not advance";
      break;
    }
  }
  return records;
}

using Records = std::vector<std::string>;

TEST(ReadSettingsRecord, FieldRules) {
  const struct {
    const char* name;
    std::string content;
    Records expected;
  } cases[] = {
      {"CR LF", "finalPath=D:/apps/client/\r\n", {"finalPath=D:/apps/client/"}},
      {"no line end at the end", "a=1\r\nfinalPath=D:/x/", {"a=1", "finalPath=D:/x/"}},
      {"lone CR", "a\rb\r", {"a", "b"}},
      {"lone LF", "a\nb\n", {"a", "b"}},
      {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
      {"blank lines", "\r\n\r\na\r\n\r\n", {"", "", "a", ""}},
      {"blank line holding blanks", "a\r\n   \r\nb", {"a", "", "b"}},
      {"blanks and tabs before a field", "  \tfinalPath=D:/x/\r\n", {"finalPath=D:/x/"}},
      {"trailing blanks dropped", "finalPath=D:/x/ \t \r\n", {"finalPath=D:/x/"}},
      {"blanks inside kept", "key = a b\r\n", {"key = a b"}},
      {"trailing comma", "a=1,\r\nb=2,", {"a=1", "", "b=2"}},
      {"comma after comma", "a,,b", {"a", "", "b"}},
      {"comma splits", "finalPath=D:/apps,old/\r\n", {"finalPath=D:/apps", "old/"}},
      {"quoted comma", "\"finalPath=D:/apps,old/\"\r\n", {"finalPath=D:/apps,old/"}},
      {"quoted line end", "\"a\r\nb\",c", {"a\r\nb", "c"}},
      {"quoted blanks kept", "  \" a \"  ,b", {" a ", "b"}},
      {"empty quoted field", "\"\",x", {"", "x"}},
      {"text after closing quote", "\"D:/a,b\"/c/ \r\nx", {"D:/a,b/c/", "x"}},
      {"quote inside unquoted field", "a=b\"c\"d,e", {"a=b\"c\"d", "e"}},
      {"unclosed quote runs to the end", "\"a,b\r\nc", {"a,b\r\nc"}},
      {"only blanks before the end", "a\r\n  \t ", {"a"}},
      {"only blanks", "   ", {}},
      {"empty file", "", {}},
      {"hash and numbers are text", "#x=1\r\n0042", {"#x=1", "0042"}},
      {"NUL is a character", std::string("a\0b", 3), {std::string("a\0b", 3)}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, allRecords(c.content)) << c.name;
}

TEST(ReadSettingsRecord, EveryShortInputEnds) {
  // Every text of up to five characters from the characters that steer the reader: the loop
  // ends, and no record is longer than what it was read from.
  const std::string alphabet = "a, \t\"\r\n";
  std::vector<std::string> inputs{""};
  for (size_t begin = 0, length = 0; length < 5; ++length) {
    size_t end = inputs.size();
    for (size_t i = begin; i < end; ++i)
      for (char c : alphabet) inputs.push_back(inputs[i] + c);
    begin = end;
  }
  for (const auto& input : inputs) {
    size_t total = 0;
    for (const auto& record : allRecords(input)) total += record.size();
    EXPECT_LE(total, input.size()) << input;
  }
}

TEST(ReadSettingsRecord, ReadAtEndGivesEmptyRecord) {
  SettingsFile file("a");
  EXPECT_EQ("a", file.readRecord());
  EXPECT_TRUE(file.atEnd());
  EXPECT_EQ("", file.readRecord());
}

TEST(SettingsFileText, ReadsEachFormInTheAnsiCodePage) {
  using namespace std::string_literals;
  const struct {
    const char* name;
    std::string bytes;
    std::string expected;  // Windows-1252, the fake's code page
  } cases[] = {
      {"UTF-8 mark",
       "\xEF\xBB\xBF"
       "finalPath=C:/B\xC3\xBC"
       "cher/\r\n",
       "finalPath=C:/B\xFC"
       "cher/\r\n"},
      {"UTF-8 mark, ASCII only",
       "\xEF\xBB\xBF"
       "DB_PROVIDER=SQLOLEDB",
       "DB_PROVIDER=SQLOLEDB"},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", ""},
      {"UTF-8 mark, invalid byte",
       "\xEF\xBB\xBF"
       "a\xFC"
       "b",
       "a?b"},
      {"UTF-16 LE",
       "\xFF\xFE"
       "a\0=\0\xFC\0\xAC\x20\r\0\n\0"s,
       "a=\xFC\x80\r\n"},
      {"UTF-16 BE",
       "\xFE\xFF"
       "\0a\0=\0\xFC\x20\xAC"s,
       "a=\xFC\x80"},
      {"UTF-16 odd last byte",
       "\xFF\xFE"
       "a\0b"s,
       "a"},
      {"UTF-16 beyond the code page",
       "\xFF\xFE"
       "\x3D\xD8\x00\xDE\xA9\x03"s,
       "??"},
      {"no mark, valid UTF-8",
       "finalPath=C:/B\xC3\xBC"
       "cher/",
       "finalPath=C:/B\xFC"
       "cher/"},
      {"no mark, 3 and 4 bytes", "\xE2\x82\xAC \xF0\x9F\x98\x80", "\x80 ?"},
      {"no mark, ASCII", "finalPath=C:/App/\r\n", "finalPath=C:/App/\r\n"},
      {"no mark, ANSI",
       "finalPath=C:/B\xFC"
       "cher/",
       "finalPath=C:/B\xFC"
       "cher/"},
      {"no mark, UTF-8 and a stray byte", "\xC3\xBC\xFC", "\xC3\xBC\xFC"},
      {"no mark, overlong form", "\xC0\xAF", "\xC0\xAF"},
      {"no mark, surrogate", "\xED\xA0\x80", "\xED\xA0\x80"},
      {"no mark, beyond U+10FFFF", "\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},
      {"no mark, cut short", "ab\xC3", "ab\xC3"},
      {"empty", "", ""},
  };
  FakePlatform platform;
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, settingsFileText(platform.system, c.bytes)) << c.name;
}

TEST(SplitSettingsRecord, CutsAtEveryEquals) {
  const struct {
    const char* record;
    Records expected;
  } cases[] = {
      {"finalPath=D:/apps/client/", {"finalPath", "D:/apps/client/"}},
      {"finalPath=D:/apps=old/", {"finalPath", "D:/apps", "old/"}},
      {"finalPath=", {"finalPath", ""}},
      {"finalPath", {"finalPath"}},
      {"", {""}},
      {"==", {"", "", ""}},
      {"finalPath = x", {"finalPath ", " x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, splitSettingsRecord(c.record)) << c.record;
}

TEST(ValuePiece, MissingValueIsSubscriptOutOfRange) {
  EXPECT_EQ("D:/apps", valuePiece(splitSettingsRecord("finalPath=D:/apps=old/")));
  try {
    valuePiece(splitSettingsRecord("finalPath"));
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(Fault::subscriptOutOfRange, f.fault);
  }
}

}  // namespace
}  // namespace vesk
