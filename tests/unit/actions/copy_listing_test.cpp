#include "actions/copy_listing.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace vesk {
namespace {

using Lines = std::vector<std::string>;

TEST(MarkCopiedFiles, TakesTheFilesThatXcopysListingNamesOrNothingAtAll) {
  const struct {
    const char* name;
    std::string listing;
    Lines marked;  // nothing marked and false when empty
    std::string source = "C:\\App";
  } cases[] = {
      {"nothing copied", "0 File(s) copied\r\n", {""}},
      {"full paths, another letter case",
       "C:\\App\\a.txt\r\nc:\\app\\SUB\\B.TXT\r\n2 File(s) copied\r\n",
       {"a.txt", "sub\\b.txt"}},
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
      {"a file the walk did not see", "C:\\App\\new.txt\r\n1 File(s) copied\r\n", {}},
      {"a folder's name", "C:\\App\\sub\r\n1 File(s) copied\r\n", {}},
      {"a name beyond ASCII", "C:\\App\\R\x82sum\x82.txt\r\n1 File(s) copied\r\n", {}},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.addFile("C:\\App\\a.txt", "a");
    platform.addFile("C:\\App\\sub\\b.txt", "b");
    platform.addFile("C:\\App\\R\u00e9sum\u00e9.txt", "r");
    const SourceTree tree =
        walkSource(platform, platform.longPathOf("C:\\App"), platform.longPathOf("D:\\B"));
    EarlyListing early{{}, true};
    for (const TreeFolder& folder : tree.folders)
      early.folders.emplace_back(std::vector<EarlyLook>(folder.entries.size(), EarlyLook::held));

    const bool relied = markCopiedFiles(early, platform, tree, c.listing, {c.source, "C:\\App"});
    Lines marked;
    for (size_t index = 0; index < tree.folders.size(); ++index)
      for (size_t at = 0; at < tree.folders[index].entries.size(); ++at)
        if ((*early.folders[index])[at] == EarlyLook::written)
          marked.push_back(platform.ansiFromUtf16(
              joinLong(tree.folders[index].relative, tree.folders[index].entries[at].entry.name)));
    EXPECT_EQ(!c.marked.empty(), relied) << c.name;
    if (relied) {
      Lines expected = c.marked == Lines{""} ? Lines{} : c.marked;
      EXPECT_EQ(expected, marked) << c.name;
    }
  }
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
