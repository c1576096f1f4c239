#include "actions/copy_listing.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>

#include "platform/text.h"

namespace vesk {
namespace {

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

/// What line names below one of the source paths, or nothing when it begins with none. A
/// character of the source beyond ASCII stands for any such byte of the line: xcopy writes it
/// in the console's code page, one byte for one in the single-byte code pages.
std::optional<std::string> belowSource(const std::string& line,
                                       const std::vector<std::string>& sources) {
  for (std::string prefix : sources) {
    if (prefix.empty()) continue;
    if (prefix.back() != '\\') prefix += '\\';
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
std::optional<uint64_t> countIn(const std::string& line) {
  size_t digits = 0;
  while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
  if (digits == 0 || digits > 19 || digits == line.size() || line[digits] != ' ' ||
      line.find_first_of(".:\\") != std::string::npos)
    return std::nullopt;
  return std::stoull(line.substr(0, digits));
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

std::optional<uint64_t> xcopyCountIn(const std::string& listing) {
  std::string line;
  for (std::string piece : splitAt(listing, '\n')) {
    piece.erase(piece.find_last_not_of("\r \t") + 1);
    if (!piece.empty()) line = piece;
  }
  return countIn(line);
}

bool markCopiedFiles(EarlyListing& early, Trees& trees, const SourceTree& tree,
                     const std::string& listing, const std::vector<std::string>& sources) {
  if (!early.complete) return false;
  std::vector<std::string> lines = splitAt(listing, '\n');
  // A listing cut off ends without its line end; a whole one ends with an empty piece.
  if (lines.back().empty())
    lines.pop_back();
  else
    return false;
  for (std::string& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  lines.erase(std::remove(lines.begin(), lines.end(), std::string()), lines.end());
  if (lines.empty()) return false;
  const std::optional<uint64_t> count = countIn(lines.back());
  if (!count) return false;
  lines.pop_back();

  std::optional<TreeFiles> files;
  uint64_t named = 0;
  for (const std::string& line : lines) {
    std::optional<std::string> relative = belowSource(line, sources);
    if (!relative) continue;  // a message of xcopy's own
    if (!isAscii(*relative)) return false;
    if (!files) files.emplace(trees, tree);
    std::optional<std::pair<size_t, size_t>> file = files->find(*relative);
    if (!file || !early.folders[file->first]) return false;
    (*early.folders[file->first])[file->second] = EarlyLook::written;
    ++named;
  }
  return named == *count;
}

}  // namespace vesk
