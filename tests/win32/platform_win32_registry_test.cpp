// The registry functions of the Win32 layer and the registry reader over them, on values
// written with their exact bytes under HKEY_CURRENT_USER\Software\veskbackup-test, and on
// values that reg.exe writes into the 32-bit and the 64-bit view of HKEY_LOCAL_MACHINE.

#include <gtest/gtest.h>

#include "config/registry_value.h"
#include "platform/failure.h"
#include "platform/platform_win32.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

const char* const testKey = "Software\\veskbackup-test";

struct StoredValue {
  const char* name;
  DWORD type;
  std::string data;
};

/// Bytes 0, 1, 2, ... of the given length.
std::string countingBytes(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

std::string nul(const char* text) { return std::string(text) + '\0'; }

const std::vector<StoredValue>& storedValues() {
  static const std::vector<StoredValue> values = {
      {"SQLPath", REG_SZ, nul("C:\\SQLTools")},
      {"ansi", REG_SZ, nul("caf\xe9")},
      {"noNul", REG_SZ, "abc"},
      {"extraNuls", REG_SZ, std::string("ab\0\0", 4)},
      {"expand", REG_EXPAND_SZ, nul("%SystemRoot%\\bin")},
      {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
      {"one", REG_DWORD, std::string("\x01\0\0\0", 4)},
      {"minusFive", REG_DWORD, "\xfb\xff\xff\xff"},
      {"binary10", REG_BINARY, countingBytes(10)},
      {"binary2000", REG_BINARY, countingBytes(2000)},
      {"text1024", REG_SZ, std::string(1023, 'x') + '\0'},
      {"text1500", REG_SZ, std::string(1499, 'y') + '\0'},
      {"bigEndian", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x01", 4)},
      {"qword", REG_QWORD, std::string(8, '\x02')},
      {"none", REG_NONE, "zz"},
  };
  return values;
}

class Win32Registry : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HKEY key = nullptr, empty = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, testKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    for (const auto& value : storedValues()) {
      // The byte after the data is not a NUL: the registry keeps the data exactly as given,
      // without adding a terminator.
      std::string buffer = value.data + 'X';
      ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, value.name, 0, value.type,
                                              reinterpret_cast<const BYTE*>(buffer.data()),
                                              static_cast<DWORD>(value.data.size())))
          << value.name;
    }
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, "empty", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &empty, nullptr));
    RegCloseKey(empty);
    RegCloseKey(key);
  }
  static void TearDownTestSuite() { RegDeleteTreeA(HKEY_CURRENT_USER, testKey); }

  std::unique_ptr<Platform> platform = makeWin32Platform();
};

TEST_F(Win32Registry, OpenKeys) {
  const struct {
    RegistryRoot root;
    std::string subKey;
    bool opens;
  } cases[] = {
      {RegistryRoot::currentUser, testKey, true},
      {RegistryRoot::localMachine, "Software", true},
      {RegistryRoot::currentUser, std::string(testKey) + "\\empty", true},
      {RegistryRoot::currentUser, std::string(testKey) + "\\missing", false},
      {RegistryRoot::localMachine, testKey, false},
      {static_cast<RegistryRoot>(0x12345), "Software", false},
      {RegistryRoot::currentUser, std::string(testKey) + '\0' + "\\missing", false},
  };
  for (const auto& c : cases) {
    std::optional<RegistryKey> key = platform->regOpenKey(c.root, c.subKey, RegistryView::view64);
    EXPECT_EQ(c.opens, key.has_value()) << c.subKey;
    if (key) {
      EXPECT_NE(0u, *key);
      platform->regCloseKey(*key);
    }
  }
}

TEST_F(Win32Registry, QueryReportsTheSizeNeededAndLeavesAMissingValuesType) {
  std::optional<RegistryKey> opened =
      platform->regOpenKey(RegistryRoot::currentUser, testKey, RegistryView::view64);
  ASSERT_TRUE(opened);
  RegistryKey key = *opened;
  std::vector<uint8_t> buffer(1024);
  RegistryType type = RegistryType::other;
  uint32_t size = 1024;
  EXPECT_EQ(RegistryRead::ok, platform->regQueryValue(key, "text1024", type, buffer.data(), size));
  EXPECT_EQ(RegistryType::text, type);
  EXPECT_EQ(1024u, size);

  size = 1024;
  ASSERT_EQ(RegistryRead::moreData,
            platform->regQueryValue(key, "text1500", type, buffer.data(), size));
  ASSERT_GE(size, 1500u);
  buffer.assign(size, 0);
  EXPECT_EQ(RegistryRead::ok, platform->regQueryValue(key, "text1500", type, buffer.data(), size));
  EXPECT_EQ(1500u, size);

  type = RegistryType::bytes;
  size = 1024;
  EXPECT_NE(RegistryRead::ok, platform->regQueryValue(key, "missing", type, buffer.data(), size));
  EXPECT_EQ(RegistryType::bytes, type);
  platform->regCloseKey(key);
}

