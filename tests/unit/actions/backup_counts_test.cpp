#include "actions/backup_counts.h"

#include <gtest/gtest.h>

#include "actions_test_support.h"

namespace vesk {
namespace {

using testing::treeOf;

TEST(CountBackup, TheTreeLessWhatIsLeft) {
  const struct {
    const char* name;
    std::vector<Difference> left;
    std::string summary;
  } cases[] = {
      {"all held", {}, "backup holds 3 files in 2 folders, 3 bytes; copied again: 0"},
      {"a file and a folder left",
       {{u"a.txt"}, {u"sub\\deep", true}},
       "backup holds 2 files in 1 folders, 2 bytes; copied again: 0"},
      {"the source itself",
       {{u"", true, false}},
       "backup holds 0 files in 0 folders, 0 bytes; copied again: 0"},
  };
  SourceTree tree = treeOf({"a.txt", "sub\\b.txt", "sub\\deep\\", "up\\", "c.txt"});
  tree.folders[0].entries[2].walk = FolderWalk::linkLoop;  // never counted
  for (const auto& c : cases)
    EXPECT_EQ(c.summary, summaryLine(countBackup(tree, c.left))) << c.name;
  EXPECT_EQ(3u, filesOf(tree));
  EXPECT_EQ("backup holds 10000 files in 511 folders, 314572800 bytes; copied again: 7",
            summaryLine({10000, 511, 314572800, 7, {}}));
}

}  // namespace
}  // namespace vesk
