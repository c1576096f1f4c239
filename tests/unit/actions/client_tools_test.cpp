#include "actions/client_tools.h"

#include <gtest/gtest.h>

#include <optional>

#include "fake_platform.h"
#include "platform/failure.h"

namespace vesk {
namespace {

using namespace std::string_literals;

std::string key(const std::string& version, bool view32 = false) {
  return "HKLM\\SOFTWARE\\"s + (view32 ? "Wow6432Node\\" : "") +
         "Microsoft\\Microsoft SQL Server\\" + version + "\\Tools\\ClientSetup";
}

struct Value {
  std::string key;
  std::string name;
  std::string data;
  RegistryType type = RegistryType::text;
};

TEST(FindClientProgram, OwnKeyFirstThenLaterKeysNewestFirstInBothViews) {
  const std::string odbc =
      "C:\\Program Files\\Microsoft SQL Server\\Client SDK\\ODBC\\170\\Tools\\Binn\\";
  const struct {
    const char* name;
    ClientForm form;
    std::vector<Value> values;
    std::vector<std::string> files;
    std::optional<std::string> program;  // nothing: none found
    std::string laterKey = "";
    bool fails = false;  // failure 1001 from the own key
  } cases[] = {
      {"own key, 64-bit view",
       ClientForm::sql2005,
       {{key("90"), "SQLPath", "C:\\SQLTools"}},
       {"C:\\SQLTools\\Binn\\sqlcmd.exe"},
       "C:\\SQLTools\\Binn\\sqlcmd.exe"},
      {"own key, 32-bit view, NULs after the folder",
       ClientForm::msde,
       {{key("80", true), "SQLPath", "C:\\SQLTools\0junk"s}},
       {"C:\\SQLTools\\Binn\\OSQL.exe"},
       "C:\\SQLTools\\Binn\\OSQL.exe"},
      {"own key before a later one",
       ClientForm::sql2005,
       {{key("90"), "SQLPath", "C:\\Old"}, {key("150"), "ODBCToolsPath", odbc}},
       {"C:\\Old\\Binn\\sqlcmd.exe", odbc + "sqlcmd.exe"},
       "C:\\Old\\Binn\\sqlcmd.exe"},
      {"own key names no program: ODBCToolsPath of a later key",
       ClientForm::sql2005,
       {{key("90"), "SQLPath", "C:\\Gone"}, {key("150"), "ODBCToolsPath", odbc}},
       {odbc + "sqlcmd.exe"},
       odbc + "sqlcmd.exe",
       key("150")},
      {"no own key: SQLPath of 110 in the 32-bit view",
       ClientForm::sql2005,
       {{key("110", true), "SQLPath", "C:\\T110\\"}},
       {"C:\\T110\\Binn\\sqlcmd.exe"},
       "C:\\T110\\Binn\\sqlcmd.exe",
       key("110", true)},
      {"Path without its trailing backslash",
       ClientForm::sql2005,
       {{key("100"), "Path", "C:\\T100\\Binn"}},
       {"C:\\T100\\Binn\\sqlcmd.exe"},
       "C:\\T100\\Binn\\sqlcmd.exe",
       key("100")},
      {"newest first",
       ClientForm::sql2005,
       {{key("110"), "SQLPath", "C:\\T110"}, {key("130", true), "ODBCToolsPath", "C:\\T130\\"}},
       {"C:\\T110\\Binn\\sqlcmd.exe", "C:\\T130\\sqlcmd.exe"},
       "C:\\T130\\sqlcmd.exe",
       key("130", true)},
      {"the 64-bit view when the 32-bit one names no program",
       ClientForm::sql2005,
       {{key("150", true), "ODBCToolsPath", "C:\\x86\\"}, {key("150"), "ODBCToolsPath", odbc}},
       {odbc + "sqlcmd.exe"},
       odbc + "sqlcmd.exe",
       key("150")},
      {"a value of a type the reader does not take is passed over",
       ClientForm::sql2005,
       {{key("150"), "SQLPath", "C:\\Q", RegistryType::other}, {key("150"), "Path", "C:\\P\\"}},
       {"C:\\Q\\Binn\\sqlcmd.exe", "C:\\P\\sqlcmd.exe"},
       "C:\\P\\sqlcmd.exe",
       key("150")},
      {"OSQL.exe of version 90 tools, after the newer ones",
       ClientForm::msde,
       {{key("90"), "SQLPath", "C:\\T90"}, {key("110"), "SQLPath", "C:\\T110"}},
       {"C:\\T90\\Binn\\OSQL.exe", "C:\\T110\\Binn\\OSQL.exe"},
       "C:\\T110\\Binn\\OSQL.exe",
       key("110")},
      {"own key without SQLPath, later tools serve",
       ClientForm::sql2005,
       {{key("90"), "Other", "x"}, {key("160"), "ODBCToolsPath", odbc}},
       {odbc + "sqlcmd.exe"},
       odbc + "sqlcmd.exe",
       key("160")},
      {"own key without SQLPath and nothing later",
       ClientForm::msde,
       {{key("80"), "Other", "x"}},
       {},
       std::nullopt,
       "",
       true},
      {"no key at all", ClientForm::sql2005, {}, {"\\Binn\\sqlcmd.exe"}, std::nullopt},
      {"empty SQLPath: never the root of the current drive",
       ClientForm::sql2005,
       {{key("90"), "SQLPath", ""}},
       {"\\Binn\\sqlcmd.exe"},
       std::nullopt},
      {"a relative folder: never the current folder",
       ClientForm::sql2005,
       {{key("90"), "SQLPath", "SQLTools"}, {key("150"), "ODBCToolsPath", "Binn\\"}},
       {"SQLTools\\Binn\\sqlcmd.exe", "Binn\\sqlcmd.exe"},
       std::nullopt},
      {"sqlcmd.exe is not looked for under 80",
       ClientForm::sql2005,
       {{key("80"), "SQLPath", "C:\\T80"}},
       {"C:\\T80\\Binn\\sqlcmd.exe"},
       std::nullopt},
      {"a share",
       ClientForm::sql2005,
       {{key("120"), "ODBCToolsPath", "\\\\srv\\tools\\"}},
       {"\\\\srv\\tools\\sqlcmd.exe"},
       "\\\\srv\\tools\\sqlcmd.exe",
       key("120")},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    for (const Value& v : c.values)
      platform.registry.setRegistryValue(v.key, v.name, v.type, v.data);
    for (const std::string& file : c.files) platform.disk.addFile(file, "");
    try {
      std::optional<ClientProgram> found =
          findClientProgram(platform.registry, platform.files, c.form);
      EXPECT_FALSE(c.fails) << c.name;
      EXPECT_EQ(c.program, found ? std::optional(found->path) : std::nullopt) << c.name;
      if (found) {
        EXPECT_EQ(c.laterKey, found->laterKey) << c.name;
      }
    } catch (const Failure& failure) {
      EXPECT_TRUE(c.fails) << c.name;
      EXPECT_EQ(Fault::unsupportedValueType, failure.fault) << c.name;
    }
    EXPECT_EQ(0, platform.registry.openRegistryKeys) << c.name << ": every key closed";
  }
}

}  // namespace
}  // namespace vesk