TEST_F(Win32Registry, ReaderConvertsEachType) {
  const struct {
    const char* name;
    RegistryValue::Kind kind;
    std::string text;
    int32_t integer;
    std::string bytes;
  } cases[] = {
      {"SQLPath", RegistryValue::Kind::text, "C:\\SQLTools", 0, ""},
      {"ansi", RegistryValue::Kind::text, "caf\xe9", 0, ""},
      {"noNul", RegistryValue::Kind::text, "abc", 0, ""},
      {"extraNuls", RegistryValue::Kind::text, std::string("ab\0", 3), 0, ""},
      {"expand", RegistryValue::Kind::text, "%SystemRoot%\\bin", 0, ""},
      {"multi", RegistryValue::Kind::text, std::string("a\0b", 3), 0, ""},
      {"one", RegistryValue::Kind::integer, "", 1, ""},
      {"minusFive", RegistryValue::Kind::integer, "", -5, ""},
      {"binary10", RegistryValue::Kind::bytes, "", 0, countingBytes(10)},
      {"binary2000", RegistryValue::Kind::bytes, "", 0, countingBytes(2000)},
      {"text1024", RegistryValue::Kind::text, std::string(1023, 'x'), 0, ""},
      {"text1500", RegistryValue::Kind::text, std::string(1499, 'y'), 0, ""},
  };
  for (const auto& c : cases) {
    RegistryValue value = readRegistryValue(*platform, RegistryRoot::currentUser, testKey, c.name);
    EXPECT_EQ(c.kind, value.kind) << c.name;
    EXPECT_EQ(c.text, value.text) << c.name;
    EXPECT_EQ(c.integer, value.integer) << c.name;
    EXPECT_EQ(c.bytes, std::string(value.bytes.begin(), value.bytes.end())) << c.name;
  }
}

TEST_F(Win32Registry, ReaderRefusesOtherTypesAndMissingValues) {
  for (const char* name : {"bigEndian", "qword", "none", "missing"}) {
    try {
      readRegistryValue(*platform, RegistryRoot::currentUser, testKey, name);
      ADD_FAILURE() << name;
    } catch (const Failure& failure) {
      EXPECT_EQ(Fault::unsupportedValueType, failure.fault) << name;
    }
  }
  EXPECT_THROW(readRegistryValue(*platform, RegistryRoot::currentUser,
                                 std::string(testKey) + "\\empty", "SQLPath"),
               Failure);
}

TEST_F(Win32Registry, ReaderGivesTheDefaultForAMissingKey) {
  std::string missing = std::string(testKey) + "\\missing";
  EXPECT_EQ(RegistryValue::Kind::empty,
            readRegistryValue(*platform, RegistryRoot::currentUser, missing, "SQLPath").kind);
  RegistryValue fallback;
  fallback.kind = RegistryValue::Kind::text;
  fallback.text = "C:\\Default";
  RegistryValue value =
      readRegistryValue(*platform, RegistryRoot::currentUser, missing, "SQLPath", fallback);
  EXPECT_EQ(RegistryValue::Kind::text, value.kind);
  EXPECT_EQ("C:\\Default", value.text);
}

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

  std::unique_ptr<Platform> platform = makeWin32Platform();
};

TEST_F(Win32RegistryViews, EachViewOpensItsOwnKeys) {
  const struct {
    const char* subKey;
    bool in32, in64;
  } cases[] = {{"only32", true, false}, {"only64", false, true}, {"both", true, true}};
  for (const auto& c : cases) {
    for (RegistryView view : {RegistryView::view32, RegistryView::view64}) {
      std::optional<RegistryKey> key = platform->regOpenKey(
          RegistryRoot::localMachine, std::string(viewKey) + "\\" + c.subKey, view);
      EXPECT_EQ(view == RegistryView::view32 ? c.in32 : c.in64, key.has_value()) << c.subKey;
      if (key) platform->regCloseKey(*key);
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
    EXPECT_EQ(c.expected, readRegistryValue(*platform, RegistryRoot::localMachine,
                                            std::string(viewKey) + "\\" + c.subKey, "SQLPath")
                              .asText())
        << c.subKey;
}

}  // namespace
}  // namespace vesk
