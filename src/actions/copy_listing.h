#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/copy_check.h"
#include "actions/source_tree.h"
#include "platform/trees.h"

namespace vesk {

/// Marks in early, as EarlyLook::written, every file that xcopy's own listing names as copied,
/// so that the check looks at those copies again whatever the early listing found.
///
/// listing is what xcopy wrote: a line for each file it copied, the source path as xcopy was
/// handed it followed by the file's path below it ("C:\App\bin\x.dll"), and at the end a line
/// with the count ("1 File(s) copied"), each line ended by CR LF. sources are the forms of the
/// source path a line may begin with: as handed to xcopy, and in full.
///
/// False when the listing cannot be relied on, and the early listing then tells nothing: its last
/// line is not that count (it was cut off, or holds something else), the count is not the number
/// of files it names, or it names a file that is not one of the tree's. That includes every name
/// beyond ASCII, which xcopy writes in the console's code page, not the one of the tree's names.
bool markCopiedFiles(EarlyListing& early, Trees& trees, const SourceTree& tree,
                     std::string_view listing, const std::vector<std::string>& sources);

/// The count that xcopy writes at the end of its listing ("12 File(s) copied", in the
/// language of the system): the number that begins its last line that is not empty, when that
/// line reads so. Nothing otherwise (a listing cut off, or none at all).
std::optional<uint64_t> xcopyCountIn(std::string_view listing);

}  // namespace vesk
