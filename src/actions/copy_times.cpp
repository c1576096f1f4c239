#include "actions/copy_times.h"

#include <cstdint>
#include <string>

#include "platform/text.h"

namespace vesk {
namespace {

// Times in 100-ns units since 1601-01-01 UTC. FAT keeps them to 2 s.
constexpr uint64_t fatStep = 20'000'000;
// FAT holds local times from 1980-01-01 to 2107-12-31; a day off each end leaves room for any
// time zone, so that a time stored is never taken for one that could not be.
constexpr int64_t fatFirst = 119'600'928'000'000'000;  // 1980-01-02
constexpr int64_t fatLast = 159'991'200'000'000'000;   // 2107-12-30

}  // namespace

TimeKeeping timeKeepingOf(const std::optional<VolumeFacts>& volume) {
  if (!volume || volume->network) return TimeKeeping::fat;
  const std::string name = lowerCase(volume->fileSystem);
  if (name == "ntfs" || name == "refs") return TimeKeeping::exact;
  return TimeKeeping::fat;
}

CopyMatch matchCopy(const FolderEntry& source, const FolderEntry& copy, TimeKeeping keeping) {
  if (copy.isFolder || source.isFolder || copy.size != source.size) return CopyMatch::different;
  if (copy.lastWriteTime == source.lastWriteTime) return CopyMatch::same;
  if (keeping == TimeKeeping::exact) return CopyMatch::different;
  // Unsigned difference: times far apart must not overflow.
  auto from = static_cast<uint64_t>(source.lastWriteTime);
  auto to = static_cast<uint64_t>(copy.lastWriteTime);
  if ((from > to ? from - to : to - from) <= fatStep) return CopyMatch::same;
  if (source.lastWriteTime < fatFirst || source.lastWriteTime > fatLast)
    return CopyMatch::contentsDecide;
  return CopyMatch::different;
}

}  // namespace vesk
