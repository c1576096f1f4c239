#include "config/registry_value.h"

#include "platform/failure.h"
#include "platform/owned.h"

namespace vesk {

namespace {

/// Closes the key on every way out, also when the reader raises failure 1001.
struct KeyCloser {
  Registry& registry;
  void operator()(RegistryKey key) const noexcept { registry.closeKey(key); }
};
using OpenKey = Owned<RegistryKey, KeyCloser>;

/// The bytes as text, without up to maxNuls trailing NULs. Text values are normally stored with
/// their terminating NUL(s), but not always: only NULs are dropped, so a text stored without
/// them keeps its last character.
std::string textFrom(const std::vector<uint8_t>& bytes, int maxNuls) {
  size_t size = bytes.size();
  for (int i = 0; i < maxNuls && size > 0 && bytes[size - 1] == 0; ++i) --size;
  return std::string(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
}

/// The value of the stored data; failure 1001 for a type the reader does not take.
RegistryValue converted(const RegistryData& data) {
  RegistryValue result;
  switch (data.type) {
    case RegistryType::text:
    case RegistryType::expandableText:
    case RegistryType::multiText:
      // Multiple texts end in two NULs: one after the last text and one after the list.
      result.kind = RegistryValue::Kind::text;
      result.text = textFrom(data.bytes, data.type == RegistryType::multiText ? 2 : 1);
      break;
    case RegistryType::integer: {
      uint32_t bits = 0;
      for (size_t i = 0; i < 4 && i < data.bytes.size(); ++i)
        bits |= static_cast<uint32_t>(data.bytes[i]) << (8 * i);
      result.kind = RegistryValue::Kind::integer;
      result.integer = static_cast<int32_t>(bits);
      break;
    }
    case RegistryType::bytes:
      result.kind = RegistryValue::Kind::bytes;
      result.bytes = data.bytes;
      break;
    default:
      // RegistryType::other, also the type of a value that could not be read.
      throw Failure(Fault::unsupportedValueType);
  }
  return result;
}

}  // namespace

std::string RegistryValue::asText() const {
  switch (kind) {
    case Kind::text:
      return text;
    case Kind::integer:
      return std::to_string(integer);
    case Kind::bytes:
      return std::string(bytes.begin(), bytes.end());
    case Kind::empty:
      break;
  }
  return "";
}

RegistryValue readRegistryValue(Registry& registry, RegistryRoot root,
                                const std::string& subKeyPath, const std::string& valueName,
                                const std::optional<RegistryValue>& defaultValue) {
  // Most set-up programs of the client tools are 32-bit programs, which register in the
  // 32-bit view of the registry; a 64-bit program does not read that view unless it asks. So
  // the 32-bit view comes first, and the 64-bit view is read where the key or the value is
  // not there.
  bool keyFound = false;
  for (RegistryView view : {RegistryView::view32, RegistryView::view64}) {
    std::optional<RegistryKey> opened = registry.openKey(root, subKeyPath, view);
    if (!opened) continue;
    keyFound = true;
    OpenKey key(*opened, 0, KeyCloser{registry});
    std::optional<RegistryData> data = registry.readValue(key.get(), valueName);
    if (!data) continue;
    return converted(*data);
  }
  // A key without the value, in every view that has the key, is a value of no type.
  if (keyFound) throw Failure(Fault::unsupportedValueType);
  return defaultValue.value_or(RegistryValue{});
}

std::optional<RegistryValue> readRegistryValueIn(Registry& registry, RegistryRoot root,
                                                 const std::string& subKeyPath, RegistryView view,
                                                 const std::string& valueName) {
  std::optional<RegistryKey> opened = registry.openKey(root, subKeyPath, view);
  if (!opened) return std::nullopt;
  OpenKey key(*opened, 0, KeyCloser{registry});
  std::optional<RegistryData> data = registry.readValue(key.get(), valueName);
  if (!data) return std::nullopt;
  return converted(*data);
}

}  // namespace vesk
