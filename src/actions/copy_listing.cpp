#include "actions/copy_listing.h"

#include <algorithm>
#include <cctype>

namespace vesk {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

/// Calls visit(line) for each line of text that is not empty, without its line end. The lines
/// are views into text: a listing of a whole tree is never copied line by line.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) visit(line);
    start = end + 1;
  }
}

/// What line names below one of the prefixes (source paths ending in a backslash), or nothing
/// when it begins with none. A character of the source beyond ASCII stands for any such byte of
/// the line: xcopy writes it in the console's code page, one byte for one in the single-byte
/// code pages.
std::optional<std::string_view> belowSource(std::string_view line,
                                            const std::vector<std::string>& prefixes) {
  for (const std::string& prefix : prefixes) {
    if (line.size() <= prefix.size()) continue;
    bool matches = true;
    for (size_t at = 0; at < prefix.size() && matches; ++at) {
      const auto wanted = static_cast<unsigned char>(prefix[at]);
      const auto found = static_cast<unsigned char>(line[at]);
      matches = wanted >= 0x80 ? found >= 0x80 : std::tolower(wanted) == std::tolower(found);
    }
    if (matches) return line.substr(prefix.size());
  }
  return std::nullopt;
}

/// The count of the listing's last line: digits, a blank and words with no path in them
/// ("File(s) copied", "Datei(en) kopiert"). A file's own line, with which a listing cut off
/// ends, holds a path.
std::optional<uint64_t> countIn(std::string_view line) {
  size_t digits = 0;
  while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
  if (digits == 0 || digits > 19 || digits == line.size() || line[digits] != ' ' ||
      line.find_first_of(".:\\") != std::string::npos)
    return std::nullopt;
  return std::stoull(std::string(line.substr(0, digits)));
}

}  // namespace

std::optional<uint64_t> xcopyCountIn(std::string_view listing) {
  std::string_view last;
  forEachLine(listing, [&](std::string_view line) {
    line.remove_suffix(line.size() - (line.find_last_not_of(" \t") + 1));
    if (!line.empty()) last = line;
  });
  return countIn(last);
}

bool forEachCopiedFile(std::string_view listing, const std::vector<std::string>& sources,
                       const std::function<bool(std::string_view relative)>& visit) {
  // A listing cut off ends without its line end.
  if (listing.empty() || listing.back() != '\n') return false;
  const std::optional<uint64_t> count = xcopyCountIn(listing);
  if (!count) return false;
  std::vector<std::string> prefixes;
  for (const std::string& source : sources)
    if (!source.empty()) prefixes.push_back(source.back() == '\\' ? source : source + '\\');

  // The count's own line holds no backslash and so begins with no source path.
  uint64_t named = 0;
  bool reliable = true;
  forEachLine(listing, [&](std::string_view line) {
    if (!reliable) return;
    std::optional<std::string_view> relative = belowSource(line, prefixes);
    if (!relative) return;  // a message of xcopy's own
    reliable = isAscii(*relative) && visit(*relative);
    ++named;
  });
  return reliable && named == *count;
}

}  // namespace vesk
