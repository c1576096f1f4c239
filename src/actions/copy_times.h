#pragma once

#include <optional>

#include "platform/trees.h"

namespace vesk {

/// How the destination's file system keeps last-write times.
enum class TimeKeeping {
  /// To 100 ns, as the copy tools set them: NTFS and ReFS on a volume of this machine.
  exact,
  /// Within 2 seconds, and only from 1980 to 2107: FAT and FAT32 (2 s), exFAT (10 ms, years as
  /// FAT's), and any volume that does not say what it is or is reached over the network, whose
  /// server may name a file system other than the one its disk has.
  fat,
};

/// What the destination's volume says of itself decides how its times are compared.
TimeKeeping timeKeepingOf(const std::optional<VolumeFacts>& volume);

/// How a copy compares with its source file.
enum class CopyMatch {
  same,       // a file of the same size, its last-write time the source's as the volume keeps it
  different,  // anything else, among it a file of another time that the volume could keep
  /// The same size, and a time that the volume cannot store for this source, whose own time
  /// lies outside what FAT holds: only the contents can tell.
  contentsDecide,
};

CopyMatch matchCopy(const FolderEntry& source, const FolderEntry& copy, TimeKeeping keeping);

}  // namespace vesk
