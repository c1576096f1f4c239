#pragma once

// xcopy's listing, read as text: a line for each file it copied, the source path as xcopy was
// handed it followed by the file's path below it ("C:\App\bin\x.dll"), and at the end a line
// with the count ("1 File(s) copied"), each line ended by CR LF.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

/// The count that xcopy writes at the end of its listing ("12 File(s) copied", in the
/// language of the system): the number that begins its last line that is not empty, when that
/// line reads so. Nothing otherwise (a listing cut off, or none at all).
std::optional<uint64_t> xcopyCountIn(std::string_view listing);

/// Calls visit with the path below the source of each file that listing names, in order; sources
/// are the forms of the source path a line may begin with (as handed to xcopy, and in full).
/// False when the listing cannot be relied on: its last line is not that count (it was cut off,
/// or holds something else), the count is not the number of files it names, it names a file
/// beyond ASCII (xcopy writes names in the console's code page, not the one of the tree's names),
/// or visit returned false.
bool forEachCopiedFile(std::string_view listing, const std::vector<std::string>& sources,
                       const std::function<bool(std::string_view relative)>& visit);

}  // namespace vesk
