#include "actions/copy_times.h"

#include <gtest/gtest.h>

#include <climits>

namespace vesk {
namespace {

constexpr int64_t sourceTime = 133'000'000'000'000'000;  // in 2022
constexpr int64_t second = 10'000'000;
constexpr int64_t year1601 = 864'000'000'000;          // 1601-01-02
constexpr int64_t year1980 = 119'600'064'000'000'000;  // 1980-01-01
constexpr int64_t year2107 = 159'992'927'980'000'000;  // 2107-12-31 23:59:58
constexpr int64_t year2200 = 189'025'920'000'000'000;  // 2200-01-01

TEST(TimeKeepingOf, ExactOnlyOnALocalNtfsOrRefsVolume) {
  const struct {
    std::optional<VolumeFacts> volume;
    TimeKeeping keeping;
  } cases[] = {
      {VolumeFacts{"NTFS", false}, TimeKeeping::exact},
      {VolumeFacts{"refs", false}, TimeKeeping::exact},
      {VolumeFacts{"NTFS", true}, TimeKeeping::fat},
      {VolumeFacts{"FAT32", false}, TimeKeeping::fat},
      {VolumeFacts{"exFAT", false}, TimeKeeping::fat},
      {VolumeFacts{"", false}, TimeKeeping::fat},
      {std::nullopt, TimeKeeping::fat},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.keeping, timeKeepingOf(c.volume)) << (c.volume ? c.volume->fileSystem : "none");
}

TEST(MatchCopy, TheSameSizeAndTimeAsTheDestinationKeepsIt) {
  const struct {
    const char* name;
    TimeKeeping keeping;
    int64_t source, copy;
    CopyMatch match;
    uint64_t copySize = 5;
  } cases[] = {
      {"the same time", TimeKeeping::exact, sourceTime, sourceTime, CopyMatch::same},
      {"100 ns later (a torn copy)", TimeKeeping::exact, sourceTime, sourceTime + 1,
       CopyMatch::different},
      {"another size", TimeKeeping::exact, sourceTime, sourceTime, CopyMatch::different, 4},
      {"FAT, 2 s later", TimeKeeping::fat, sourceTime, sourceTime + 2 * second, CopyMatch::same},
      {"FAT, 2 s and 100 ns earlier", TimeKeeping::fat, sourceTime, sourceTime - 2 * second - 1,
       CopyMatch::different},
      {"FAT, times far apart", TimeKeeping::fat, sourceTime, INT64_MIN, CopyMatch::different},
      {"FAT, another time it could keep", TimeKeeping::fat, sourceTime, sourceTime + 3600 * second,
       CopyMatch::different},
      {"FAT, 1601 kept as 1980", TimeKeeping::fat, year1601, year1980, CopyMatch::contentsDecide},
      {"FAT, 2200 kept as 2107", TimeKeeping::fat, year2200, year2107, CopyMatch::contentsDecide},
      {"exact, 1601 kept as 1980", TimeKeeping::exact, year1601, year1980, CopyMatch::different},
  };
  for (const auto& c : cases) {
    const FolderEntry source{u"f", false, false, 5, c.source};
    const FolderEntry copy{u"f", false, false, c.copySize, c.copy};
    EXPECT_EQ(c.match, matchCopy(source, copy, c.keeping)) << c.name;
  }
  EXPECT_EQ(CopyMatch::different, matchCopy({u"f", true}, {u"f", true}, TimeKeeping::exact));
}

}  // namespace
}  // namespace vesk
