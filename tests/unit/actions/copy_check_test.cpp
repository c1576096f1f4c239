// The check of the backup against the walk of the source, its rules for times by the
// destination's file system, and the repair pass, each from inputs built directly.

#include "actions/copy_check.h"

#include <gtest/gtest.h>

#include <functional>

#include "actions/copy_repair.h"
#include "actions_test_support.h"
#include "fake_platform.h"

namespace vesk {
namespace {

using testing::sourceTime;
using Lines = std::vector<std::string>;

constexpr int64_t second = 10'000'000;
constexpr int64_t year1601 = 864'000'000'000;          // 1601-01-02
constexpr int64_t year1980 = 119'600'064'000'000'000;  // 1980-01-01

/// The marks of the files of tree at these paths (in the spelling of the walk).
TreeMarks marksOf(FakePlatform& platform, const SourceTree& tree, const Lines& paths) {
  TreeMarks marks;
  for (const TreeFolder& folder : tree.folders) {
    marks.emplace_back();
    for (const TreeEntry& item : folder.entries) {
      const std::string path =
          platform.system.ansiFromUtf16(joinLong(folder.relative, item.entry.name));
      marks.back().push_back(std::find(paths.begin(), paths.end(), path) != paths.end());
    }
  }
  return marks;
}

/// The differences named as in the run log: a folder's with "\", what cannot be repaired with
/// " (unknown)".
Lines named(FakePlatform& platform, const std::vector<Difference>& differences) {
  Lines found;
  for (const Difference& d : differences)
    found.push_back((d.relative.empty() ? "C:\\App" : platform.system.ansiFromUtf16(d.relative)) +
                    (d.isFolder ? "\\" : "") + (d.repairable ? "" : " (unknown)"));
  return found;
}

TEST(CompareWithBackup, DecidesFileByFileAndFolderByFolder) {
  const Lines none;
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> change;  // to the faithful copy, or to the source
    Lines differences;
    std::optional<Lines> written = Lines{};  // the files the tool wrote; nothing: any
    std::function<void(FakePlatform&)> afterWalk = [](FakePlatform&) {};
    std::string destination = "D:\\Backup";
    WalkLimits limits = {};
    bool lookedBefore = false;  // the backup looked at (lookAtBackup) between walk and afterWalk
  };
  const Case cases[] = {
      {"faithful copy", [](FakePlatform&) {}, {}},
      {"missing file",
       [](FakePlatform& p) { p.disk.remove("D:\\Backup\\ZAVO\\db.properties"); },
       {"ZAVO\\db.properties"}},
      {"smaller file",
       [](FakePlatform& p) { p.disk.addFile("D:\\Backup\\app.exe", "ex", sourceTime); },
       {"app.exe"}},
      {"same size, other bytes",
       [](FakePlatform& p) { p.disk.addFile("D:\\Backup\\app.exe", "EXE", sourceTime); },
       {}},
      {"missing empty folder",
       [](FakePlatform& p) { p.disk.remove("D:\\Backup\\empty"); },
       {"empty\\"}},
      {"folder where a file should be",
       [](FakePlatform& p) {
         p.disk.remove("D:\\Backup\\app.exe");
         p.disk.addFolder("D:\\Backup\\app.exe");
       },
       {"app.exe"}},
      {"file where a folder should be",
       [](FakePlatform& p) {
         p.disk.remove("D:\\Backup\\empty");
         p.disk.addFile("D:\\Backup\\empty", "", sourceTime);
       },
       {"empty\\"}},
      {"missing folder with its files",
       [](FakePlatform& p) {
         p.disk.remove("D:\\Backup\\ZAVO\\db.properties");
         p.disk.remove("D:\\Backup\\ZAVO");
       },
       {"ZAVO\\", "ZAVO\\db.properties"}},
      {"letter case beyond ASCII",
       [](FakePlatform& p) {
         p.disk.addFile("C:\\App\\\u00c4rger \u03a9.txt", "a", sourceTime);
         p.disk.addFile("D:\\Backup\\\u00e4rger \u03c9.txt", "a", sourceTime);
         p.disk.remove("D:\\Backup\\app.exe");
         p.disk.addFile("D:\\Backup\\APP.EXE", "exe", sourceTime);
       },
       {}},
      {"names that the code page shows alike",
       [](FakePlatform& p) {
         p.disk.addFile("C:\\App\\\u65e5\u672c.txt", "a", sourceTime);
         p.disk.addFile("C:\\App\\\u4e2d\u6587.txt", "b", sourceTime);
         p.disk.addFile("D:\\Backup\\\u65e5\u672c.txt", "a", sourceTime);
       },
       {"??.txt"}},
      // What the tool wrote is compared with the source as it is now: it copied that.
      {"a file rewritten after the walk and copied so",
       [](FakePlatform& p) {
         p.disk.addFile("D:\\Backup\\app.exe", "exe v2", sourceTime + second);
       },
       {},
       Lines{"app.exe"},
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\app.exe", "exe v2", sourceTime + second); }},
      {"the same, with the tool's report not relied on",
       [](FakePlatform& p) {
         p.disk.addFile("D:\\Backup\\app.exe", "exe v2", sourceTime + second);
       },
       {},
       std::nullopt,
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\app.exe", "exe v2", sourceTime + second); }},
      {"a file rewritten after the walk that the tool did not write",
       [](FakePlatform& p) {
         p.disk.addFile("D:\\Backup\\app.exe", "exe v2", sourceTime + second);
       },
       {"app.exe"}},
      {"a file written, its source rewritten again since",
       [](FakePlatform&) {},
       {"app.exe"},
       Lines{"app.exe"},
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\app.exe", "exe", sourceTime + second / 2); }},
      {"a file written, its source gone since",
       [](FakePlatform&) {},
       {},
       Lines{"app.exe"},
       [](FakePlatform& p) { p.disk.remove("C:\\App\\app.exe"); }},
      // A copy held while the tool ran is looked at again only where the tool's report says so.
      {"a copy held while the tool ran, cut off by no tool since",
       [](FakePlatform&) {},
       {},
       Lines{},
       [](FakePlatform& p) { p.disk.addFile("D:\\Backup\\app.exe", "e", sourceTime); },
       "D:\\Backup",
       {},
       true},
      {"a copy held while the tool ran, then written by it",
       [](FakePlatform&) {},
       {"app.exe"},
       Lines{"app.exe"},
       [](FakePlatform& p) { p.disk.addFile("D:\\Backup\\app.exe", "e", sourceTime); },
       "D:\\Backup",
       {},
       true},
      {"the backup missing altogether",
       [](FakePlatform& p) { p.disk.remove("D:\\Backup"); },
       {"C:\\App\\ (unknown)"}},
      {"a source folder that cannot be listed, counted once",
       [](FakePlatform& p) {
         p.trees.unlistable = {"C:\\App\\sub\\deep"};
         p.disk.addFile("C:\\App\\sub\\deep\\f.txt", "f", sourceTime);
       },
       {"sub\\", "sub\\deep\\ (unknown)"}},
      {"the backup inside the source, not part of it",
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\Backup\\Backup\\a.txt", "a", sourceTime); },
       {},
       Lines{},
       [](FakePlatform&) {},
       "c:\\app\\BACKUP"},
      {"a folder beyond the walk limits",
       [](FakePlatform& p) {
         p.disk.addFile("C:\\App\\d\\d\\d\\a.txt", "a", sourceTime);
         p.disk.addFile("D:\\Backup\\d\\d\\d\\a.txt", "a", sourceTime);
       },
       {"d\\d\\d\\ (unknown)"},
       Lines{},
       [](FakePlatform&) {},
       "D:\\Backup",
       {2, 1000}},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    for (const std::string& root : Lines{"C:\\App", c.destination}) {
      platform.disk.addFile(root + "\\app.exe", "exe", sourceTime);
      platform.disk.addFile(root + "\\ZAVO\\db.properties", "x", sourceTime);
      platform.disk.addFolder(root + "\\empty");
    }
    c.change(platform);
    const SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf("C:\\App"),
                                       platform.trees.longPathOf(c.destination), c.limits);
    const TreeMarks held = lookAtBackup(platform.trees, tree, TimeKeeping::exact);
    c.afterWalk(platform);
    CopyJudge judge(platform.trees, tree, TimeKeeping::exact);
    std::optional<TreeMarks> written;
    if (c.written) written = marksOf(platform, tree, *c.written);
    EXPECT_EQ(c.differences, named(platform, compareWithBackup(platform.trees, tree, judge, written,
                                                               c.lookedBefore ? &held : nullptr)))
        << c.name;
  }
}

TEST(CopyJudge, ContentsDecideWhereTheDestinationCannotKeepTheTime) {
  const struct {
    const char* name;
    std::string copy;  // the bytes of the copy, dated 1980 where the source is dated 1601
    bool held;
  } cases[] = {{"the same bytes", "bytes", true},
               {"other bytes", "BYTES", false},
               {"a copy that cannot be read", "", false}};
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.disk.fileSystems['E'] = "FAT32";
    platform.disk.addFile("C:\\App\\f.bin", "bytes", year1601);
    platform.disk.addFile("E:\\Backup\\f.bin", c.copy.empty() ? "bytes" : c.copy, year1980);
    if (c.copy.empty()) platform.disk.unreadable.insert("E:\\Backup\\f.bin");
    const SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf("C:\\App"),
                                       platform.trees.longPathOf("E:\\Backup"));
    CopyJudge judge(platform.trees, tree, timeKeepingOf(platform.trees.volumeOf(tree.destination)));
    EXPECT_EQ(c.held, compareWithBackup(platform.trees, tree, judge, std::nullopt).empty())
        << c.name;
    EXPECT_EQ(c.held ? std::vector<std::u16string>{u"f.bin"} : std::vector<std::u16string>{},
              judge.timeNotKept())
        << c.name;
  }
}

TEST(RepairBackup, CopiesAgainWhatDiffersAndNamesWhatIsLeft) {
  const struct {
    const char* name;
    std::vector<Difference> differences;
    std::function<void(FakePlatform&)> change;
    Lines copiedAgain, left;
    std::set<std::u16string> leave = {};
  } cases[] = {
      {"a missing file", {{u"a.txt"}}, [](FakePlatform&) {}, {"a.txt"}, {}},
      {"a missing folder and its file",
       {{u"sub", true}, {u"sub\\b.txt"}},
       [](FakePlatform&) {},
       {"sub\\b.txt"},
       {}},
      {"a folder whose content is unknown",
       {{u"sub", true, false}},
       [](FakePlatform&) {},
       {},
       {"sub"}},
      {"no room on the disk",
       {{u"a.txt"}},
       [](FakePlatform& p) { p.trees.copyFailsAfter["C:\\App\\a.txt"] = 0; },
       {},
       {"a.txt"}},
      {"a source file gone since", {{u"gone.txt"}}, [](FakePlatform&) {}, {}, {}},
      {"a file an earlier record placed",
       {{u"a.txt"}},
       [](FakePlatform&) {},
       {},
       {"a.txt"},
       {u"a.txt"}},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.disk.addFile("C:\\App\\a.txt", "a", sourceTime);
    platform.disk.addFile("C:\\App\\sub\\b.txt", "b", sourceTime);
    platform.disk.addFolder("D:\\Backup");
    c.change(platform);
    const SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf("C:\\App"),
                                       platform.trees.longPathOf("D:\\Backup"));
    CopyJudge judge(platform.trees, tree, TimeKeeping::exact);
    const Repair repair = repairBackup(platform.trees, tree, c.differences, judge, c.leave);
    auto text = [&](const PathList& list) {
      Lines lines;
      for (const std::u16string& path : list.first)
        lines.push_back(platform.system.ansiFromUtf16(path));
      return lines;
    };
    EXPECT_EQ(c.copiedAgain, text(repair.copiedAgain)) << c.name;
    EXPECT_EQ(c.left, text(repair.left)) << c.name;
    EXPECT_EQ(c.left.size(), repair.leftDifferences.size()) << c.name;
    for (const std::string& path : c.copiedAgain)
      EXPECT_EQ(platform.disk.fileContent("C:\\App\\" + path),
                platform.disk.fileContent("D:\\Backup\\" + path));
  }
}

}  // namespace
}  // namespace vesk
