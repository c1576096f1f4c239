#include "config/registry_value.h"

#include <algorithm>

#include "platform/failure.h"
#include "platform/owned.h"

namespace vesk {

namespace {

constexpr uint32_t firstReadSize = 1024;

/// Closes the key on every way out, also when the platform throws; close() lets the reader
/// close it before raising its own failure.
struct KeyCloser {
  Platform& platform;
  void operator()(RegistryKey key) const noexcept { platform.regCloseKey(key); }
};
using OpenKey = Owned<RegistryKey, KeyCloser>;

/// The first size bytes of buffer as text, without up to maxNuls trailing NULs. Text values are
/// normally stored with their terminating NUL(s), but not always: only NULs are dropped, so a
/// text stored without them keeps its last character.
std::string textFrom(const std::vector<uint8_t>& buffer, size_t size, int maxNuls) {
  for (int i = 0; i < maxNuls && size > 0 && buffer[size - 1] == 0; ++i) --size;
  return std::string(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(size));
}

/// The value as the reads left buffer, size and type; closes the key, also before it raises
/// failure 1001 for a type it does not take.
RegistryValue converted(OpenKey& key, const std::vector<uint8_t>& buffer, uint32_t dataSize,
                        RegistryType type) {
  // A value that grew between the two reads reports more than the buffer holds; the data
  // never reaches past the buffer.
  size_t size = std::min<size_t>(dataSize, buffer.size());

  RegistryValue result;
  switch (type) {
    case RegistryType::text:
    case RegistryType::expandableText:
    case RegistryType::multiText:
      // Multiple texts end in two NULs: one after the last text and one after the list.
      result.kind = RegistryValue::Kind::text;
      result.text = textFrom(buffer, size, type == RegistryType::multiText ? 2 : 1);
      break;
    case RegistryType::integer: {
      uint32_t bits = 0;
      for (size_t i = 0; i < 4 && i < buffer.size(); ++i)
        bits |= static_cast<uint32_t>(buffer[i]) << (8 * i);
      result.kind = RegistryValue::Kind::integer;
      result.integer = static_cast<int32_t>(bits);
      break;
    }
    case RegistryType::bytes:
      result.kind = RegistryValue::Kind::bytes;
      result.bytes.assign(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(size));
      break;
    default:
      // RegistryType::other, also the type of a value that could not be read: a failed read
      // leaves the type as the reader set it.
      key.close();
      throw Failure(Fault::unsupportedValueType);
  }
  key.close();
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

RegistryValue readRegistryValue(Platform& platform, RegistryRoot root,
                                const std::string& subKeyPath, const std::string& valueName,
                                const std::optional<RegistryValue>& defaultValue) {
  // Most set-up programs of the client tools are 32-bit programs, which register in the
  // 32-bit view of the registry; a 64-bit program does not read that view unless it asks. So
  // the 32-bit view comes first, and the 64-bit view is read where the key or the value is
  // not there.
  bool keyFound = false;
  for (RegistryView view : {RegistryView::view32, RegistryView::view64}) {
    std::optional<RegistryKey> opened = platform.regOpenKey(root, subKeyPath, view);
    if (!opened) continue;
    keyFound = true;
    OpenKey key(*opened, 0, KeyCloser{platform});

    std::vector<uint8_t> buffer(firstReadSize, 0);
    uint32_t dataSize = firstReadSize;
    RegistryType type = RegistryType::other;
    RegistryRead read = platform.regQueryValue(key.get(), valueName, type, buffer.data(), dataSize);
    if (read == RegistryRead::missing) continue;
    if (read == RegistryRead::moreData) {
      // The result of the second read is not examined: the value is taken as the reads left
      // type and size, whatever happened in between.
      buffer.assign(dataSize, 0);
      platform.regQueryValue(key.get(), valueName, type, buffer.data(), dataSize);
    }
    return converted(key, buffer, dataSize, type);
  }
  // A key without the value, in every view that has the key, is a value of no type.
  if (keyFound) throw Failure(Fault::unsupportedValueType);
  return defaultValue.value_or(RegistryValue{});
}

}  // namespace vesk
