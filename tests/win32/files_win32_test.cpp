// The files of the Win32 layer, by their ANSI path, on a real (Wine) file system.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::fileText;
using testing::raisedFault;
using testing::TempFolder;
using testing::writeFile;

class Win32FilesTest : public ::testing::Test {
 protected:
  win32::Win32Files files;
  TempFolder temp;
  std::string missingDrive = std::string(1, testing::missingDriveLetter()) + ":";
};

TEST_F(Win32FilesTest, ExistenceOfFoldersAndFiles) {
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
    EXPECT_EQ(c.folder, files.folderExists(c.path)) << c.path;
    EXPECT_EQ(c.file, files.fileExists(c.path)) << c.path;
  }
}

TEST_F(Win32FilesTest, DriveOfAFullPath) {
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
  for (const auto& c : cases) EXPECT_EQ(c.exists, files.driveExists(c.path)) << c.path;
}

TEST_F(Win32FilesTest, ShareRootStandsForTheDrive) {
  // run.sh maps \\vesktest\share to a folder of the host.
  if (!files.folderExists("\\\\vesktest\\share\\")) GTEST_SKIP() << "no test share";
  EXPECT_TRUE(files.driveExists("\\\\vesktest\\share\\no\\such\\folder"));
  EXPECT_TRUE(files.driveExists("\\\\vesktest\\share"));
  EXPECT_FALSE(files.driveExists("\\\\vesktest\\noshare\\x"));
}

TEST_F(Win32FilesTest, CreateFolderMakesOneLevel) {
  files.createFolder(temp / "Backup");
  EXPECT_TRUE(files.folderExists(temp / "Backup"));
  files.createFolder(temp / "Backup\\Daily\\");
  EXPECT_TRUE(files.folderExists(temp / "Backup\\Daily"));
}

TEST_F(Win32FilesTest, CreateFolderFailures) {
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
    EXPECT_EQ(c.fault, raisedFault([&] { files.createFolder(c.path); })) << c.path;
  EXPECT_FALSE(files.folderExists(temp / "missing"));
}

TEST_F(Win32FilesTest, AppendKeepsWhatIsThereAndCreatesAMissingFile) {
  ASSERT_TRUE(writeFile(temp / "old.txt", "first\r\n"));
  for (const char* name : {"old.txt", "new.txt"}) {
    auto stream = files.openForAppend(temp / name);
    stream->writeLine("line");
    stream->writeLine("");
    stream->close();
  }
  EXPECT_EQ("first\r\nline\r\n\r\n", fileText(temp / "old.txt"));
  EXPECT_EQ("line\r\n\r\n", fileText(temp / "new.txt"));
}

TEST_F(Win32FilesTest, TwoStreamsOnOneLogInterleaveWholeLines) {
  // Two runs sharing the day's log: neither open fails, and no line overwrites another.
  std::string log = temp / "log.txt";
  auto first = files.openForAppend(log);
  auto second = files.openForAppend(log);
  first->writeLine("first run 1");
  second->writeLine("second run 1, a longer line");
  first->writeLine("first run 2");
  EXPECT_EQ("first run 1\r\nsecond run 1, a longer line\r\nfirst run 2\r\n", files.readFile(log))
      << "the log is readable while open";
  second->writeLine("second run 2");
  first->close();
  second->close();
  EXPECT_EQ("first run 1\r\nsecond run 1, a longer line\r\nfirst run 2\r\nsecond run 2\r\n",
            fileText(log));
}

TEST_F(Win32FilesTest, ClosedStream) {
  auto stream = files.openForAppend(temp / "log.txt");
  stream->writeLine("kept");
  stream->close();
  stream->close();
  EXPECT_EQ(Fault::badFileName, raisedFault([&] { stream->writeLine("lost"); }));
  EXPECT_EQ("kept\r\n", fileText(temp / "log.txt"));
}

TEST_F(Win32FilesTest, OpenForAppendFailures) {
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
    EXPECT_EQ(c.fault, raisedFault([&] { files.openForAppend(c.path); })) << c.path;
  CloseHandle(locked);
  EXPECT_EQ("old\r\n", fileText(temp / "readonly.txt"));
  EXPECT_EQ("old\r\n", fileText(temp / "locked.txt"));
}

TEST_F(Win32FilesTest, ReadFileGivesEveryByte) {
  std::string content = std::string("a\0b\r\nc\r\xff\n", 9) + std::string(200000, 'z') + "end";
  ASSERT_TRUE(writeFile(temp / "data.bin", content));
  ASSERT_TRUE(writeFile(temp / "empty.txt", ""));
  EXPECT_EQ(content, files.readFile(temp / "data.bin"));
  EXPECT_EQ("", files.readFile(temp / "empty.txt"));
}

TEST_F(Win32FilesTest, ReadFileFailures) {
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
    EXPECT_EQ(c.fault, raisedFault([&] { files.readFile(c.path); })) << c.path;
  CloseHandle(locked);
}

