#pragma once

// Reading the registry: keys below the two root keys the run knows, in either view.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

/// Opaque registry key as openKey hands it out; never 0.
using RegistryKey = uint64_t;

/// The root keys that the registry is read below: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
enum class RegistryRoot { localMachine, currentUser };

/// Which registry a key is opened in on 64-bit Windows: the view of 32-bit programs
/// (HKLM\SOFTWARE\Wow6432Node, where 32-bit set-up programs register) or that of 64-bit ones.
/// Keys that both share, such as those below HKEY_CURRENT_USER, read alike in both.
enum class RegistryView { view32, view64 };

/// The type that a registry value is stored with: a text (REG_SZ), a text with %variables%
/// (REG_EXPAND_SZ), NUL-separated texts (REG_MULTI_SZ), a 32-bit integer (REG_DWORD), bytes
/// (REG_BINARY), or any other type.
enum class RegistryType { text, expandableText, multiText, integer, bytes, other };

/// A value as the registry stores it.
struct RegistryData {
  RegistryType type = RegistryType::other;
  std::vector<uint8_t> bytes;
};

class Registry {
 public:
  virtual ~Registry() = default;

  /// Opens a key for reading in the given view; nothing when the key is not there or cannot be
  /// opened (also for a root that is no RegistryRoot).
  virtual std::optional<RegistryKey> openKey(RegistryRoot root, const std::string& subKey,
                                             RegistryView view) = 0;
  /// The value's type and bytes; nothing when the key has no value of that name. A value that
  /// cannot be read (a name the system cannot take, access denied) has the type other and no
  /// bytes.
  virtual std::optional<RegistryData> readValue(RegistryKey key, const std::string& name) = 0;
  virtual void closeKey(RegistryKey key) noexcept = 0;
};

}  // namespace vesk
