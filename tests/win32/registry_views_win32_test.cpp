// The registry's two views on 64-bit Windows, as reg.exe writes into them: the keys that each
// view opens, and the reader that takes the 32-bit view first.

#include <gtest/gtest.h>

#include "config/registry_value.h"
#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

const char* const viewKey = "SOFTWARE\\veskbackup-view-test";

/// Runs the system's reg.exe with arguments; its exit code.
DWORD runReg(const std::string& arguments) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  std::string program = std::string(system) + "\\reg.exe";
  std::string line = testing::inQuotes(program) + " " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started))
    return GetLastError();
  WaitForSingleObject(started.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return code;
}

class Win32RegistryViews : public ::testing::Test {
 protected:
  // As a set-up program or an administrator writes them: reg add ... /reg:32 or /reg:64.
  static void SetUpTestSuite() {
    const struct {
      const char *subKey, *name, *data, *view;
    } values[] = {
        {"only32", "SQLPath", "C:\\Only32", "32"},
        {"only64", "SQLPath", "C:\\Only64", "64"},
        {"both", "SQLPath", "C:\\Both32", "32"},
        {"both", "SQLPath", "C:\\Both64", "64"},
        {"split", "Other", "x", "32"},
        {"split", "SQLPath", "C:\\Split64", "64"},
    };
    for (const auto& v : values)
      ASSERT_EQ(0u, runReg(std::string("add HKLM\\") + viewKey + "\\" + v.subKey + " /v " + v.name +
                           " /t REG_SZ /d " + v.data + " /reg:" + v.view + " /f"))
          << v.subKey << " " << v.view;
  }
  static void TearDownTestSuite() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY software = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) ==
          ERROR_SUCCESS) {
        RegDeleteTreeA(software, "veskbackup-view-test");
        RegCloseKey(software);
      }
    }
  }

  win32::Win32Registry registry;
};

TEST_F(Win32RegistryViews, EachViewOpensItsOwnKeys) {
  const struct {
    const char* subKey;
    bool in32, in64;
  } cases[] = {{"only32", true, false}, {"only64", false, true}, {"both", true, true}};
  for (const auto& c : cases) {
    for (RegistryView view : {RegistryView::view32, RegistryView::view64}) {
      std::optional<RegistryKey> key = registry.openKey(
          RegistryRoot::localMachine, std::string(viewKey) + "\\" + c.subKey, view);
      EXPECT_EQ(view == RegistryView::view32 ? c.in32 : c.in64, key.has_value()) << c.subKey;
      if (key) registry.closeKey(*key);
    }
  }
}

TEST_F(Win32RegistryViews, ReaderTakesThe32BitViewFirst) {
  const struct {
    const char *subKey, *expected;
  } cases[] = {{"only32", "C:\\Only32"},
               {"only64", "C:\\Only64"},
               {"both", "C:\\Both32"},
               {"split", "C:\\Split64"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, readRegistryValue(registry, RegistryRoot::localMachine,
                                            std::string(viewKey) + "\\" + c.subKey, "SQLPath")
                              .asText())
        << c.subKey;
}

}  // namespace
}  // namespace vesk