TEST_F(Win32FilesTest, ReadFileWithinReadsNothingBeyondItsLimit) {
  ASSERT_TRUE(writeFile(temp / "small.txt", "12345"));
  // A sparse file of 64 GiB, as a damaged disk or someone writing the share leaves one.
  HANDLE sparse = CreateFileA((temp / "sparse.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, sparse);
  DWORD returned = 0;
  DeviceIoControl(sparse, 0x900C4 /* FSCTL_SET_SPARSE */, nullptr, 0, nullptr, 0, &returned,
                  nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = int64_t(64) << 30;
  ASSERT_TRUE(SetFilePointerEx(sparse, end, nullptr, FILE_BEGIN) && SetEndOfFile(sparse));
  CloseHandle(sparse);
  EXPECT_EQ(std::optional<std::string>("12345"), files.readFileWithin(temp / "small.txt", 5));
  EXPECT_EQ(std::nullopt, files.readFileWithin(temp / "small.txt", 4));
  EXPECT_EQ(std::nullopt, files.readFileWithin(temp / "sparse.bin", 8 << 20));

  // Held without sharing: tried again for a while, then in use by another program.
  HANDLE held = CreateFileA((temp / "small.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const DWORD start = GetTickCount();
  try {
    files.readFileWithin(temp / "small.txt", 100);
    ADD_FAILURE() << "read a file held without sharing";
  } catch (const Failure& failure) {
    EXPECT_EQ(FileCause::inUse, failure.cause);
  }
  EXPECT_GE(GetTickCount() - start, 400u) << "tried again";
  CloseHandle(held);
  // A device has no size to go by: it is not read.
  EXPECT_EQ(Fault::pathFileAccess, raisedFault([&] { files.readFileWithin("NUL", 100); }));
}

TEST_F(Win32FilesTest, ReadFileTailGivesTheLastBytes) {
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
  for (const auto& c : cases) EXPECT_EQ(c.tail, files.readFileTail(temp / c.name, c.size));
  // Readable while a run appends to it.
  auto stream = files.openForAppend(temp / "log.txt");
  stream->writeLine("");
  EXPECT_EQ("\r\n", files.readFileTail(temp / "log.txt", 2));
  stream->close();
  EXPECT_EQ(Fault::fileNotFound, raisedFault([&] { files.readFileTail(temp / "no", 2); }));
}

TEST_F(Win32FilesTest, DeleteRemovesOnlyWhatItMay) {
  ASSERT_TRUE(writeFile(temp / "old.txtsql", "old"));
  files.deleteFile(temp / "old.txtsql");
  EXPECT_EQ("<missing>", fileText(temp / "old.txtsql"));
  EXPECT_EQ(std::nullopt, raisedFault([&] { files.deleteFile(temp / "old.txtsql"); }));
  EXPECT_EQ(std::nullopt, raisedFault([&] { files.deleteFile(temp / "missing\\old.txtsql"); }));

  ASSERT_TRUE(writeFile(temp / "held.txt", "held"));
  HANDLE held = CreateFileA((temp / "held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(Fault::permissionDenied, raisedFault([&] { files.deleteFile(temp / "held.txt"); }));
  CloseHandle(held);
  EXPECT_EQ("held", fileText(temp / "held.txt"));

  ASSERT_TRUE(writeFile(temp / "readonly.txt", "kept"));
  ASSERT_TRUE(SetFileAttributesA((temp / "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Fault::permissionDenied, raisedFault([&] { files.deleteFile(temp / "readonly.txt"); }));
  EXPECT_EQ("kept", fileText(temp / "readonly.txt"));
}

TEST_F(Win32FilesTest, FullPathResolvesDotsAndSlashes) {
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
  for (const auto& c : cases) EXPECT_EQ(c.full, files.fullPath(c.path)) << c.path;
}

TEST_F(Win32FilesTest, ReplaceFileLeavesTheOldOrTheNewFileWhole) {
  const std::string target = temp / "status.json";
  const std::string beside = target + ".tmp";
  const struct {
    const char* name;
    const char* before;      // nullptr: no file yet
    const char* leftBeside;  // what a run ended while writing left beside it
    DWORD holdShare;         // a reader holds the file with this sharing; 0: nobody holds it
    bool replaced;
  } cases[] = {
      {"first file", nullptr, nullptr, 0, true},
      {"over the last one", "old", nullptr, 0, true},
      {"over what a run killed while writing left beside it", "old", "ha", 0, true},
      {"held by a reader", "old", nullptr, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
      {"held by a reader that shares deleting", "old", nullptr,
       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
  };
  for (const auto& c : cases) {
    DeleteFileA(target.c_str());
    if (c.before) {
      ASSERT_TRUE(writeFile(target, c.before));
    }
    if (c.leftBeside) {
      ASSERT_TRUE(writeFile(beside, c.leftBeside));
    }
    HANDLE reader = INVALID_HANDLE_VALUE;
    if (c.holdShare)
      reader = CreateFileA(target.c_str(), GENERIC_READ, c.holdShare, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD started = GetTickCount();
    const std::optional<Fault> fault = raisedFault([&] { files.replaceFile(target, "{new}"); });
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    EXPECT_EQ(c.replaced, !fault) << c.name;
    EXPECT_EQ(c.replaced ? "{new}" : c.before, fileText(target)) << c.name;
    EXPECT_EQ("<missing>", fileText(beside)) << c.name;
    if (!c.replaced) {
      EXPECT_GE(GetTickCount() - started, 400u) << c.name << ": tried again";
    }
  }
  EXPECT_EQ(Fault::pathNotFound,
            raisedFault([&] { files.replaceFile(temp / "missing\\status.json", "{}"); }));
}

}  // namespace
}  // namespace vesk
