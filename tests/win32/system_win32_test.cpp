// The system's facts: the program's command line and folders, the profile folder, the ANSI code
// page and the time with the user's forms of it.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

class Win32SystemTest : public ::testing::Test {
 protected:
  win32::Win32System system;
  win32::Win32Files files;
};

TEST_F(Win32SystemTest, ProgramAndSystemFolders) {
  std::string self = testing::selfPath();
  std::string folder = system.programFolder();
  EXPECT_EQ(self.substr(0, self.find_last_of('\\')), folder);
  EXPECT_NE('\\', folder.back());
  EXPECT_NE(std::string::npos, system.commandLine().find("win32_tests"));
  EXPECT_TRUE(files.fileExists(system.systemFolder() + "\\cmd.exe"));
}

TEST_F(Win32SystemTest, ProfileFolderIsTheUsersProfile) {
  char expected[MAX_PATH] = {};
  ASSERT_NE(0u, GetEnvironmentVariableA("USERPROFILE", expected, sizeof expected));
  std::string profile = system.userProfileFolder();
  EXPECT_EQ(expected, profile) << "the path alone, without the NULs after it";
  EXPECT_TRUE(files.folderExists(profile));
}

TEST_F(Win32SystemTest, AnsiConversionShowsWhatTheCodePageLacksAsQuestionMarks) {
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
    EXPECT_EQ(c.ansi, system.ansiFromUtf16(c.wide));
    if (c.ansi.find('?') == std::string::npos) {
      EXPECT_EQ(c.wide, system.utf16FromAnsi(c.ansi));
    }
  }
}

TEST_F(Win32SystemTest, TimeTextsInTheUsersForm) {
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
    EXPECT_EQ(c.date, system.shortDateText(c.t));
    EXPECT_EQ(c.time, system.longTimeText(c.t));
  }
}

TEST_F(Win32SystemTest, TimeTextsOfADateTheSystemRefuses) {
  LocalTime bad{2026, 13, 40, 25, 61, 61};
  EXPECT_FALSE(system.shortDateText(bad).empty());
  EXPECT_FALSE(system.longTimeText(bad).empty());
}

TEST_F(Win32SystemTest, LocalTimeIsNow) {
  LocalTime now = system.localTime();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
}

TEST_F(Win32SystemTest, ZonedTimeIsTheLocalTimeWithTheZonesOffset) {
  TIME_ZONE_INFORMATION zone{};
  const DWORD which = GetTimeZoneInformation(&zone);
  // UTC is the local time plus the bias, and the bias of the part of the year it is now.
  const LONG bias = zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                 : which == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                                  : 0);
  const ZonedTime zoned = system.zonedTime();
  const LocalTime local = system.localTime();
  EXPECT_EQ(-bias, zoned.utcOffsetMinutes);
  EXPECT_EQ(local.year, zoned.local.year);
  EXPECT_EQ(local.day, zoned.local.day);
  EXPECT_LE(
      std::abs((local.hour * 60 + local.minute) - (zoned.local.hour * 60 + zoned.local.minute)), 1);
}

}  // namespace
}  // namespace vesk
