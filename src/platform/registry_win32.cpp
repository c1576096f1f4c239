// The Win32 layer: reading the registry.

#include "platform/win32_platform.h"

namespace vesk::win32 {
namespace {

HKEY toHkey(RegistryKey key) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(key)); }

}  // namespace

long Win32Platform::regOpenKey(uint32_t rootKey, const std::string& subKey, RegistryKey& key,
                               RegistryView view) {
  // Only the predefined root keys, HKEY_CLASSES_ROOT (0x80000000) to
  // HKEY_CURRENT_USER_LOCAL_SETTINGS (0x80000007), are accepted as roots.
  if (rootKey < 0x80000000u || rootKey > 0x80000007u) return ERROR_INVALID_HANDLE;
  if (hasNul(subKey)) return ERROR_INVALID_PARAMETER;
  // The predefined keys are 32-bit values sign-extended to the width of a handle.
  HKEY root = reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<int32_t>(rootKey)));
  HKEY opened = nullptr;
  REGSAM access = KEY_READ | (view == RegistryView::view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
  LONG result = RegOpenKeyExA(root, subKey.c_str(), 0, access, &opened);
  if (result == ERROR_SUCCESS) key = reinterpret_cast<uintptr_t>(opened);
  return result;
}

long Win32Platform::regQueryValue(RegistryKey key, const std::string& valueName, uint32_t& type,
                                  uint8_t* data, uint32_t& dataSize) {
  if (hasNul(valueName)) return ERROR_INVALID_PARAMETER;
  DWORD valueType = type;
  DWORD size = dataSize;
  LONG result = RegQueryValueExA(toHkey(key), valueName.c_str(), nullptr, &valueType, data, &size);
  // A value that is missing or cannot be read leaves type and size as the caller set them.
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    type = valueType;
    dataSize = size;
  }
  return result;
}

void Win32Platform::regCloseKey(RegistryKey key) noexcept { RegCloseKey(toHkey(key)); }

}  // namespace vesk::win32
