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
  return readRegistryValue(platform.registry, RegistryRoot::localMachine, keyPath, name);
}

std::string bytesOf(const RegistryValue& value) {
  return std::string(value.bytes.begin(), value.bytes.end());
}

TEST(ReadRegistryValue, TextTypes) {
  using Type = RegistryType;
  const struct {
    const char* name;
    RegistryType type;
    std::string data;
    std::string expected;
  } cases[] = {
      {"sz with NUL", Type::text, std::string("C:\\Program Files\\Client\\Tools\\") + '\0',
       "C:\\Program Files\\Client\\Tools\\"},
      {"sz without NUL keeps its last character", Type::text, "C:\\Tools", "C:\\Tools"},
      {"sz with extra NULs drops one", Type::text, std::string("ab\0\0\0", 5),
       std::string("ab\0\0", 4)},
      {"sz NULs inside stay", Type::text, std::string("a\0b\0", 4), std::string("a\0b", 3)},
      {"sz of size 0", Type::text, "", ""},
      {"sz of one NUL", Type::text, std::string(1, '\0'), ""},
      {"expand sz not expanded", Type::expandableText, std::string("%SystemRoot%\\x") + '\0',
       "%SystemRoot%\\x"},
      {"multi sz", Type::multiText, std::string("a\0b\0\0", 5), std::string("a\0b", 3)},
      {"multi sz with one NUL", Type::multiText, std::string("ab\0", 3), "ab"},
      {"multi sz without NULs", Type::multiText, "ab", "ab"},
      {"multi sz of size 0", Type::multiText, "", ""},
      {"multi sz keeps a third NUL", Type::multiText, std::string("a\0\0\0", 4),
       std::string("a\0", 2)},
      {"multi sz of 3000 bytes", Type::multiText, std::string(2998, 'm') + std::string(2, '\0'),
       std::string(2998, 'm')},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.registry.setRegistryValue(fullKeyPath, "SQLPath", c.type, c.data);
    RegistryValue value = read(platform);
    EXPECT_EQ(RegistryValue::Kind::text, value.kind) << c.name;
    EXPECT_EQ(c.expected, value.text) << c.name;
    EXPECT_EQ(c.expected, value.asText()) << c.name;
    EXPECT_EQ(0, platform.registry.openRegistryKeys) << c.name;
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
    platform.registry.setRegistryValue(fullKeyPath, "SQLPath", RegistryType::integer, c.data);
    RegistryValue value = read(platform);
    EXPECT_EQ(RegistryValue::Kind::integer, value.kind);
    EXPECT_EQ(c.expected, value.integer);
    EXPECT_EQ(c.text, value.asText());
    EXPECT_EQ(0, platform.registry.openRegistryKeys);
  }
}

TEST(ReadRegistryValue, Bytes) {
  std::string ten("0123456789");
  std::string big(2000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  for (const std::string& data : {ten, std::string(), std::string(1024, 'b'), big}) {
    FakePlatform platform;
    platform.registry.setRegistryValue(fullKeyPath, "SQLPath", RegistryType::bytes, data);
    RegistryValue value = read(platform);
    EXPECT_EQ(RegistryValue::Kind::bytes, value.kind);
    EXPECT_EQ(data.size(), value.bytes.size());
    EXPECT_EQ(data, bytesOf(value));
    EXPECT_EQ(data, value.asText());
    EXPECT_EQ(0, platform.registry.openRegistryKeys);
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
  value = readRegistryValue(platform.registry, RegistryRoot::localMachine, keyPath, "SQLPath",
                            fallback);
  EXPECT_EQ(RegistryValue::Kind::text, value.kind);
  EXPECT_EQ("C:\\Fallback", value.text);

  platform.registry.setRegistryValue("HKCU\\" + std::string(keyPath), "SQLPath", RegistryType::text,
                                     "C:\\x");
  EXPECT_EQ(RegistryValue::Kind::empty, read(platform).kind) << "only below the root key given";
  EXPECT_TRUE(platform.registry.keysOpened.empty());
  EXPECT_EQ(0, platform.registry.openRegistryKeys);
}

TEST(ReadRegistryValue, UnsupportedTypeOrMissingValueFailsWithKeyClosed) {
  const struct {
    const char* name;
    RegistryType type;
    std::string data;
  } cases[] = {
      {"another type", RegistryType::other, "12345678"},
      {"another type, large", RegistryType::other, std::string(3000, 'q')},
      {"a value that cannot be read", RegistryType::other, ""},
      {"missing value", RegistryType::text, "C:\\x"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.registry.setRegistryValue(
        fullKeyPath, std::string(c.name) == "missing value" ? "Other" : "SQLPath", c.type, c.data);
    try {
      read(platform);
      ADD_FAILURE() << "no failure: " << c.name;
    } catch (const Failure& f) {
      EXPECT_EQ(Fault::unsupportedValueType, f.fault) << c.name;
    }
    EXPECT_EQ(0, platform.registry.openRegistryKeys) << c.name;
  }
}

TEST(ReadRegistryValue, ThirtyTwoBitViewFirstThenSixtyFourBit) {
  const std::string view32 = "HKLM\\SOFTWARE\\Wow6432Node\\Vendor\\Client\\80\\Tools\\ClientSetup";
  struct Value {
    const char* name;
    RegistryType type;
    const char* data;
  };
  constexpr RegistryType text = RegistryType::text;
  const struct {
    const char* name;
    std::vector<Value> in32, in64;  // a view with an empty list has the key alone
    bool key32, key64;
    const char* expected;  // nullptr: failure 1001
  } cases[] = {
      {"32-bit view only", {{"SQLPath", text, "C:\\Only32"}}, {}, true, false, "C:\\Only32"},
      {"64-bit view only", {}, {{"SQLPath", text, "C:\\Only64"}}, false, true, "C:\\Only64"},
      {"both: the 32-bit one",
       {{"SQLPath", text, "C:\\T32"}},
       {{"SQLPath", text, "C:\\T64"}},
       true,
       true,
       "C:\\T32"},
      {"32-bit key without the value",
       {{"Other", text, "x"}},
       {{"SQLPath", text, "C:\\T64"}},
       true,
       true,
       "C:\\T64"},
      {"no value in either key", {{"Other", text, "x"}}, {}, true, true, nullptr},
      {"32-bit key alone without the value", {}, {}, true, false, nullptr},
      {"unsupported type in the 32-bit view",
       {{"SQLPath", RegistryType::other, "12345678"}},
       {{"SQLPath", text, "C:\\T64"}},
       true,
       true,
       nullptr},
      {"no key at all", {}, {}, false, false, ""},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    if (c.key32) platform.registry.keys[view32];
    if (c.key64) platform.registry.keys[fullKeyPath];
    for (const Value& v : c.in32)
      platform.registry.setRegistryValue(view32, v.name, v.type, v.data);
    for (const Value& v : c.in64)
      platform.registry.setRegistryValue(fullKeyPath, v.name, v.type, v.data);
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
    EXPECT_EQ(0, platform.registry.openRegistryKeys) << c.name;
  }
}

}  // namespace
}  // namespace vesk
