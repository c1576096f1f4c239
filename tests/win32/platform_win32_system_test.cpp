// Program facts, profile, time texts, current drive and folder, and the shell copy.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/failure.h"
#include "platform/platform_win32.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::fileText;
using testing::TempFolder;
using testing::writeFile;

class Win32System : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentDirectoryA(startFolder.c_str()); }

  std::unique_ptr<Platform> platform = makeWin32Platform();
  std::string startFolder = testing::currentFolder();
  TempFolder temp;
};

TEST_F(Win32System, ProgramAndSystemFolders) {
  std::string self = testing::selfPath();
  std::string folder = platform->programFolder();
  EXPECT_EQ(self.substr(0, self.find_last_of('\\')), folder);
  EXPECT_NE('\\', folder.back());
  EXPECT_NE(std::string::npos, platform->commandLine().find("win32_tests"));
  EXPECT_TRUE(platform->fileExists(platform->systemFolder() + "\\cmd.exe"));
}

TEST_F(Win32System, ProfileFolderIsTheUsersProfile) {
  char expected[MAX_PATH] = {};
  ASSERT_NE(0u, GetEnvironmentVariableA("USERPROFILE", expected, sizeof expected));
  std::string buffer = platform->userProfileFolder();
  std::string profile = buffer.substr(0, buffer.find('\0'));
  EXPECT_EQ(expected, profile);
  EXPECT_TRUE(platform->folderExists(profile));
}

TEST_F(Win32System, AnsiConversionShowsWhatTheCodePageLacksAsQuestionMarks) {
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP();
  const struct {
    std::u16string wide;
    std::string ansi;
  } cases[] = {
      {u"plain.txt", "plain.txt"}, {u"\u00c4rger \u20ac", "\xc4rger \x80"},  // in the code page
      {u"\u03a9mega", "?mega"},  // no best fit: not "Omega"
      {u"\u65e5\u672c", "??"},     {u"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.ansi, platform->ansiFromUtf16(c.wide));
    if (c.ansi.find('?') == std::string::npos) {
      EXPECT_EQ(c.wide, platform->utf16FromAnsi(c.ansi));
    }
  }
}

TEST_F(Win32System, WorkAlongsideRunsOnItsOwnThreadUntilWaitedFor) {
  DWORD worker = 0;
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  {
    auto work = platform->startAlongside([&] {
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

TEST_F(Win32System, TimeTextsInTheUsersForm) {
  char form[80] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, form, sizeof form);
  char timeForm[80] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, timeForm, sizeof timeForm);
  if (std::string(form) != "M/d/yyyy" || std::string(timeForm) != "h:mm:ss tt")
    GTEST_SKIP() << "user forms " << form << " and " << timeForm;
  const struct {
    LocalTime t;
    const char *date, *time;
  } cases[] = {
      {{2026, 12, 7, 14, 5, 9}, "12/7/2026", "2:05:09 PM"},
      {{2026, 1, 1, 0, 0, 0}, "1/1/2026", "12:00:00 AM"},  // the run leaves the time out
      {{2024, 2, 29, 23, 59, 59}, "2/29/2024", "11:59:59 PM"},
      {{2026, 3, 1, 12, 0, 1}, "3/1/2026", "12:00:01 PM"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.date, platform->shortDateText(c.t));
    EXPECT_EQ(c.time, platform->longTimeText(c.t));
  }
}

TEST_F(Win32System, TimeTextsOfADateTheSystemRefuses) {
  LocalTime bad{2026, 13, 40, 25, 61, 61};
  EXPECT_FALSE(platform->shortDateText(bad).empty());
  EXPECT_FALSE(platform->longTimeText(bad).empty());
}

TEST_F(Win32System, ClocksAreNow) {
  LocalTime now = platform->localTime();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  const int64_t from1601To1970 = 11'644'473'600;
  int64_t unixNow = static_cast<int64_t>(std::time(nullptr)) + from1601To1970;
  EXPECT_LE(std::abs(platform->wallClockSeconds() - unixNow), 2);
}

TEST_F(Win32System, ChangeFolderAndDrive) {
  platform->changeFolder(temp.path);
  EXPECT_EQ(temp.path, testing::currentFolder());
  platform->changeDrive("Z:\\Backup\\");
  EXPECT_EQ("Z:", testing::currentFolder().substr(0, 2));
  platform->changeDrive("c");
  EXPECT_EQ("C:", testing::currentFolder().substr(0, 2));
}

TEST_F(Win32System, ChangeFailures) {
  std::string missingDrive = std::string(1, testing::missingDriveLetter()) + ":\\";
  const struct {
    bool drive;
    std::string text;
  } cases[] = {
      {true, missingDrive},  {true, ""}, {true, "1:\\"}, {false, temp / "missing"},
      {false, missingDrive},
  };
  for (const auto& c : cases) {
    try {
      if (c.drive)
        platform->changeDrive(c.text);
      else
        platform->changeFolder(c.text);
      ADD_FAILURE() << "changed to " << c.text;
    } catch (const Failure& failure) {
      EXPECT_EQ(Fault::pathNotFound, failure.fault) << c.text;
    }
  }
}

TEST_F(Win32System, ShellCopyOfATree) {
  std::string source = temp / "src", destination = temp / "dst\\";
  ASSERT_TRUE(CreateDirectoryA(source.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((source + "\\sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((source + "\\empty").c_str(), nullptr));
  ASSERT_TRUE(writeFile(source + "\\a.txt", "alpha"));
  ASSERT_TRUE(writeFile(source + "\\sub\\b.txt", "beta"));
  const ShellCopyOptions flags{
      .replaceWithoutAsking = true, .createFoldersWithoutAsking = true, .noErrorDialog = true};
  std::string from = source + "\\*";
  std::string to = destination;

  ShellCopyResult result = platform->shellCopy(from, to, flags);
  EXPECT_EQ(0, result.returnCode);
  EXPECT_FALSE(result.anyOperationsAborted);
  EXPECT_EQ("alpha", fileText(destination + "a.txt"));
  EXPECT_EQ("beta", fileText(destination + "sub\\b.txt"));
  EXPECT_TRUE(platform->folderExists(destination + "empty"));

  // A second copy replaces what is there without asking.
  ASSERT_TRUE(writeFile(source + "\\a.txt", "alpha 2"));
  result = platform->shellCopy(source + "\\*", destination, flags);
  EXPECT_EQ(0, result.returnCode);
  EXPECT_EQ("alpha 2", fileText(destination + "a.txt"));

  // A NUL inside a path would end its list early or start a second path in it.
  ASSERT_TRUE(writeFile(source + "\\a.txt", "alpha 3"));
  try {
    platform->shellCopy(source + std::string(1, '\0') + "\\*", destination, flags);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(Fault::badFileName, failure.fault);
  }
  EXPECT_THROW(platform->shellCopy(from, destination + std::string(1, '\0') + "x", flags), Failure);
  EXPECT_EQ("alpha 2", fileText(destination + "a.txt"));
}

}  // namespace
}  // namespace vesk
