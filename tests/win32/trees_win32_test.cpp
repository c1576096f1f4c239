// The trees of the Win32 layer: the wide-character functions on paths in the "\\?\" form, on a
// real (Wine) file system, and work on a second thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::raisedFault;
using testing::TempFolder;
using testing::writeFile;

class Win32TreesTest : public ::testing::Test {
 protected:
  win32::Win32Trees trees;
  win32::Win32Files files;
  TempFolder temp;
};

/// Sets a file's last-write time, in 100-ns units since 1601.
void setWriteTime(const std::u16string& path, int64_t written) {
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), FILE_WRITE_ATTRIBUTES,
                            0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FILETIME time{static_cast<DWORD>(written & 0xFFFFFFFF), static_cast<DWORD>(written >> 32)};
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
  CloseHandle(file);
}

const wchar_t* wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

TEST_F(Win32TreesTest, LongPathsTakeEveryNameAndLength) {
  const std::u16string root = trees.longPathOf(temp.path);
  ASSERT_EQ(u"\\\\?\\", root.substr(0, 4));
  EXPECT_EQ(root, trees.longPathOf(temp.path + "\\"));
  EXPECT_EQ(root, trees.longPathOf(temp.path + "\\sub\\..\\"));
  EXPECT_EQ(u"", trees.longPathOf(""));
  EXPECT_EQ(u"", trees.longPathOf("C:\\" + std::string(40'000, 'x')));
  EXPECT_EQ(u"\\\\?\\UNC\\srv\\share\\x", trees.longPathOf("\\\\srv\\share\\x\\"));

  // Names beyond the code page, two that it shows alike, and a path far beyond MAX_PATH.
  const std::u16string names[] = {u"\u03a9mega.txt", u"Omega.txt", u"\u65e5\u672c.txt",
                                  u"\u4e2d\u6587.txt"};
  for (const std::u16string& name : names)
    ASSERT_TRUE(testing::writeFile(root + u"\\" + name, "x"));
  std::u16string deep = root;
  for (int level = 0; level < 30; ++level) {
    deep += u"\\level_" + std::u16string(12, u'\u0444');
    trees.createFolder(deep);
  }
  ASSERT_GT(deep.size(), 400u);
  ASSERT_TRUE(testing::writeFile(deep + u"\\f.bin", "12345"));
  const int64_t written = 133'000'000'123'456'700;  // a day in 2022
  setWriteTime(deep + u"\\f.bin", written);

  auto entries = trees.listFolder(root);
  ASSERT_TRUE(entries.has_value());
  std::vector<std::u16string> listed;
  for (const FolderEntry& entry : *entries) listed.push_back(entry.name);
  for (const std::u16string& name : names)
    EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), name));

  auto deepEntries = trees.listFolder(deep);
  ASSERT_TRUE(deepEntries.has_value());
  ASSERT_EQ(1u, deepEntries->size());
  EXPECT_EQ(u"f.bin", (*deepEntries)[0].name);
  EXPECT_EQ(5u, (*deepEntries)[0].size);
  EXPECT_EQ(written, (*deepEntries)[0].lastWriteTime);
  EXPECT_FALSE((*deepEntries)[0].isFolder);

  auto file = trees.entryAt(deep + u"\\f.bin");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(5u, file->size);
  EXPECT_EQ(written, file->lastWriteTime);
  EXPECT_TRUE(trees.entryAt(deep)->isFolder);
  EXPECT_FALSE(trees.entryAt(deep + u"\\missing").has_value());

  // The copy keeps the time and replaces a read-only or hidden copy.
  const std::u16string copy = root + u"\\\u65e5\u672c-copy.bin";
  for (DWORD attributes : {0ul, (unsigned long)FILE_ATTRIBUTE_READONLY,
                           (unsigned long)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)}) {
    if (attributes != 0) {
      ASSERT_TRUE(testing::writeFile(copy, "old copy"));
      ASSERT_TRUE(SetFileAttributesW(wide(copy), attributes));
    }
    trees.copyFile(deep + u"\\f.bin", copy);
    auto copied = trees.entryAt(copy);
    ASSERT_TRUE(copied.has_value()) << attributes;
    EXPECT_EQ(5u, copied->size) << attributes;
    EXPECT_EQ(written, copied->lastWriteTime) << attributes;
  }
  EXPECT_EQ(Fault::fileNotFound, raisedFault([&] { trees.copyFile(root + u"\\missing", copy); }));
  EXPECT_EQ(Fault::pathNotFound,
            raisedFault([&] { trees.copyFile(deep + u"\\f.bin", root + u"\\no\\such\\folder"); }));
  SetFileAttributesW(wide(copy), FILE_ATTRIBUTE_NORMAL);
  testing::removeWideTree(root);
}

