// The file-system operations of the Win32 layer on a real (Wine) file system.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/failure.h"
#include "platform/platform_win32.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::fileText;
using testing::TempFolder;
using testing::writeFile;

class Win32Files : public ::testing::Test {
 protected:
  /// What op raised, or nothing when it raised no failure.
  template <typename Op>
  static std::optional<Fault> raisedFault(Op op) {
    try {
      op();
    } catch (const Failure& failure) {
      return failure.fault;
    }
    return std::nullopt;
  }

  std::unique_ptr<Platform> platform = makeWin32Platform();
  TempFolder temp;
  std::string missingDrive = std::string(1, testing::missingDriveLetter()) + ":";
};

TEST_F(Win32Files, ExistenceOfFoldersAndFiles) {
  ASSERT_TRUE(writeFile(temp / "log.txt", "x"));
  ASSERT_TRUE(CreateDirectoryA((temp / "sub").c_str(), nullptr));
  const struct {
    std::string path;
    bool folder, file;
  } cases[] = {
      {temp.path, true, false},
      {temp.path + "\\", true, false},
      {temp / "sub", true, false},
      {temp / "log.txt", false, true},
      {temp / "missing", false, false},
      {temp / "missing\\deeper", false, false},
      {"", false, false},
      // A NUL must not cut the path short to the folder before it.
      {temp.path + std::string(1, '\0') + "\\nothing", false, false},
      {temp / "log.txt" + std::string(1, '\0'), false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.folder, platform->folderExists(c.path)) << c.path;
    EXPECT_EQ(c.file, platform->fileExists(c.path)) << c.path;
  }
}

