// The plan of a copy, from trees built directly: which tool, and what no tool is handed and why.

#include "actions/copy_plan.h"

#include <gtest/gtest.h>

#include <functional>

#include "actions_test_support.h"
#include "fake_platform.h"

namespace vesk {
namespace {

using testing::treeOf;
using Lines = std::vector<std::string>;

/// The plan's notes as the run log writes them.
Lines notesOf(const CopyPlan& plan) {
  Lines lines;
  for (const PlanNote& note : plan.notes) {
    for (const std::u16string& path : note.paths.first)
      lines.push_back(note.prefix +
                      (path.empty() ? note.whole : std::string(path.begin(), path.end())));
    if (note.paths.count > note.paths.first.size())
      lines.push_back(note.prefix + std::to_string(note.paths.count - note.paths.first.size()) +
                      " more");
  }
  return lines;
}

TEST(PlanCopy, ChoosesTheToolAndNamesWhatNoToolIsHanded) {
  const std::string name245(245, 'n'), name250(250, 'n'), name243(243, 'f'), name242(242, 'f');
  std::vector<std::u16string> twelve;
  Lines tenAndACount;
  const std::string held = "copied for an earlier finalPath record, not replaced: ";
  for (char c = 'a'; c < 'm'; ++c) {
    twelve.push_back(std::u16string(1, c) + u".txt");
    if (c < 'k') tenAndACount.push_back(held + c + ".txt");
  }
  tenAndACount.push_back(held + "2 more");
  struct Case {
    const char* name;
    Lines paths;  // below the source; a folder's ends in "\"
    std::function<void(SourceTree&, CopyRequest&)> change;
    CopyTool tool;
    Lines notes;
    std::vector<std::u16string> held = {};
  };
  auto none = [](SourceTree&, CopyRequest&) {};
  auto shell = [](SourceTree&, CopyRequest& r) { r.mode = CopyMode::shellCopy; };
  const Case cases[] = {
      {"a tree that fits", {"a.txt", "sub\\b.txt"}, none, CopyTool::xcopy, {}},
      {"the shell copy asked for", {"a.txt"}, shell, CopyTool::shellCopy, {}},
      {"a network destination",
       {"a.txt"},
       [](SourceTree&, CopyRequest& r) { r.destination = "\\\\nas\\bk\\"; },
       CopyTool::shellCopy,
       {"xcopy cannot copy into a network folder: \\\\nas\\bk\\"}},
      {"no folder's name",
       {"a.txt"},
       [](SourceTree&, CopyRequest& r) { r.source = "C:\\App\"&x"; },
       CopyTool::none,
       {"not a folder name, not copied: C:\\App\"&x"}},
      {"link loops",
       {"a\\up\\", "a\\b\\up2\\"},
       [](SourceTree& t, CopyRequest&) {
         t.folders[1].entries[0].walk = FolderWalk::linkLoop;
         t.folders[3].entries[0].walk = FolderWalk::linkLoop;
       },
       CopyTool::none,
       {"link loop not followed: a\\up", "link loop not followed: a\\b\\up2"}},
      {"files an earlier record placed, the first ten named",
       {"a.txt"},
       none,
       CopyTool::none,
       tenAndACount,
       twelve},
      {"a destination only the long form names",
       {"a.txt"},
       [](SourceTree&, CopyRequest& r) { r.destination = "\\\\?\\D:\\Backup \\"; },
       CopyTool::none,
       {"no copy tool takes the destination: \\\\?\\D:\\Backup \\"}},
      // D:\Backup (9) is longer than C:\App (6): the destination's paths decide.
      {"a file too long for xcopy",
       {name245},
       none,
       CopyTool::shellCopy,
       {"too long for xcopy: " + name245}},
      {"a file too long for either tool",
       {name250},
       none,
       CopyTool::none,
       {"too long for xcopy: " + name250, "too long for the shell copy: " + name250}},
      {"a folder with its \\* that fits", {name242 + "\\"}, none, CopyTool::xcopy, {}},
      {"a folder with its \\* too long, nothing below it named",
       {name243 + "\\", name243 + "\\a.txt"},
       none,
       CopyTool::shellCopy,
       {"too long for xcopy: " + name243}},
      {"a folder beyond the walk limits",
       {"a\\"},
       [](SourceTree& t, CopyRequest&) { t.folders[0].entries[0].walk = FolderWalk::beyondLimits; },
       CopyTool::none,
       {"too long for xcopy: a", "too long for the shell copy: a"}},
      {"the source itself too long",
       {"a.txt"},
       [](SourceTree&, CopyRequest& r) { r.sourceLength = r.fullSourceLength = 300; },
       CopyTool::none,
       {"too long for xcopy: C:\\Full\\App", "too long for the shell copy: C:\\App"}},
      {"no long path for the source at all",
       {"a.txt"},
       [](SourceTree& t, CopyRequest&) { t.source.clear(); },
       CopyTool::none,
       {"too long to copy: C:\\App"}},
  };
  for (const Case& c : cases) {
    SourceTree tree = treeOf(c.paths);
    CopyRequest request{
        "C:\\App", "D:\\Backup\\", CopyMode::xcopy, "C:\\log", "C:\\Full\\App", 6, 6, 9};
    c.change(tree, request);
    const CopyPlan plan = planCopy(tree, request, c.held);
    EXPECT_EQ(c.tool, plan.tool) << c.name;
    EXPECT_EQ(c.notes, notesOf(plan)) << c.name;
    const bool givenNothing =
        !c.notes.empty() && c.notes.back().starts_with("too long for the shell");
    EXPECT_EQ(givenNothing, plan.toolsGivenNothing) << c.name;
    EXPECT_EQ(!tree.source.empty(), plan.comparable) << c.name;
    EXPECT_EQ(c.held.size(), plan.heldForEarlier.size()) << c.name;
  }
}

TEST(HeldByEarlierRecords, FilesOfAnEarlierRecordThatThisOneWouldReplace) {
  const struct {
    const char* name;
    std::vector<Lines> earlier;
    Lines tree;
    std::vector<std::u16string> held;
    int64_t earlierTime = 0;
  } cases[] = {
      {"none before", {}, {"a.txt"}, {}},
      {"another file", {{"a.txt", "x\\b.txt"}}, {"x\\b.txt", "c.txt"}, {u"x\\b.txt"}, 7},
      {"the same size and time", {{"a.txt"}}, {"a.txt"}, {}},
      {"another letter case", {{"A.TXT"}}, {"a.txt"}, {u"a.txt"}, 7},
      {"a folder over a file", {{"a"}}, {"a\\b.txt"}, {u"a"}},
      {"a file over a folder, which it cannot replace", {{"a\\b.txt"}}, {"a"}, {}},
      {"the second of two", {{"a.txt"}, {"b.txt"}}, {"a.txt", "b.txt"}, {u"b.txt"}, 7},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    std::vector<SourceTree> earlier;
    for (const Lines& paths : c.earlier) earlier.push_back(treeOf(paths));
    if (!earlier.empty())
      for (TreeFolder& folder : earlier.back().folders)
        for (TreeEntry& item : folder.entries) item.entry.lastWriteTime = c.earlierTime;
    EXPECT_EQ(c.held, heldByEarlierRecords(platform.trees, treeOf(c.tree), earlier)) << c.name;
  }
}

TEST(CanNameAFolder, RefusesWhatNoNameHolds) {
  const struct {
    std::string path;
    bool folder;
  } cases[] = {
      {"C:\\Apps\\Client", true},
      {"C:\\%OS%^&App", true},
      {"\\\\nas\\share\\App (x86); v1.2 + ~!@#$'`[]{}", true},
      {"\\\\?\\C:\\Apps", true},
      {"C:\\App\"&echo hacked>C:\\hacked.txt&rem \"", false},
      {"C:\\App*", false},
      {"C:\\Ap?", false},
      {"C:\\a<b", false},
      {"C:\\a>b", false},
      {"C:\\a|b", false},
      {"C:\\a\tb", false},
      {"\\\\?\\C:\\Ap?", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.folder, canNameAFolder(c.path)) << c.path;
}

}  // namespace
}  // namespace vesk
