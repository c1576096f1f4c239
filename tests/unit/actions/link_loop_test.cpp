// Links in the source that point up the tree: the walk does not follow them, and neither copy
// tool, which would, is given such a tree.

#include <gtest/gtest.h>

#include "actions/folder_copy.h"
#include "actions_test_support.h"
#include "fake_platform.h"
#include "run/run_settings.h"

namespace vesk {
namespace {

using testing::logTexts;
using testing::testLogPath;
using Lines = std::vector<std::string>;

TEST(CopyFolder, LinksOntoFoldersAboveAreNotFollowedAndTheRepairPassCopiesTheRest) {
  const struct {
    const char* name;
    std::map<std::string, std::string> links;  // link -> the folder it points to
    Lines loops;
  } cases[] = {
      {"one link up", {{"C:\\App\\a\\up", "C:\\App"}}, {"a\\up"}},
      {"two links up",
       {{"C:\\App\\a\\up", "C:\\App"}, {"C:\\App\\a\\b\\up2", "C:\\App\\a"}},
       {"a\\up", "a\\b\\up2"}},
      {"a link sideways, no loop", {{"C:\\App\\a\\side", "C:\\App\\c"}}, {}},
  };
  for (const char* mode : {"Y", "N"}) {
    for (const auto& c : cases) {
      FakePlatform platform;
      RunLog log{platform, platform, platform};
      log.open(testLogPath);
      platform.addFile("C:\\App\\top.txt", "t", 7);
      platform.addFile("C:\\App\\a\\b\\deep.txt", "d", 7);
      platform.addFile("C:\\App\\c\\side.txt", "s", 7);
      platform.addFolder("D:\\Backup");
      for (const auto& [link, target] : c.links) {
        platform.folders.insert(link);
        platform.aliases[link] = target;
      }
      platform.onShellCopy = [&] { platform.copyTree("C:\\App", "D:\\Backup"); };
      platform.processScripts = {{.onStart = [&] { platform.copyTree("C:\\App", "D:\\Backup"); }}};
      const std::string name = std::string(c.name) + ", mode " + mode;
      const CopyMode copyWith =
          readRunSettings("\"D:\\B\" \"default\" \"N\" \"" + std::string(mode) + "\"", "")
              ->copyWith;

      for (int run = 1; run <= 2; ++run) {
        platform.files[testLogPath].content.clear();
        const SourceTree tree = walkSource(platform, platform.longPathOf("C:\\App"),
                                           platform.longPathOf("D:\\Backup\\"));
        const FolderCopyResult copied =
            copyFolder(platform, log, tree, "C:\\App", "D:\\Backup\\", copyWith, testLogPath);
        EXPECT_TRUE(copied.complete) << name;
        // A link that is not followed is not counted either: a, a\b, c, and a\side when it is
        // no loop.
        EXPECT_EQ(c.loops.empty() ? 4u : 3u, copied.counts.folders) << name;
        Lines loops;
        for (const std::string& text : logTexts(platform))
          if (text.rfind("link loop not followed: ", 0) == 0) loops.push_back(text.substr(24));
        EXPECT_EQ(c.loops, loops) << name << ", run " << run;
      }
      // Neither tool is given a tree that loops; the backup holds each folder once.
      const size_t toolRuns = c.loops.empty() ? 2 : 0;
      EXPECT_EQ(toolRuns, platform.commandsStarted.size() + platform.shellCopies.size()) << name;
      EXPECT_EQ("d", platform.fileContent("D:\\Backup\\a\\b\\deep.txt")) << name;
      for (const auto& [link, target] : c.links) {
        const std::string copy = "D:\\Backup" + link.substr(6);
        EXPECT_EQ(c.loops.empty(), platform.folderExists(copy)) << name << " " << copy;
      }
      if (c.loops.empty()) {
        EXPECT_EQ("s", platform.fileContent("D:\\Backup\\a\\side\\side.txt")) << name;
      }
    }
  }
}

}  // namespace
}  // namespace vesk
