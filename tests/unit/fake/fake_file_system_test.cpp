// The fake's Windows rules hold for every call alike: a folder reached by a drive alias, a link,
// "." and "..", "/", another letter case or a relative path is the same folder to each of them.

#include "fake/fake_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_platform.h"

namespace vesk {
namespace {

const std::string folder = "C:\\App\\sub";
const std::string file = "C:\\App\\sub\\f.txt";

TEST(FakeFileSystem, EveryCallSeesThroughAliasesAndDots) {
  const char* const spellings[] = {
      "C:\\App\\sub",
      "c:/app/SUB/",
      "E:\\sub",   // a drive onto C:\App
      "C:\\Link",  // a link onto C:\App\sub
      "C:\\Other\\..\\App\\.\\sub",
      "E:\\sub\\dir\\..",
      "..\\App\\sub",  // from the current folder C:\Tools
  };
  for (const std::string spelled : spellings) {
    FakePlatform p;
    p.disk.addFile(file, "x", 7);
    p.disk.addFolder("C:\\App\\sub\\dir");
    p.disk.addFolder("C:\\Link");
    p.disk.drives.insert('E');
    p.disk.aliases = {{"E:", "C:\\App"}, {"C:\\Link", folder}};
    const std::string at = spelled.back() == '/' ? spelled : spelled + "\\";

    EXPECT_TRUE(p.files.folderExists(spelled)) << spelled;
    EXPECT_TRUE(p.files.fileExists(at + "f.txt")) << spelled;
    EXPECT_EQ("x", p.files.readFile(at + "f.txt")) << spelled;
    EXPECT_EQ("x", p.files.readFileTail(at + "f.txt", 5)) << spelled;
    p.files.openForAppend(at + "f.txt")->writeLine("y");
    EXPECT_EQ("xy\r\n", p.disk.fileContent(file)) << spelled;
    p.files.createFolder(at + "new");
    EXPECT_TRUE(p.files.folderExists(folder + "\\new")) << spelled;
    p.processes.changeFolder(spelled);
    EXPECT_EQ(spelled, p.disk.currentFolder);
    p.processes.changeFolder("C:\\Tools");

    auto entries = p.trees.listFolder(p.trees.longPathOf(spelled));
    ASSERT_TRUE(entries.has_value()) << spelled;
    EXPECT_EQ(3u, entries->size()) << spelled << ": dir, new and f.txt";
    auto entry = p.trees.entryAt(p.trees.longPathOf(at + "f.txt"));
    ASSERT_TRUE(entry.has_value()) << spelled;
    EXPECT_EQ(4u, entry->size) << spelled;
    EXPECT_EQ(p.trees.folderIdentity(p.trees.longPathOf(folder)),
              p.trees.folderIdentity(p.trees.longPathOf(spelled)))
        << spelled;
    p.trees.copyFile(p.trees.longPathOf(at + "f.txt"), p.trees.longPathOf(at + "copy.txt"));
    EXPECT_EQ("xy\r\n", p.disk.fileContent(folder + "\\copy.txt")) << spelled;
    p.trees.createFolder(p.trees.longPathOf(at + "wide"));
    EXPECT_TRUE(p.files.folderExists(folder + "\\wide")) << spelled;

    p.files.deleteFile(at + "f.txt");
    EXPECT_FALSE(p.files.fileExists(file)) << spelled;
  }
}

TEST(FakeFileSystem, SingleByteCallsTakeTheirPathsInTheCodePage) {
  FakePlatform p;
  p.disk.addFile("C:\\App\\caf\u00e9 \u20ac.txt", "x");  // written in UTF-8, as test sources are
  const std::string ansi = "C:\\App\\caf\xe9 \x80.txt";
  EXPECT_TRUE(p.files.fileExists(ansi));
  EXPECT_EQ("x", p.files.readFile(ansi));
  EXPECT_TRUE(p.trees.entryAt(p.trees.longPathOf(ansi)).has_value());
  auto entries = p.trees.listFolder(p.trees.longPathOf("C:\\App"));
  ASSERT_EQ(1u, entries->size());
  EXPECT_EQ("caf\xe9 \x80.txt", p.system.ansiFromUtf16((*entries)[0].name));
  EXPECT_TRUE(p.files.fileExists("c:\\APP\\CAF\xc9 \x80.TXT")) << "letter case beyond ASCII too";
}

}  // namespace
}  // namespace vesk
