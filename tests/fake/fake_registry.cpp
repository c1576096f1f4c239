// The fake of the registry: keys by their path, the 32-bit view below HKLM\SOFTWARE in
// Wow6432Node as on 64-bit Windows.

#include "fake/fake_registry.h"

namespace vesk {

std::optional<RegistryKey> FakeRegistry::openKey(RegistryRoot root, const std::string& subKey,
                                                 RegistryView view) {
  std::string path = (root == RegistryRoot::localMachine ? "HKLM\\" : "HKCU\\") + subKey;
  const std::string software = "HKLM\\SOFTWARE\\";
  if (view == RegistryView::view32 && path.size() >= software.size() &&
      !PathLess{}(path.substr(0, software.size()), software) &&
      !PathLess{}(software, path.substr(0, software.size())))
    path = software + "Wow6432Node\\" + path.substr(software.size());
  if (!keys.count(path)) return std::nullopt;
  keysOpened.push_back(path);
  openKeys_.push_back(path);
  ++openRegistryKeys;
  return openKeys_.size();  // 1-based, never 0
}

std::optional<RegistryData> FakeRegistry::readValue(RegistryKey key, const std::string& name) {
  const auto& values = keys.at(openKeys_.at(key - 1));
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  const std::string& data = it->second.data;
  return RegistryData{it->second.type, std::vector<uint8_t>(data.begin(), data.end())};
}

void FakeRegistry::closeKey(RegistryKey) noexcept { --openRegistryKeys; }

void FakeRegistry::setRegistryValue(const std::string& keyPath, const std::string& name,
                                    RegistryType type, const std::string& data) {
  keys[keyPath][name] = {type, data};
}

}  // namespace vesk
