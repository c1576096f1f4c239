#include "config/registry_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/failure.h"

namespace vesk {
namespace {

const char* const keyPath = "SOFTWARE\\Vendor\\Client\\80\\Tools\\ClientSetup";
const std::string fullKeyPath = std::string("HKLM\\") + keyPath;

RegistryValue read(FakePlatform& platform, const std::string& name = "SQLPath") {
  return readRegistryValue(platform, RegistryRoot::localMachine, keyPath, name);
}

std::string bytesOf(const RegistryValue& value) {
  return std::string(value.bytes.begin(), value.bytes.end());
}

TEST(ReadRegistryValue, TextTypes) {
  const std::string big1025 = std::string(1024, 'x') + '\0';
  const struct {
    const char* name;
    uint32_t type;
    std::string data;
    std::string expected;
    int queries;
  } cases[] = {
      {"sz with NUL", 1, std::string("C:\\Program Files\\Client\\Tools\\") + '\0',
       "C:\\Program Files\\Client\\Tools\\", 1},
      {"sz without NUL keeps its last character", 1, "C:\\Tools", "C:\\Tools", 1},
      {"sz with extra NULs drops one", 1, std::string("ab\0\0\0", 5), std::string("ab\0\0", 4), 1},
      {"sz NULs inside stay", 1, std::string("a\0b\0", 4), std::string("a\0b", 3), 1},
      {"sz of size 0", 1, "", "", 1},
      {"sz of one NUL", 1, std::string(1, '\0'), "", 1},
      {"expand sz not expanded", 2, std::string("%SystemRoot%\\x") + '\0', "%SystemRoot%\\x", 1},
      {"multi sz", 7, std::string("a\0b\0\0", 5), std::string("a\0b", 3), 1},
      {"multi sz with one NUL", 7, std::string("ab\0", 3), "ab", 1},
      {"multi sz without NULs", 7, "ab", "ab", 1},
      {"multi sz of size 0", 7, "", "", 1},
      {"multi sz keeps a third NUL", 7, std::string("a\0\0\0", 4), std::string("a\0", 2), 1},
      {"1024 bytes in one read", 1, std::string(1023, 'y') + '\0', std::string(1023, 'y'), 1},
      {"1024 bytes without NUL", 1, std::string(1024, 'y'), std::string(1024, 'y'), 1},
      {"1025 bytes in two reads", 1, big1025, std::string(1024, 'x'), 2},
      {"multi sz of 3000 bytes", 7, std::string(2998, 'm') + std::string(2, '\0'),
       std::string(2998, 'm'), 2},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.setRegistryValue(fullKeyPath, "SQLPath", c.type, c.data);
    RegistryValue value = read(platform);
    EXPECT_EQ(RegistryValue::Kind::text, value.kind) << c.name;
    EXPECT_EQ(c.expected, value.text) << c.name;
    EXPECT_EQ(c.expected, value.asText()) << c.name;
    EXPECT_EQ(c.queries, platform.registryQueries) << c.name;
    EXPECT_EQ(0, platform.openRegistryKeys) << c.name;
  }
}

TEST(ReadRegistryValue, Integer) {
  const struct {
    std::string data;
    int32_t expected;
    const char* text;
  } cases[] = {
      {std::string("\x01\0\0\0", 4), 1, "1"},
      {std::string("\x34\x12\0\0", 4), 0x1234, "4660"},
      {"\xff\xff\xff\xff", -1, "-1"},
      {std::string("\0\0\0\x80", 4), INT32_MIN, "-2147483648"},
      {"\x05", 5, "5"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.setRegistryValue(fullKeyPath, "SQLPath", 4, c.data);
    RegistryValue value = read(platform);
    EXPECT_EQ(RegistryValue::Kind::integer, value.kind);
    EXPECT_EQ(c.expected, value.integer);
    EXPECT_EQ(c.text, value.asText());
    EXPECT_EQ(0, platform.openRegistryKeys);
  }
}

TEST(ReadRegistryValue, Bytes) {
  std::string ten("0123456789");
  std::string big(2000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  const struct {
    std::string data;
    int queries;
  } cases[] = {{ten, 1}, {"", 1}, {std::string(1024, 'b'), 1}, {big, 2}};
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.setRegistryValue(fullKeyPath, "SQLPath", 3, c.data);
    RegistryValue value = read(platform);
    EXPECT_EQ(RegistryValue::Kind::bytes, value.kind);
    EXPECT_EQ(c.data.size(), value.bytes.size());
    EXPECT_EQ(c.data, bytesOf(value));
    EXPECT_EQ(c.data, value.asText());
    EXPECT_EQ(c.queries, platform.registryQueries);
    EXPECT_EQ(0, platform.openRegistryKeys);
  }
}

TEST(ReadRegistryValue, MissingKeyGivesDefaultOrEmpty) {
  FakePlatform platform;
  RegistryValue value = read(platform);
  EXPECT_EQ(RegistryValue::Kind::empty, value.kind);
  EXPECT_EQ("", value.asText());

  RegistryValue fallback;
  fallback.kind = RegistryValue::Kind::text;
  fallback.text = "C:\\Fallback";
  value = readRegistryValue(platform, RegistryRoot::localMachine, keyPath, "SQLPath", fallback);
  EXPECT_EQ(RegistryValue::Kind::text, value.kind);
  EXPECT_EQ("C:\\Fallback", value.text);

  platform.setRegistryValue("HKCU\\" + std::string(keyPath), "SQLPath", 1, "C:\\x");
  EXPECT_EQ(RegistryValue::Kind::empty, read(platform).kind) << "only below the root key given";
  EXPECT_EQ(0, platform.registryQueries);
  EXPECT_EQ(0, platform.openRegistryKeys);
}

TEST(ReadRegistryValue, UnsupportedTypeOrMissingValueFailsWithKeyClosed) {
  const struct {
    const char* name;
    uint32_t type;
    std::string data;
  } cases[] = {
      {"REG_NONE", 0, "x"},          {"type 5", 5, "\0\0\0\x01"},
      {"type 6", 6, "link"},         {"type 8", 8, "x"},
      {"type 11", 11, "12345678"},   {"large type 11", 11, std::string(3000, 'q')},
      {"missing value", 1, "C:\\x"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.setRegistryValue(
        fullKeyPath, std::string(c.name) == "missing value" ? "Other" : "SQLPath", c.type, c.data);
    try {
      read(platform);
      ADD_FAILURE() << "no failure: " << c.name;
    } catch (const Failure& f) {
      EXPECT_EQ(Fault::unsupportedValueType, f.fault) << c.name;
    }
    EXPECT_EQ(0, platform.openRegistryKeys) << c.name;
  }
}

TEST(ReadRegistryValue, ThirtyTwoBitViewFirstThenSixtyFourBit) {
  const std::string view32 = "HKLM\\SOFTWARE\\Wow6432Node\\Vendor\\Client\\80\\Tools\\ClientSetup";
  struct Value {
    const char* name;
    uint32_t type;
    const char* data;
  };
  const struct {
    const char* name;
    std::vector<Value> in32, in64;  // a view with an empty list has the key alone
    bool key32, key64;
    const char* expected;  // nullptr: failure 1001
  } cases[] = {
      {"32-bit view only", {{"SQLPath", 1, "C:\\Only32"}}, {}, true, false, "C:\\Only32"},
      {"64-bit view only", {}, {{"SQLPath", 1, "C:\\Only64"}}, false, true, "C:\\Only64"},
      {"both: the 32-bit one",
       {{"SQLPath", 1, "C:\\T32"}},
       {{"SQLPath", 1, "C:\\T64"}},
       true,
       true,
       "C:\\T32"},
      {"32-bit key without the value",
       {{"Other", 1, "x"}},
       {{"SQLPath", 1, "C:\\T64"}},
       true,
       true,
       "C:\\T64"},
      {"no value in either key", {{"Other", 1, "x"}}, {}, true, true, nullptr},
      {"32-bit key alone without the value", {}, {}, true, false, nullptr},
      {"unsupported type in the 32-bit view",
       {{"SQLPath", 11, "12345678"}},
       {{"SQLPath", 1, "C:\\T64"}},
       true,
       true,
       nullptr},
      {"no key at all", {}, {}, false, false, ""},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    if (c.key32) platform.registry[view32];
    if (c.key64) platform.registry[fullKeyPath];
    for (const Value& v : c.in32) platform.setRegistryValue(view32, v.name, v.type, v.data);
    for (const Value& v : c.in64) platform.setRegistryValue(fullKeyPath, v.name, v.type, v.data);
    try {
      RegistryValue value = read(platform);
      EXPECT_NE(nullptr, c.expected) << c.name << ": no failure";
      if (c.expected) {
        EXPECT_EQ(c.expected, value.asText()) << c.name;
      }
    } catch (const Failure& f) {
      EXPECT_EQ(nullptr, c.expected) << c.name;
      EXPECT_EQ(Fault::unsupportedValueType, f.fault) << c.name;
    }
    EXPECT_EQ(0, platform.openRegistryKeys) << c.name;
  }
}

/// A value that another program makes larger between the two reads.
class GrowingValuePlatform : public FakePlatform {
 public:
  RegistryRead regQueryValue(RegistryKey key, const std::string& valueName, RegistryType& type,
                             uint8_t* data, uint32_t& dataSize) override {
    RegistryRead result = FakePlatform::regQueryValue(key, valueName, type, data, dataSize);
    setRegistryValue(fullKeyPath, "SQLPath", registry.at(fullKeyPath).at("SQLPath").type,
                     std::string(5000, 'g'));
    return result;
  }
};

TEST(ReadRegistryValue, NeverReadsPastTheBuffer) {
  for (uint32_t type : {1u, 3u, 7u}) {
    GrowingValuePlatform platform;
    platform.setRegistryValue(fullKeyPath, "SQLPath", type, std::string(2000, 'a'));
    RegistryValue value = read(platform);
    EXPECT_LE(value.asText().size(), 2000u);
    EXPECT_EQ(2, platform.registryQueries);
    EXPECT_EQ(0, platform.openRegistryKeys);
  }
}

}  // namespace
}  // namespace vesk
