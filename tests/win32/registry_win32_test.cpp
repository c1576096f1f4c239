// The registry functions of the Win32 layer and the registry reader over them, on values
// written with their exact bytes under HKEY_CURRENT_USER\Software\veskbackup-test; and the
// sequence of reads that a value takes, on reads that a table scripts.

#include <gtest/gtest.h>

#include "config/registry_value.h"
#include "platform/failure.h"
#include "platform/win32/win32_platform.h"
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

  win32::Win32Registry registry;
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
    std::optional<RegistryKey> key = registry.openKey(c.root, c.subKey, RegistryView::view64);
    EXPECT_EQ(c.opens, key.has_value()) << c.subKey;
    if (key) {
      EXPECT_NE(0u, *key);
      registry.closeKey(*key);
    }
  }
}

TEST_F(Win32Registry, ReadValueGivesTheStoredTypeAndBytes) {
  std::optional<RegistryKey> key =
      registry.openKey(RegistryRoot::currentUser, testKey, RegistryView::view64);
  ASSERT_TRUE(key);
  const struct {
    const char* name;
    RegistryType type;
    std::string bytes;
  } cases[] = {
      {"SQLPath", RegistryType::text, nul("C:\\SQLTools")},
      {"expand", RegistryType::expandableText, nul("%SystemRoot%\\bin")},
      {"multi", RegistryType::multiText, std::string("a\0b\0\0", 5)},
      {"one", RegistryType::integer, std::string("\x01\0\0\0", 4)},
      {"binary10", RegistryType::bytes, countingBytes(10)},
      {"text1024", RegistryType::text, std::string(1023, 'x') + '\0'},  // one read's worth
      {"text1500", RegistryType::text, std::string(1499, 'y') + '\0'},  // a second read's
      {"binary2000", RegistryType::bytes, countingBytes(2000)},
      {"bigEndian", RegistryType::other, std::string("\0\0\0\x01", 4)},
      {"qword", RegistryType::other, std::string(8, '\x02')},
  };
  for (const auto& c : cases) {
    std::optional<RegistryData> data = registry.readValue(*key, c.name);
    ASSERT_TRUE(data.has_value()) << c.name;
    EXPECT_EQ(c.type, data->type) << c.name;
    EXPECT_EQ(c.bytes, std::string(data->bytes.begin(), data->bytes.end())) << c.name;
  }
  EXPECT_FALSE(registry.readValue(*key, "missing").has_value());
  std::optional<RegistryData> nulName = registry.readValue(*key, std::string("SQLPath\0x", 9));
  ASSERT_TRUE(nulName.has_value()) << "a name the system cannot take is no missing value";
  EXPECT_EQ(RegistryType::other, nulName->type);
  EXPECT_TRUE(nulName->bytes.empty());
  registry.closeKey(*key);
}

TEST(ValueInTwoReads, ReadsOnceIntoTheFirstBufferThenIntoTheSizeReported) {
  /// One scripted RegQueryValueExA: its result, and the type and size it leaves.
  struct Read {
    LONG result;
    DWORD type;
    DWORD size;
  };
  const struct {
    const char* name;
    std::vector<Read> reads;
    std::vector<DWORD> offered;  // the buffer sizes that the reads are given
    bool present;
    RegistryType type;
    size_t size;
  } cases[] = {
      {"fits the first read", {{ERROR_SUCCESS, REG_SZ, 11}}, {1024}, true, RegistryType::text, 11},
      {"fills the first read",
       {{ERROR_SUCCESS, REG_BINARY, 1024}},
       {1024},
       true,
       RegistryType::bytes,
       1024},
      {"larger: a second read of the size reported",
       {{ERROR_MORE_DATA, REG_SZ, 1500}, {ERROR_SUCCESS, REG_SZ, 1500}},
       {1024, 1500},
       true,
       RegistryType::text,
       1500},
      {"grew between the reads: no byte beyond the buffer",
       {{ERROR_MORE_DATA, REG_SZ, 1500}, {ERROR_MORE_DATA, REG_SZ, 5000}},
       {1024, 1500},
       true,
       RegistryType::text,
       1500},
      {"changed type between the reads",
       {{ERROR_MORE_DATA, REG_SZ, 1500}, {ERROR_SUCCESS, REG_BINARY, 1200}},
       {1024, 1500},
       true,
       RegistryType::bytes,
       1200},
      {"removed between the reads: taken as the first read left it",
       {{ERROR_MORE_DATA, REG_MULTI_SZ, 1500}, {ERROR_FILE_NOT_FOUND, REG_NONE, 0}},
       {1024, 1500},
       true,
       RegistryType::multiText,
       1500},
      {"not there", {{ERROR_FILE_NOT_FOUND, REG_NONE, 0}}, {1024}, false, RegistryType::other, 0},
      {"not readable", {{ERROR_ACCESS_DENIED, REG_SZ, 10}}, {1024}, true, RegistryType::other, 0},
  };
  for (const auto& c : cases) {
    std::vector<DWORD> offered;
    size_t next = 0;
    std::optional<RegistryData> data =
        win32::valueInTwoReads([&](DWORD& type, BYTE* bytes, DWORD& size) -> LONG {
          offered.push_back(size);
          const Read& read = c.reads.at(next++);
          if (read.result == ERROR_SUCCESS)
            for (DWORD i = 0; i < std::min(read.size, size); ++i) bytes[i] = 'v';
          if (read.result == ERROR_SUCCESS || read.result == ERROR_MORE_DATA) {
            type = read.type;
            size = read.size;
          }
          return read.result;
        });
    EXPECT_EQ(c.offered, offered) << c.name;
    EXPECT_EQ(c.present, data.has_value()) << c.name;
    if (!data) continue;
    EXPECT_EQ(c.type, data->type) << c.name;
    EXPECT_EQ(c.size, data->bytes.size()) << c.name;
  }
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
    RegistryValue value = readRegistryValue(registry, RegistryRoot::currentUser, testKey, c.name);
    EXPECT_EQ(c.kind, value.kind) << c.name;
    EXPECT_EQ(c.text, value.text) << c.name;
    EXPECT_EQ(c.integer, value.integer) << c.name;
    EXPECT_EQ(c.bytes, std::string(value.bytes.begin(), value.bytes.end())) << c.name;
  }
}

TEST_F(Win32Registry, ReaderRefusesOtherTypesAndMissingValues) {
  for (const char* name : {"bigEndian", "qword", "none", "missing"}) {
    try {
      readRegistryValue(registry, RegistryRoot::currentUser, testKey, name);
      ADD_FAILURE() << name;
    } catch (const Failure& failure) {
      EXPECT_EQ(Fault::unsupportedValueType, failure.fault) << name;
    }
  }
  EXPECT_THROW(readRegistryValue(registry, RegistryRoot::currentUser,
                                 std::string(testKey) + "\\empty", "SQLPath"),
               Failure);
}

TEST_F(Win32Registry, ReaderGivesTheDefaultForAMissingKey) {
  std::string missing = std::string(testKey) + "\\missing";
  EXPECT_EQ(RegistryValue::Kind::empty,
            readRegistryValue(registry, RegistryRoot::currentUser, missing, "SQLPath").kind);
  RegistryValue fallback;
  fallback.kind = RegistryValue::Kind::text;
  fallback.text = "C:\\Default";
  RegistryValue value =
      readRegistryValue(registry, RegistryRoot::currentUser, missing, "SQLPath", fallback);
  EXPECT_EQ(RegistryValue::Kind::text, value.kind);
  EXPECT_EQ("C:\\Default", value.text);
}

}  // namespace
}  // namespace vesk