TEST_F(Win32Files, DriveOfAFullPath) {
  const struct {
    std::string path;
    bool exists;
  } cases[] = {
      {"C:\\", true},        {"c:\\no\\such\\folder\\", true},
      {"C:", true},          {missingDrive + "\\Backup\\", false},
      {missingDrive, false}, {"Backup\\Daily", false},
      {"", false},           {"1:\\x", false},
      {"\\\\", false},       {"\\\\nosuchserver\\noshare\\Backup", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.exists, platform->driveExists(c.path)) << c.path;
}

TEST_F(Win32Files, ShareRootStandsForTheDrive) {
  // run.sh maps \\vesktest\share to a folder of the host.
  if (!platform->folderExists("\\\\vesktest\\share\\")) GTEST_SKIP() << "no test share";
  EXPECT_TRUE(platform->driveExists("\\\\vesktest\\share\\no\\such\\folder"));
  EXPECT_TRUE(platform->driveExists("\\\\vesktest\\share"));
  EXPECT_FALSE(platform->driveExists("\\\\vesktest\\noshare\\x"));
}

TEST_F(Win32Files, CreateFolderMakesOneLevel) {
  platform->createFolder(temp / "Backup");
  EXPECT_TRUE(platform->folderExists(temp / "Backup"));
  platform->createFolder(temp / "Backup\\Daily\\");
  EXPECT_TRUE(platform->folderExists(temp / "Backup\\Daily"));
}

TEST_F(Win32Files, CreateFolderFailures) {
  ASSERT_TRUE(CreateDirectoryA((temp / "there").c_str(), nullptr));
  const struct {
    std::string path;
    Fault fault;
  } cases[] = {
      {temp / "missing\\child", Fault::pathNotFound},
      {missingDrive + "\\Backup", Fault::pathNotFound},
      {temp / "there", Fault::fileAlreadyExists},
      {temp / "bad|name", Fault::badFileName},
      {temp / "nul" + std::string(1, '\0') + "x", Fault::badFileName},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.fault, raisedFault([&] { platform->createFolder(c.path); })) << c.path;
  EXPECT_FALSE(platform->folderExists(temp / "missing"));
}

TEST_F(Win32Files, AppendKeepsWhatIsThereAndCreatesAMissingFile) {
  ASSERT_TRUE(writeFile(temp / "old.txt", "first\r\n"));
  for (const char* name : {"old.txt", "new.txt"}) {
    auto stream = platform->openForAppend(temp / name);
    stream->writeLine("line");
    stream->writeLine("");
    stream->close();
  }
  EXPECT_EQ("first\r\nline\r\n\r\n", fileText(temp / "old.txt"));
  EXPECT_EQ("line\r\n\r\n", fileText(temp / "new.txt"));
}

TEST_F(Win32Files, TwoStreamsOnOneLogInterleaveWholeLines) {
  // Two runs sharing the day's log: neither open fails, and no line overwrites another.
  std::string log = temp / "log.txt";
  auto first = platform->openForAppend(log);
  auto second = platform->openForAppend(log);
  first->writeLine("first run 1");
  second->writeLine("second run 1, a longer line");
  first->writeLine("first run 2");
  EXPECT_EQ("first run 1\r\nsecond run 1, a longer line\r\nfirst run 2\r\n",
            platform->readFile(log))
      << "the log is readable while open";
  second->writeLine("second run 2");
  first->close();
  second->close();
  EXPECT_EQ("first run 1\r\nsecond run 1, a longer line\r\nfirst run 2\r\nsecond run 2\r\n",
            fileText(log));
}

TEST_F(Win32Files, ClosedStream) {
  auto stream = platform->openForAppend(temp / "log.txt");
  stream->writeLine("kept");
  stream->close();
  stream->close();
  EXPECT_EQ(Fault::badFileName, raisedFault([&] { stream->writeLine("lost"); }));
  EXPECT_EQ("kept\r\n", fileText(temp / "log.txt"));
}

TEST_F(Win32Files, OpenForAppendFailures) {
  ASSERT_TRUE(writeFile(temp / "readonly.txt", "old\r\n"));
  ASSERT_TRUE(SetFileAttributesA((temp / "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(writeFile(temp / "locked.txt", "old\r\n"));
  HANDLE locked = CreateFileA((temp / "locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, locked);
  ASSERT_TRUE(CreateDirectoryA((temp / "folder").c_str(), nullptr));
  struct Case {
    std::string path;
    Fault fault;
  };
  std::vector<Case> cases = {
      {temp / "locked.txt", Fault::permissionDenied},
      {temp / "folder", Fault::permissionDenied},
      {temp / "missing\\log.txt", Fault::pathNotFound},
      {missingDrive + "\\log.txt", Fault::pathNotFound},
  };
  // Wine keeps the read-only attribute in the host's file modes, which do not stop root.
  HANDLE probe = CreateFileA((temp / "readonly.txt").c_str(), FILE_APPEND_DATA, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE)
    cases.push_back({temp / "readonly.txt", Fault::permissionDenied});
  else
    CloseHandle(probe);
  for (const auto& c : cases)
    EXPECT_EQ(c.fault, raisedFault([&] { platform->openForAppend(c.path); })) << c.path;
  CloseHandle(locked);
  EXPECT_EQ("old\r\n", fileText(temp / "readonly.txt"));
  EXPECT_EQ("old\r\n", fileText(temp / "locked.txt"));
}

TEST_F(Win32Files, ReadFileGivesEveryByte) {
  std::string content = std::string("a\0b\r\nc\r\xff\n", 9) + std::string(200000, 'z') + "end";
  ASSERT_TRUE(writeFile(temp / "data.bin", content));
  ASSERT_TRUE(writeFile(temp / "empty.txt", ""));
  EXPECT_EQ(content, platform->readFile(temp / "data.bin"));
  EXPECT_EQ("", platform->readFile(temp / "empty.txt"));
}

TEST_F(Win32Files, ReadFileFailures) {
  ASSERT_TRUE(writeFile(temp / "locked.txt", "x"));
  HANDLE locked = CreateFileA((temp / "locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, locked);
  const struct {
    std::string path;
    Fault fault;
  } cases[] = {
      {temp / "missing.txt", Fault::fileNotFound},
      {temp / "missing\\path.conf", Fault::pathNotFound},
      {temp / "locked.txt", Fault::permissionDenied},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.fault, raisedFault([&] { platform->readFile(c.path); })) << c.path;
  CloseHandle(locked);
}

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

TEST_F(Win32Files, LongPathsTakeEveryNameAndLength) {
  const std::u16string root = platform->longPathOf(temp.path);
  ASSERT_EQ(u"\\\\?\\", root.substr(0, 4));
  EXPECT_EQ(root, platform->longPathOf(temp.path + "\\"));
  EXPECT_EQ(root, platform->longPathOf(temp.path + "\\sub\\..\\"));
  EXPECT_EQ(u"", platform->longPathOf(""));
  EXPECT_EQ(u"", platform->longPathOf("C:\\" + std::string(40'000, 'x')));
  EXPECT_EQ(u"\\\\?\\UNC\\srv\\share\\x", platform->longPathOf("\\\\srv\\share\\x\\"));

  // Names beyond the code page, two that it shows alike, and a path far beyond MAX_PATH.
  const std::u16string names[] = {u"\u03a9mega.txt", u"Omega.txt", u"\u65e5\u672c.txt",
                                  u"\u4e2d\u6587.txt"};
  for (const std::u16string& name : names)
    ASSERT_TRUE(testing::writeFile(root + u"\\" + name, "x"));
  std::u16string deep = root;
  for (int level = 0; level < 30; ++level) {
    deep += u"\\level_" + std::u16string(12, u'\u0444');
    platform->createFolder(deep);
  }
  ASSERT_GT(deep.size(), 400u);
  ASSERT_TRUE(testing::writeFile(deep + u"\\f.bin", "12345"));
  const int64_t written = 133'000'000'123'456'700;  // a day in 2022
  setWriteTime(deep + u"\\f.bin", written);

  auto entries = platform->listFolder(root);
  ASSERT_TRUE(entries.has_value());
  std::vector<std::u16string> listed;
  for (const FolderEntry& entry : *entries) listed.push_back(entry.name);
  for (const std::u16string& name : names)
    EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), name));

  auto deepEntries = platform->listFolder(deep);
  ASSERT_TRUE(deepEntries.has_value());
  ASSERT_EQ(1u, deepEntries->size());
  EXPECT_EQ(u"f.bin", (*deepEntries)[0].name);
  EXPECT_EQ(5u, (*deepEntries)[0].size);
  EXPECT_EQ(written, (*deepEntries)[0].lastWriteTime);
  EXPECT_FALSE((*deepEntries)[0].isFolder);

  auto file = platform->entryAt(deep + u"\\f.bin");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(5u, file->size);
  EXPECT_EQ(written, file->lastWriteTime);
  EXPECT_TRUE(platform->entryAt(deep)->isFolder);
  EXPECT_FALSE(platform->entryAt(deep + u"\\missing").has_value());

  // The copy keeps the time and replaces a read-only or hidden copy.
  const std::u16string copy = root + u"\\\u65e5\u672c-copy.bin";
  for (DWORD attributes : {0ul, (unsigned long)FILE_ATTRIBUTE_READONLY,
                           (unsigned long)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)}) {
    if (attributes != 0) {
      ASSERT_TRUE(testing::writeFile(copy, "old copy"));
      ASSERT_TRUE(SetFileAttributesW(wide(copy), attributes));
    }
    platform->copyFile(deep + u"\\f.bin", copy);
    auto copied = platform->entryAt(copy);
    ASSERT_TRUE(copied.has_value()) << attributes;
    EXPECT_EQ(5u, copied->size) << attributes;
    EXPECT_EQ(written, copied->lastWriteTime) << attributes;
  }
  EXPECT_EQ(Fault::fileNotFound,
            raisedFault([&] { platform->copyFile(root + u"\\missing", copy); }));
  EXPECT_EQ(Fault::pathNotFound, raisedFault([&] {
              platform->copyFile(deep + u"\\f.bin", root + u"\\no\\such\\folder");
            }));
  SetFileAttributesW(wide(copy), FILE_ATTRIBUTE_NORMAL);
  testing::removeWideTree(root);
}

TEST_F(Win32Files, ListFolderNamesEntriesWithTheirSizesAndTimes) {
  ASSERT_TRUE(writeFile(temp / "a.txt", "alpha"));
  ASSERT_TRUE(CreateDirectoryA((temp / "sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((temp / "empty").c_str(), nullptr));
  const int64_t written = 133'000'000'123'456'700;
  setWriteTime(platform->longPathOf(temp / "a.txt"), written);

  for (const std::string& path : {temp.path, temp.path + "\\"}) {
    auto entries = platform->listFolder(platform->longPathOf(path));
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
  auto empty = platform->listFolder(platform->longPathOf(temp / "empty"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST_F(Win32Files, ListFolderOfWhatIsNoFolder) {
  ASSERT_TRUE(writeFile(temp / "a.txt", "alpha"));
  ASSERT_TRUE(CreateDirectoryA((temp / "sub").c_str(), nullptr));
  const std::u16string root = platform->longPathOf(temp.path);
  for (const std::u16string& path : {root + u"\\missing", root + u"\\a.txt", root + u"\\s*",
                                     root + u"\\su?", std::u16string(), root + u'\0'})
    EXPECT_FALSE(platform->listFolder(path).has_value());
}

TEST_F(Win32Files, NamesCompareAsTheFileSystemComparesThem) {
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
    int result = platform->compareNames(c.a, c.b);
    EXPECT_EQ(c.sign, (result > 0) - (result < 0));
  }
}

TEST_F(Win32Files, ReadFileTailGivesTheLastBytes) {
  ASSERT_TRUE(writeFile(temp / "log.txt", "line\r\ntorn"));
  ASSERT_TRUE(writeFile(temp / "one.txt", "x"));
  ASSERT_TRUE(writeFile(temp / "empty.txt", ""));
  const struct {
    std::string name;
    size_t size;
    std::string tail;
  } cases[] = {{"log.txt", 2, "rn"},
               {"log.txt", 100, "line\r\ntorn"},
               {"log.txt", 0, ""},
               {"one.txt", 2, "x"},
               {"empty.txt", 2, ""}};
  for (const auto& c : cases) EXPECT_EQ(c.tail, platform->readFileTail(temp / c.name, c.size));
  // Readable while a run appends to it.
  auto stream = platform->openForAppend(temp / "log.txt");
  stream->writeLine("");
  EXPECT_EQ("\r\n", platform->readFileTail(temp / "log.txt", 2));
  stream->close();
  EXPECT_EQ(Fault::fileNotFound, raisedFault([&] { platform->readFileTail(temp / "no", 2); }));
}

TEST_F(Win32Files, DeleteRemovesOnlyWhatItMay) {
  ASSERT_TRUE(writeFile(temp / "old.txtsql", "old"));
  platform->deleteFile(temp / "old.txtsql");
  EXPECT_EQ("<missing>", fileText(temp / "old.txtsql"));
  EXPECT_EQ(std::nullopt, raisedFault([&] { platform->deleteFile(temp / "old.txtsql"); }));
  EXPECT_EQ(std::nullopt, raisedFault([&] { platform->deleteFile(temp / "missing\\old.txtsql"); }));

  ASSERT_TRUE(writeFile(temp / "held.txt", "held"));
  HANDLE held = CreateFileA((temp / "held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(Fault::permissionDenied, raisedFault([&] { platform->deleteFile(temp / "held.txt"); }));
  CloseHandle(held);
  EXPECT_EQ("held", fileText(temp / "held.txt"));

  ASSERT_TRUE(writeFile(temp / "readonly.txt", "kept"));
  ASSERT_TRUE(SetFileAttributesA((temp / "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Fault::permissionDenied,
            raisedFault([&] { platform->deleteFile(temp / "readonly.txt"); }));
  EXPECT_EQ("kept", fileText(temp / "readonly.txt"));
}

TEST_F(Win32Files, FolderIdentityIsTheSameByAnyPath) {
  auto identity = [&](const std::string& path) {
    return platform->folderIdentity(platform->longPathOf(path));
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

TEST_F(Win32Files, FolderIdentityThroughASubstDrive) {
  auto identity = [&](const std::string& path) {
    return platform->folderIdentity(platform->longPathOf(path));
  };
  ASSERT_TRUE(CreateDirectoryA((temp / "app").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((temp / "app\\sub").c_str(), nullptr));
  auto sub = identity(temp / "app\\sub");
  // A drive letter onto the folder, as subst makes one.
  std::string letter = std::string(1, testing::missingDriveLetter()) + ":";
  // Wine defines the letter but does not reach files through it; the end-to-end tests make
  // Wine drives of their own.
  if (!DefineDosDeviceA(0, letter.c_str(), (temp / "app\\sub").c_str())) GTEST_SKIP();
  bool reached = platform->folderExists(letter + "\\");
  if (reached) {
    EXPECT_EQ(sub, identity(letter + "\\"));
  }
  DefineDosDeviceA(DDD_REMOVE_DEFINITION, letter.c_str(), nullptr);
  if (!reached) GTEST_SKIP() << "a defined drive letter reaches no files here";
}

TEST_F(Win32Files, FullPathResolvesDotsAndSlashes) {
  const std::string current = testing::currentFolder();
  const struct {
    std::string path, full;
  } cases[] = {
      {"C:\\Other\\..\\App\\bak", "C:\\App\\bak"},
      {"C:/Apps/Client/", "C:\\Apps\\Client\\"},
      {"C:\\App\\.\\x", "C:\\App\\x"},
      {"C:\\..\\App", "C:\\App"},
      {"sub\\x", current + "\\sub\\x"},
      {"caf\xe9", current + "\\caf\xe9"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.full, platform->fullPath(c.path)) << c.path;
}

}  // namespace
}  // namespace vesk
