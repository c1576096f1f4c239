// The Win32 layer: reading the registry.

#include <algorithm>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace vesk::win32 {
namespace {

constexpr DWORD firstReadSize = 1024;

HKEY toHkey(RegistryKey key) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(key)); }

RegistryType typeOf(DWORD type) {
  const struct {
    DWORD win32;
    RegistryType type;
  } types[] = {{REG_SZ, RegistryType::text},
               {REG_EXPAND_SZ, RegistryType::expandableText},
               {REG_MULTI_SZ, RegistryType::multiText},
               {REG_DWORD, RegistryType::integer},
               {REG_BINARY, RegistryType::bytes}};
  for (const auto& known : types)
    if (known.win32 == type) return known.type;
  return RegistryType::other;
}

bool leavesTypeAndSize(LONG result) { return result == ERROR_SUCCESS || result == ERROR_MORE_DATA; }

}  // namespace

std::optional<RegistryData> valueInTwoReads(const ValueQuery& query) {
  std::vector<uint8_t> buffer(firstReadSize, 0);
  DWORD type = REG_NONE;
  DWORD size = firstReadSize;
  LONG result = query(type, buffer.data(), size);
  if (result == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (!leavesTypeAndSize(result)) return RegistryData{};  // of no type that the reader takes
  if (result == ERROR_MORE_DATA) {
    // The result of the second read is not examined: the value is taken as the reads left its
    // type and size, whatever happened in between. A failed read leaves both as they were.
    buffer.assign(size, 0);
    DWORD secondType = type;
    DWORD secondSize = size;
    if (leavesTypeAndSize(query(secondType, buffer.data(), secondSize))) {
      type = secondType;
      size = secondSize;
    }
  }
  // A value that grew between the two reads reports more than the buffer holds; the data
  // never reaches past the buffer.
  buffer.resize(std::min<size_t>(size, buffer.size()));
  return RegistryData{typeOf(type), std::move(buffer)};
}

std::optional<RegistryKey> Win32Registry::openKey(RegistryRoot root, const std::string& subKey,
                                                  RegistryView view) {
  if (root != RegistryRoot::localMachine && root != RegistryRoot::currentUser) return std::nullopt;
  if (hasNul(subKey)) return std::nullopt;
  HKEY rootKey = root == RegistryRoot::localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  HKEY opened = nullptr;
  REGSAM access = KEY_READ | (view == RegistryView::view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
  if (RegOpenKeyExA(rootKey, subKey.c_str(), 0, access, &opened) != ERROR_SUCCESS)
    return std::nullopt;
  return reinterpret_cast<uintptr_t>(opened);
}

std::optional<RegistryData> Win32Registry::readValue(RegistryKey key, const std::string& name) {
  if (hasNul(name)) return RegistryData{};
  return valueInTwoReads([&](DWORD& type, BYTE* data, DWORD& size) {
    return RegQueryValueExA(toHkey(key), name.c_str(), nullptr, &type, data, &size);
  });
}

void Win32Registry::closeKey(RegistryKey key) noexcept { RegCloseKey(toHkey(key)); }

}  // namespace vesk::win32
