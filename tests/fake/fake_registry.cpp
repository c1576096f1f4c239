// The fakes of what the run reads of the system: the registry (keys by their path, the 32-bit
// view below HKLM\SOFTWARE in Wow6432Node as on 64-bit Windows) and the system's facts.

#include <cstdio>

#include "fake/fake_areas.h"

namespace vesk {

std::optional<RegistryKey> FakeRegistry::openKey(RegistryRoot root, const std::string& subKey,
                                                 RegistryView view) {
  std::string path = (root == RegistryRoot::localMachine ? "HKLM\\" : "HKCU\\") + subKey;
  const std::string software = "HKLM\\SOFTWARE\\";
  if (view == RegistryView::view32 && path.size() >= software.size() &&
      !PathLess{}(path.substr(0, software.size()), software) &&
      !PathLess{}(software, path.substr(0, software.size())))
    path = software + "Wow6432Node\\" + path.substr(software.size());
  if (!registry.count(path)) return std::nullopt;
  keysOpened.push_back(path);
  openKeys_.push_back(path);
  ++openRegistryKeys;
  return openKeys_.size();  // 1-based, never 0
}

std::optional<RegistryData> FakeRegistry::readValue(RegistryKey key, const std::string& name) {
  const auto& values = registry.at(openKeys_.at(key - 1));
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  const std::string& data = it->second.data;
  return RegistryData{it->second.type, std::vector<uint8_t>(data.begin(), data.end())};
}

void FakeRegistry::closeKey(RegistryKey) noexcept { --openRegistryKeys; }

void FakeRegistry::setRegistryValue(const std::string& keyPath, const std::string& name,
                                    RegistryType type, const std::string& data) {
  registry[keyPath][name] = {type, data};
}

std::string FakeSystem::shortDateText(const LocalTime& t) {
  return std::to_string(t.month) + "/" + std::to_string(t.day) + "/" + std::to_string(t.year);
}

std::string FakeSystem::longTimeText(const LocalTime& t) {
  int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, t.minute, t.second,
                t.hour < 12 ? "AM" : "PM");
  return text;
}

std::string FakeSystem::ansiFromUtf16(const std::u16string& text) {
  return fake::ansiFromUtf16(text);
}

std::u16string FakeSystem::utf16FromAnsi(const std::string& text) {
  return fake::utf16FromAnsi(text);
}

}  // namespace vesk
