#pragma once

// The fake of the registry: keys by their path, values as their type and bytes.

#include <map>
#include <string>
#include <vector>

#include "fake/fake_file_system.h"
#include "platform/registry.h"

namespace vesk {

struct FakeRegistryValue {
  RegistryType type = RegistryType::text;
  std::string data;  // raw bytes
};

class FakeRegistry : public Registry {
 public:
  /// Below HKLM\SOFTWARE the 32-bit view reads HKLM\SOFTWARE\Wow6432Node; other keys are
  /// shared by both views.
  std::optional<RegistryKey> openKey(RegistryRoot root, const std::string& subKey,
                                     RegistryView view) override;
  std::optional<RegistryData> readValue(RegistryKey key, const std::string& name) override;
  void closeKey(RegistryKey key) noexcept override;

  void setRegistryValue(const std::string& keyPath, const std::string& name, RegistryType type,
                        const std::string& data);

  /// Keys by their path from "HKLM\" or "HKCU\"; a value that cannot be read is one of the type
  /// other without bytes, as the platform gives it.
  PathMap<std::map<std::string, FakeRegistryValue>> keys;
  std::vector<std::string> keysOpened;  // their paths, in order
  int openRegistryKeys = 0;

 private:
  std::vector<std::string> openKeys_;
};

}  // namespace vesk
