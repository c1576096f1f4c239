#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace vesk {

struct RegistryValue {
  enum class Kind { empty, text, integer, bytes };
  Kind kind = Kind::empty;
  std::string text;
  int32_t integer = 0;
  std::vector<uint8_t> bytes;

  /// The value taken as text: a text as it is, an integer as its decimal digits (with "-"
  /// when negative), a byte array as the text of its bytes in the ANSI code page (as a folder
  /// path stored as bytes by a set-up tool reads; callers that need a clean path cut it at its
  /// first NUL), nothing as "".
  std::string asText() const;
};

/// Reads one named value below root, in the registry's 32-bit view, or in its 64-bit view
/// where the key or the value is missing in the 32-bit one. The default (or empty) when neither
/// view has the key; failure 1001 "Unsupported value type" when no view that has the key has
/// the value, or for a value of type RegistryType::other or one that cannot be read.
RegistryValue readRegistryValue(Registry& registry, RegistryRoot root,
                                const std::string& subKeyPath, const std::string& valueName,
                                const std::optional<RegistryValue>& defaultValue = std::nullopt);

/// Reads one named value below root in the given view alone: nothing when that view lacks the
/// key or the value; failure 1001 for a value of type RegistryType::other or one that cannot be
/// read.
std::optional<RegistryValue> readRegistryValueIn(Registry& registry, RegistryRoot root,
                                                 const std::string& subKeyPath, RegistryView view,
                                                 const std::string& valueName);

}  // namespace vesk
