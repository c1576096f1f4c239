#pragma once

// Where the run reads back a file that an earlier run's record names: only where this program
// could have written it. The record lies in the destination, which others may write; a path
// it names could point at another computer (opened, a share is connected with the backup
// account's credentials) or at a device.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

/// The largest client output read: a backup's output is a few lines per backup file and its
/// progress messages, some KB; 4 MiB holds tens of thousands of such lines.
constexpr uint64_t maxClientOutputSize = 4 << 20;

/// Why a full path is not read back, or nothing when it may be: a path on a local drive, or
/// on a share (\\host\share) that one of runPaths (this run's log path and destination, in
/// their full form) lies on. Never a device (\\.\, a \\?\ form other than of a drive or a
/// share, CON, NUL, COM1 and the other device names in any folder), a stream ("file:name"), a
/// relative path, or a drive that networkDrive says is on the network and no run path names.
std::optional<std::string> readBackRefusal(const std::string& path,
                                           const std::vector<std::string>& runPaths,
                                           const std::function<bool(char drive)>& networkDrive);

}  // namespace vesk