TEST_F(Win32TreesTest, ListFolderNamesEntriesWithTheirSizesAndTimes) {
  ASSERT_TRUE(writeFile(temp / "a.txt", "alpha"));
  ASSERT_TRUE(CreateDirectoryA((temp / "sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((temp / "empty").c_str(), nullptr));
  const int64_t written = 133'000'000'123'456'700;
  setWriteTime(trees.longPathOf(temp / "a.txt"), written);

  for (const std::string& path : {temp.path, temp.path + "\\"}) {
    auto entries = trees.listFolder(trees.longPathOf(path));
    ASSERT_TRUE(entries.has_value()) << path;
    std::sort(entries->begin(), entries->end(),
              [](const FolderEntry& x, const FolderEntry& y) { return x.name < y.name; });
    ASSERT_EQ(3u, entries->size()) << path;
    EXPECT_EQ(u"a.txt", (*entries)[0].name);
    EXPECT_FALSE((*entries)[0].isFolder);
    EXPECT_EQ(5u, (*entries)[0].size);
    EXPECT_EQ(written, (*entries)[0].lastWriteTime);
    EXPECT_EQ(u"empty", (*entries)[1].name);
    EXPECT_TRUE((*entries)[1].isFolder);
    EXPECT_EQ(u"sub", (*entries)[2].name);
  }
  auto empty = trees.listFolder(trees.longPathOf(temp / "empty"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST_F(Win32TreesTest, ListFolderOfWhatIsNoFolder) {
  ASSERT_TRUE(writeFile(temp / "a.txt", "alpha"));
  ASSERT_TRUE(CreateDirectoryA((temp / "sub").c_str(), nullptr));
  const std::u16string root = trees.longPathOf(temp.path);
  for (const std::u16string& path : {root + u"\\missing", root + u"\\a.txt", root + u"\\s*",
                                     root + u"\\su?", std::u16string(), root + u'\0'})
    EXPECT_FALSE(trees.listFolder(path).has_value());
}

TEST_F(Win32TreesTest, NamesCompareAsTheFileSystemComparesThem) {
  const struct {
    std::u16string a, b;
    int sign;
  } cases[] = {
      {u"app.exe", u"APP.EXE", 0},
      {u"\u00e4rger.txt", u"\u00c4RGER.TXT", 0},
      {u"\u03c9", u"\u03a9", 0},
      {u"\u0444\u0430\u0439\u043b", u"\u0424\u0410\u0419\u041b", 0},
      {u"Omega", u"\u03a9mega", -1},
      {u"a", u"b", -1},
      {u"ab", u"a", 1},
  };
  for (const auto& c : cases) {
    int result = trees.compareNames(c.a, c.b);
    EXPECT_EQ(c.sign, (result > 0) - (result < 0));
  }
}

TEST_F(Win32TreesTest, FolderIdentityIsTheSameByAnyPath) {
  auto identity = [&](const std::string& path) {
    return trees.folderIdentity(trees.longPathOf(path));
  };
  ASSERT_TRUE(CreateDirectoryA((temp / "app").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((temp / "app\\sub").c_str(), nullptr));
  ASSERT_TRUE(writeFile(temp / "app\\file.txt", "x"));
  auto app = identity(temp / "app");
  auto sub = identity(temp / "app\\sub");
  ASSERT_TRUE(app && sub);
  EXPECT_NE(*app, *sub);
  EXPECT_EQ(app, identity(temp / "app\\"));
  EXPECT_EQ(app, identity(temp / "app\\sub\\.."));
  EXPECT_EQ(app, identity(temp / "APP"));
  for (const std::string& none : {temp / "app\\file.txt", temp / "missing", std::string()})
    EXPECT_FALSE(identity(none).has_value()) << none;
}

TEST_F(Win32TreesTest, FolderIdentityThroughASubstDrive) {
  auto identity = [&](const std::string& path) {
    return trees.folderIdentity(trees.longPathOf(path));
  };
  ASSERT_TRUE(CreateDirectoryA((temp / "app").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((temp / "app\\sub").c_str(), nullptr));
  auto sub = identity(temp / "app\\sub");
  // A drive letter onto the folder, as subst makes one.
  std::string letter = std::string(1, testing::missingDriveLetter()) + ":";
  // Wine defines the letter but does not reach files through it; the end-to-end tests make
  // Wine drives of their own.
  if (!DefineDosDeviceA(0, letter.c_str(), (temp / "app\\sub").c_str())) GTEST_SKIP();
  bool reached = files.folderExists(letter + "\\");
  if (reached) {
    EXPECT_EQ(sub, identity(letter + "\\"));
  }
  DefineDosDeviceA(DDD_REMOVE_DEFINITION, letter.c_str(), nullptr);
  if (!reached) GTEST_SKIP() << "a defined drive letter reaches no files here";
}

TEST_F(Win32TreesTest, VolumeAndContentsOfFiles) {
  // Wine names every folder of a Linux file system NTFS, on a drive of this machine.
  auto volume = trees.volumeOf(trees.longPathOf(temp.path));
  ASSERT_TRUE(volume.has_value());
  EXPECT_EQ("NTFS", volume->fileSystem);
  EXPECT_FALSE(volume->network);
  EXPECT_FALSE(trees.volumeOf(u"").has_value());
  auto share = trees.volumeOf(trees.longPathOf("\\\\vesktest\\share"));
  // Wine cannot name a share's volume; Windows names its root.
  EXPECT_TRUE(!share || share->network);

  // Files longer than one read of the comparison, alike up to their last byte.
  const std::string big(2 * 1024 * 1024 + 1, 'b');
  const struct {
    std::string first, second;
    std::optional<bool> same;
  } cases[] = {
      {"alpha", "alpha", true}, {"", "", true},      {"alpha", "alpHa", false},
      {"alpha", "alph", false}, {big, big, true},    {big, big.substr(1) + "c", false},
      {"alpha", "", false},     {"<none>", "x", {}},
  };
  for (const auto& c : cases) {
    const std::string a = temp / "a.bin", b = temp / "b.bin";
    DeleteFileA(a.c_str());
    if (c.first != "<none>") {
      ASSERT_TRUE(writeFile(a, c.first));
    }
    ASSERT_TRUE(writeFile(b, c.second));
    EXPECT_EQ(c.same, trees.sameContent(trees.longPathOf(a), trees.longPathOf(b)))
        << c.first.size() << " " << c.second.size();
  }
}

TEST_F(Win32TreesTest, WorkAlongsideRunsOnItsOwnThreadUntilWaitedFor) {
  DWORD worker = 0;
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  {
    auto work = trees.startAlongside([&] {
      WaitForSingleObject(go, 10'000);  // goes on only once the caller has gone on
      worker = GetCurrentThreadId();
    });
    SetEvent(go);
    work->wait();
    work->wait();
  }
  CloseHandle(go);
  EXPECT_NE(0u, worker);
  EXPECT_NE(GetCurrentThreadId(), worker);
}

}  // namespace
}  // namespace vesk
