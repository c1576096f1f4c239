#include "actions/copy_listing.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

using Lines = std::vector<std::string>;

TEST(ForEachCopiedFile, NamesTheFilesBelowTheSourceOrReliesOnNothing) {
  const struct {
    const char* name;
    std::string listing;
    Lines named;  // nothing relied on when empty
    std::string source = "C:\\App";
  } cases[] = {
      {"nothing copied", "0 File(s) copied\r\n", {""}},
      {"full paths, another letter case",
       "C:\\App\\a.txt\r\nc:\\app\\SUB\\B.TXT\r\n2 File(s) copied\r\n",
       {"a.txt", "SUB\\B.TXT"}},
      {"paths as handed over, relative", "App\\a.txt\r\n1 File(s) copied\r\n", {"a.txt"}, "App"},
      {"a source beyond ASCII, written in another code page",
       "C:\\B\x81"
       "cher\\a.txt\r\n1 Datei(en) kopiert\r\n",
       {"a.txt"},
       "C:\\B\xfc"
       "cher"},
      {"LF line ends, a message of xcopy's own",
       "Reading source\na.txt\nC:\\App\\a.txt\n1 x\n",
       {"a.txt"}},
      {"last line cut off", "C:\\App\\a.txt\r\n1 File(s) copied", {}},
      {"cut off within a name", "C:\\App\\a.txt\r\nC:\\App\\su", {}},
      {"a count that is not of the lines", "C:\\App\\a.txt\r\n2 File(s) copied\r\n", {}},
      {"no count", "C:\\App\\a.txt\r\n", {}},
      {"empty", "", {}},
      {"a name beyond ASCII", "C:\\App\\R\x82sum\x82.txt\r\n1 File(s) copied\r\n", {}},
  };
  for (const auto& c : cases) {
    Lines named;
    const bool relied =
        forEachCopiedFile(c.listing, {c.source, "C:\\App"}, [&](std::string_view f) {
          named.emplace_back(f);
          return true;
        });
    EXPECT_EQ(!c.named.empty(), relied) << c.name;
    if (relied) {
      EXPECT_EQ(c.named == Lines{""} ? Lines{} : c.named, named) << c.name;
    }
  }
  EXPECT_FALSE(forEachCopiedFile("C:\\App\\a.txt\r\n1 x\r\n", {"C:\\App"},
                                 [](std::string_view) { return false; }));
}

TEST(XcopyCountIn, TheCountThatEndsTheListing) {
  const struct {
    const char* listing;
    std::optional<uint64_t> count;
  } cases[] = {
      {"C:\\App\\a.txt\r\n1 File(s) copied\r\n", 1},
      {"0 File(s) copied\r\n", 0},
      {"C:\\App\\a.txt\r\nC:\\App\\b.txt\r\n2 Datei(en) kopiert\r\n\r\n", 2},
      {"a.txt\n12 file(s) copied", 12},
      {"", std::nullopt},
      {"C:\\App\\a.txt\r\nC:\\App\\b.t", std::nullopt},           // cut off
      {"C:\\App\\a.txt\r\n2 notes (old).txt\r\n", std::nullopt},  // a file's own line
      {"99999999999999999999 File(s) copied\r\n", std::nullopt},  // beyond 64 bits
  };
  for (const auto& c : cases) EXPECT_EQ(c.count, xcopyCountIn(c.listing)) << c.listing;
}

}  // namespace
}  // namespace vesk
