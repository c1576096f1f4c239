#include "actions/paths.h"

#include <gtest/gtest.h>

#include <map>

#include "fake_platform.h"
#include "platform/failure.h"

namespace vesk {
namespace {

using std::string_literals::operator""s;

TEST(StripAtNul, CutsAtTheFirstNul) {
  const struct {
    std::string text, expected;
  } cases[] = {
      {"C:\\users\\a", "C:\\users\\a"},
      {"\0abc"s, ""},
      {"C:\\users\\a" + std::string(245, '\0'), "C:\\users\\a"},
      {"a\0b\0c"s, "a"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, stripAtNul(c.text));
}

TEST(NormaliseFolderPath, EndsInExactlyOneBackslash) {
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {{"", "\\"},
               {"\\", "\\"},
               {"\\\\", "\\"},
               {"D:", "D:\\"},
               {"D:\\", "D:\\"},
               {"D:\\Backup", "D:\\Backup\\"},
               {"D:\\Backup\\\\\\", "D:\\Backup\\"},
               {"D:\\a\\\\b", "D:\\a\\\\b\\"},
               {"\\\\server\\share", "\\\\server\\share\\"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, normaliseFolderPath(c.path)) << "path: " << c.path;
}

TEST(NormaliseFolderPath, OverflowsPastSixteenBits) {
  EXPECT_NO_THROW(normaliseFolderPath(std::string(32767, 'a')));
  try {
    normaliseFolderPath(std::string(32768, 'a'));
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(Fault::overflow, f.fault);
  }
}

TEST(WindowsFolderName, AsWindowsNamesTheFolder) {
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"D:\\Backup", "D:\\Backup"},
      {"D:\\Backup ", "D:\\Backup"},
      {"D:\\Backup. .", "D:\\Backup"},
      {"D:\\Backup\\ ", "D:\\Backup\\"},
      {"D:\\Backup \\", "D:\\Backup \\"},  // not the last name: Windows keeps the blank
      {"D:\\Backup\\..", "D:\\Backup\\.."},
      {"...", "..."},
      {"\\\\?\\D:\\Backup", "D:\\Backup"},
      {"\\\\?\\D:\\", "D:\\"},
      {"\\\\?\\UNC\\nas\\share\\bk", "\\\\nas\\share\\bk"},
      {"\\\\?\\D:\\Backup \\x", "\\\\?\\D:\\Backup \\x"},  // only the long form names it
      {"\\\\?\\D:\\a\\..\\b", "\\\\?\\D:\\a\\..\\b"},
      {"\\\\?\\Volume{1}\\bk", "\\\\?\\Volume{1}\\bk"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, windowsFolderName(c.path)) << c.path;
}

struct CreateCase {
  const char* path;
  std::vector<std::string> existing;
  std::vector<std::string> messages;  // the "create dir" lines, in order
  std::vector<std::string> created;
};

TEST(CreateFolderPath, CreatesEachMissingLevelAndReportsTheIntermediateOnes) {
  const CreateCase cases[] = {
      {"D:\\Backup\\Daily",
       {"D:\\"},
       {"create dirD:\\Backup"},
       {"D:\\Backup", "D:\\Backup\\Daily"}},
      {"D:\\Backup\\Daily\\",
       {"D:\\"},
       {"create dirD:\\Backup", "create dirD:\\Backup\\Daily"},
       {"D:\\Backup", "D:\\Backup\\Daily"}},
      {"D:\\Backup\\Daily", {"D:\\Backup"}, {}, {"D:\\Backup\\Daily"}},
      {"D:\\Backup", {"D:\\Backup"}, {}, {}},
      {"\\\\nas\\share\\bk\\daily",
       {"\\\\nas\\share"},
       {"create dir\\\\nas\\share\\bk"},
       {"\\\\nas\\share\\bk", "\\\\nas\\share\\bk\\daily"}},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    for (const auto& folder : c.existing) platform.disk.addFolder(folder);
    RunLog log(platform.files, platform.system, platform.desktop);
    log.open("C:\\Tools\\log");
    createFolderPath(platform.files, log, c.path);
    std::vector<std::string> messages;
    for (const auto& line : platform.disk.fileLines("C:\\Tools\\log"))
      messages.push_back(line.substr(line.find(": ") + 2));
    EXPECT_EQ(c.messages, messages) << c.path;
    EXPECT_EQ(c.created, platform.disk.foldersCreated) << c.path;
  }
}

TEST(CreateFolderPath, MissingDriveReportsItsFirstLevelThenFails) {
  FakePlatform platform;
  RunLog log(platform.files, platform.system, platform.desktop);
  log.open("C:\\Tools\\log");
  EXPECT_THROW(createFolderPath(platform.files, log, "Q:\\Data\\New"), Failure);
  ASSERT_EQ(1u, platform.disk.fileLines("C:\\Tools\\log").size());
  EXPECT_NE(std::string::npos,
            platform.disk.fileLines("C:\\Tools\\log")[0].find(": create dirQ:\\Data"));
}

TEST(DestinationInsideSource, RecognisesTheSameFolderInAnySpelling) {
  const struct {
    const char *destination, *source;
    bool inside;
  } cases[] = {
      {"C:\\App\\", "C:\\App\\", true},     {"c:\\app", "C:/App/", true},
      {"C:\\App\\Backup", "C:/App/", true}, {"C:\\Apps", "C:\\App", false},
      {"D:\\Backup\\", "C:\\App", false},   {"C:\\", "C:\\App\\", false},
      {"C:\\Backup", "C:\\", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.inside, destinationInsideSource(c.destination, c.source))
        << c.destination << " in " << c.source;
}

TEST(DbPropertiesPathOf, ExactlyOneBackslashBeforeZavo) {
  const struct {
    const char *sourceDir, *expected;
  } cases[] = {
      {"C:\\Apps\\Client\\", "C:\\Apps\\Client\\ZAVO\\db.properties"},
      {"C:\\Apps\\Client", "C:\\Apps\\Client\\ZAVO\\db.properties"},
      {"C:\\Apps\\Client\\\\", "C:\\Apps\\Client\\ZAVO\\db.properties"},
      {"C:\\", "C:\\ZAVO\\db.properties"},
      {"\\\\srv\\share\\app", "\\\\srv\\share\\app\\ZAVO\\db.properties"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, dbPropertiesPathOf(c.sourceDir)) << c.sourceDir;
}

TEST(BacksUpIntoItself, DecidesByWhatTheFoldersAre) {
  const struct {
    const char* name;
    std::string destination;
    std::map<std::string, std::string> aliases;
    bool itself;
  } cases[] = {
      {"elsewhere", "D:\\Backup", {}, false},
      {"the same text", "C:\\App\\", {}, true},
      {"\"..\" into the source", "C:\\Other\\..\\App\\bak", {}, true},
      {"\"..\" beside the source", "C:\\Other\\..\\Other\\bak", {}, false},
      {"relative to the current folder", "..\\App\\bak", {}, true},
      {"drive onto the source", "E:\\bak", {{"E:", "C:\\App"}}, true},
      {"drive onto a folder inside the source", "E:\\", {{"E:", "C:\\App\\sub"}}, true},
      {"drive onto a folder beside the source", "E:\\bak", {{"E:", "C:\\Other"}}, false},
      {"a link inside the source onto the destination",
       "D:\\Backup",
       {{"C:\\App\\link", "D:\\Backup"}},
       true},
      {"a link inside the source onto the destination's drive",
       "D:\\Backup",
       {{"C:\\App\\link", "D:\\"}},
       true},
      {"a link inside the source back onto it",
       "D:\\Backup",
       {{"C:\\App\\link", "C:\\App"}},
       false},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.disk.currentFolder = "C:\\Tools";
    for (const char* folder :
         {"C:\\App\\sub\\deeper", "C:\\App\\link", "C:\\App\\bak", "C:\\Other\\bak", "D:\\Backup"})
      platform.disk.addFolder(folder);
    platform.disk.drives.insert('E');
    platform.disk.aliases.insert(c.aliases.begin(), c.aliases.end());
    DestinationChain chain = destinationChainOf(platform, c.destination);
    SourceTree tree = walkSource(platform.trees, platform.trees.longPathOf("C:\\App\\"),
                                 platform.trees.longPathOf(c.destination), {}, &chain.names);
    EXPECT_EQ(c.itself, backsUpIntoItself(platform.files, c.destination, "C:\\App\\", tree, chain))
        << c.name;
  }
}

}  // namespace
}  // namespace vesk
