// The desktop of the Win32 layer: the shell's copy operation (the message boxes are tried end to
// end, where a tool reads and closes them).

#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::fileText;
using testing::TempFolder;
using testing::writeFile;

class Win32DesktopTest : public ::testing::Test {
 protected:
  win32::Win32Desktop desktop;
  win32::Win32Files files;
  TempFolder temp;
};

TEST_F(Win32DesktopTest, ShellCopyOfATree) {
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

  ShellCopyResult result = desktop.shellCopy(from, to, flags);
  EXPECT_EQ(ShellCopyEnd::copied, result.end);
  EXPECT_EQ(0, result.code);
  EXPECT_EQ("alpha", fileText(destination + "a.txt"));
  EXPECT_EQ("beta", fileText(destination + "sub\\b.txt"));
  EXPECT_TRUE(files.folderExists(destination + "empty"));

  // A second copy replaces what is there without asking.
  ASSERT_TRUE(writeFile(source + "\\a.txt", "alpha 2"));
  result = desktop.shellCopy(source + "\\*", destination, flags);
  EXPECT_EQ(ShellCopyEnd::copied, result.end);
  EXPECT_EQ("alpha 2", fileText(destination + "a.txt"));

  // A NUL inside a path would end its list early or start a second path in it.
  ASSERT_TRUE(writeFile(source + "\\a.txt", "alpha 3"));
  try {
    desktop.shellCopy(source + std::string(1, '\0') + "\\*", destination, flags);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(Fault::badFileName, failure.fault);
  }
  EXPECT_THROW(desktop.shellCopy(from, destination + std::string(1, '\0') + "x", flags), Failure);
  EXPECT_EQ("alpha 2", fileText(destination + "a.txt"));
}

}  // namespace
}  // namespace vesk
