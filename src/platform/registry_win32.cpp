// The Win32 layer: reading the registry.

#include "platform/win32_platform.h"

namespace vesk::win32 {
namespace {

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

}  // namespace

std::optional<RegistryKey> Win32Platform::regOpenKey(RegistryRoot root, const std::string& subKey,
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

RegistryRead Win32Platform::regQueryValue(RegistryKey key, const std::string& valueName,
                                          RegistryType& type, uint8_t* data, uint32_t& dataSize) {
  if (hasNul(valueName)) return RegistryRead::failed;
  DWORD valueType = REG_NONE;
  DWORD size = dataSize;
  LONG result = RegQueryValueExA(toHkey(key), valueName.c_str(), nullptr, &valueType, data, &size);
  // A value that is missing or cannot be read leaves type and size as the caller set them.
  if (result == ERROR_FILE_NOT_FOUND) return RegistryRead::missing;
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return RegistryRead::failed;
  type = typeOf(valueType);
  dataSize = size;
  return result == ERROR_SUCCESS ? RegistryRead::ok : RegistryRead::moreData;
}

void Win32Platform::regCloseKey(RegistryKey key) noexcept { RegCloseKey(toHkey(key)); }

}  // namespace vesk::win32
