#include "actions/source_tree.h"

#include <gtest/gtest.h>

#include <functional>

#include "fake_platform.h"

namespace vesk {
namespace {

using Lines = std::vector<std::string>;

/// The walk's entries in its order: a folder's with "\", and how the walk treated it.
Lines entriesOf(FakePlatform& platform, const SourceTree& tree) {
  Lines lines;
  for (const TreeFolder& folder : tree.folders) {
    if (!folder.listed)
      lines.push_back(platform.system.ansiFromUtf16(folder.relative) + " (not listed)");
    for (const TreeEntry& item : folder.entries) {
      std::string line = platform.system.ansiFromUtf16(joinLong(folder.relative, item.entry.name));
      if (item.entry.isFolder) line += "\\";
      const char* walk[] = {"", " (own backup)", " (beyond limits)", " (link loop)"};
      lines.push_back(line + walk[static_cast<int>(item.walk)]);
    }
  }
  return lines;
}

TEST(WalkSource, ListsEachFolderOnceAndFollowsNoLoop) {
  const struct {
    const char* name;
    std::function<void(FakePlatform&)> change;
    Lines entries;
    WalkLimits limits = {};
    std::string destination = "D:\\Backup";
  } cases[] = {
      {"every folder after its parent",
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\b\\c.txt", ""); },
       {"b\\", "a.txt", "b\\c.txt"}},
      {"the backup inside the source, not walked",
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\bk\\x.txt", ""); },
       {"bk\\ (own backup)", "a.txt"},
       {},
       "c:\\app\\BK"},
      {"a link onto the source, and one sideways",
       [](FakePlatform& p) {
         p.disk.addFile("C:\\App\\b\\c.txt", "");
         p.disk.addLink("C:\\App\\b\\up", "C:\\App");
         p.disk.addLink("C:\\App\\side", "C:\\App\\b");
       },
       {"b\\", "side\\", "a.txt", "b\\up\\ (link loop)", "b\\c.txt", "side\\up\\ (link loop)",
        "side\\c.txt"}},
      {"deeper than the limit",
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\b\\c\\d.txt", ""); },
       {"b\\", "a.txt", "b\\c\\ (beyond limits)"},
       {1, 10}},
      {"more folders than the limit",
       [](FakePlatform& p) { p.disk.addFile("C:\\App\\b\\c\\d.txt", ""); },
       {"b\\", "a.txt", "b\\c\\ (beyond limits)"},
       {10, 2}},
      {"a folder that cannot be listed",
       [](FakePlatform& p) {
         p.disk.addFile("C:\\App\\b\\c.txt", "");
         p.trees.unlistable = {"C:\\App\\b"};
       },
       {"b\\", "a.txt", "b (not listed)"}},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.disk.addFile("C:\\App\\a.txt", "");
    c.change(platform);
    const SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf("C:\\App"),
                                       platform.trees.longPathOf(c.destination), c.limits);
    EXPECT_EQ(c.entries, entriesOf(platform, tree)) << c.name;
  }
}

TEST(WalkSource, IdentifiesTheSourceTheLinksAndTheFoldersOfTheNamesAskedFor) {
  FakePlatform platform;
  platform.disk.drives.insert('E');
  platform.disk.addFile("C:\\App\\Backup\\a.txt", "");
  platform.disk.addFile("C:\\App\\other\\b.txt", "");
  platform.disk.addLink("C:\\App\\link", "E:\\");
  const std::vector<std::u16string> names{u"BACKUP"};
  const SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf("C:\\App"),
                                     platform.trees.longPathOf("D:\\Backup"), {}, &names);
  std::set<FolderIdentity> expected;
  for (const char* folder : {"C:\\App", "C:\\App\\Backup", "E:\\"})
    expected.insert(*platform.trees.folderIdentity(platform.trees.longPathOf(folder)));
  EXPECT_EQ(expected, tree.identities);
  const std::vector<std::u16string> everyFolder;
  EXPECT_EQ(4u, walkSource(platform.trees, platform.trees.longPathOf("C:\\App"),
                           platform.trees.longPathOf("D:\\Backup"), {}, &everyFolder)
                    .identities.size());
}

}  // namespace
}  // namespace vesk
