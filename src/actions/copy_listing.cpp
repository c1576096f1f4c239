#include "actions/copy_listing.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

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

/// The tree's files by their path, for the lines of the listing.
class TreeFiles {
 public:
  TreeFiles(Trees& trees, const SourceTree& tree) : trees_(trees), tree_(tree) {
    for (size_t index = 0; index < tree.folders.size(); ++index) folders_.push_back(index);
    std::sort(folders_.begin(), folders_.end(), [this](size_t a, size_t b) {
      return trees_.compareNames(tree_.folders[a].relative, tree_.folders[b].relative) < 0;
    });
  }

  /// The folder and the place among its entries of the file at relative (ASCII); nothing when
  /// the tree holds no file there.
  std::optional<std::pair<size_t, size_t>> find(const std::string& relative) {
    const size_t cut = relative.find_last_of('\\');
    const std::u16string folderPath(relative.begin(),
                                    relative.begin() + (cut == std::string::npos ? 0 : cut));
    const std::u16string name(relative.begin() + (cut == std::string::npos ? 0 : cut + 1),
                              relative.end());
    auto folder =
        std::lower_bound(folders_.begin(), folders_.end(), folderPath,
                         [this](size_t index, const std::u16string& wanted) {
                           return trees_.compareNames(tree_.folders[index].relative, wanted) < 0;
                         });
    if (folder == folders_.end() ||
        trees_.compareNames(tree_.folders[*folder].relative, folderPath) != 0)
      return std::nullopt;
    const std::vector<TreeEntry>& entries = tree_.folders[*folder].entries;
    const std::vector<size_t>& order = entriesInOrder(*folder);
    auto at = std::lower_bound(order.begin(), order.end(), name,
                               [&](size_t index, const std::u16string& wanted) {
                                 return trees_.compareNames(entries[index].entry.name, wanted) < 0;
                               });
    if (at == order.end() || entries[*at].entry.isFolder ||
        trees_.compareNames(entries[*at].entry.name, name) != 0)
      return std::nullopt;
    return std::pair{*folder, *at};
  }

 private:
  /// The places of a folder's entries in the order of their names, sorted when first asked.
  const std::vector<size_t>& entriesInOrder(size_t folder) {
    auto [it, added] = entryOrders_.try_emplace(folder);
    if (added) {
      const std::vector<TreeEntry>& entries = tree_.folders[folder].entries;
      for (size_t at = 0; at < entries.size(); ++at) it->second.push_back(at);
      std::sort(it->second.begin(), it->second.end(), [&](size_t a, size_t b) {
        return trees_.compareNames(entries[a].entry.name, entries[b].entry.name) < 0;
      });
    }
    return it->second;
  }

  Trees& trees_;
  const SourceTree& tree_;
  std::vector<size_t> folders_;  // indices into tree.folders, in the order of their paths
  std::map<size_t, std::vector<size_t>> entryOrders_;
};

}  // namespace

std::optional<uint64_t> xcopyCountIn(std::string_view listing) {
  std::string_view last;
  forEachLine(listing, [&](std::string_view line) {
    line.remove_suffix(line.size() - (line.find_last_not_of(" \t") + 1));
    if (!line.empty()) last = line;
  });
  return countIn(last);
}

bool markCopiedFiles(EarlyListing& early, Trees& trees, const SourceTree& tree,
                     std::string_view listing, const std::vector<std::string>& sources) {
  // A listing cut off ends without its line end.
  if (!early.complete || listing.empty() || listing.back() != '\n') return false;
  const std::optional<uint64_t> count = xcopyCountIn(listing);
  if (!count) return false;
  std::vector<std::string> prefixes;
  for (const std::string& source : sources)
    if (!source.empty()) prefixes.push_back(source.back() == '\\' ? source : source + '\\');

  // The count's own line holds no backslash and so begins with no source path.
  std::optional<TreeFiles> files;
  uint64_t named = 0;
  bool reliable = true;
  forEachLine(listing, [&](std::string_view line) {
    if (!reliable) return;
    std::optional<std::string_view> relative = belowSource(line, prefixes);
    if (!relative) return;  // a message of xcopy's own
    if (!isAscii(*relative)) {
      reliable = false;
      return;
    }
    if (!files) files.emplace(trees, tree);
    std::optional<std::pair<size_t, size_t>> file = files->find(std::string(*relative));
    if (!file || !early.folders[file->first]) {
      reliable = false;
      return;
    }
    (*early.folders[file->first])[file->second] = EarlyLook::written;
    ++named;
  });
  return reliable && named == *count;
}

}  // namespace vesk
