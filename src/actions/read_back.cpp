#include "actions/read_back.h"

#include <algorithm>

#include "platform/text.h"

namespace vesk {
namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// Where a path lies: the root ("c:" or "\\host\share", in lower case) and the rest; the
/// reason why it names no file where it has no such root.
struct Place {
  bool share = false;
  std::string root;
  std::string rest;
  std::string refusal;
};

Place placeOf(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  // The long forms of a drive path (\\?\C:\...) and of a share (\\?\UNC\host\share\...).
  if (lowerCase(path.substr(0, 8)) == "\\\\?\\unc\\") path = "\\\\" + path.substr(8);
  if (startsWith(path, "\\\\?\\") && path.size() >= 7 && isLetter(path[4]) && path[5] == ':' &&
      path[6] == '\\')
    path = path.substr(4);
  Place place;
  if (startsWith(path, "\\\\.\\") || startsWith(path, "\\\\?\\") || startsWith(path, "\\??\\") ||
      path == "\\\\." || path == "\\\\?") {
    place.refusal = "a device path";
  } else if (startsWith(path, "\\\\")) {
    const size_t host = path.find('\\', 2);
    const size_t share = host == std::string::npos ? host : path.find('\\', host + 1);
    if (host == std::string::npos || host == 2 || share == host + 1) {
      place.refusal = "not a full path";
      return place;
    }
    place.share = true;
    place.root = lowerCase(path.substr(0, share));
    place.rest = share == std::string::npos ? "" : path.substr(share + 1);
  } else if (path.size() >= 3 && isLetter(path[0]) && path[1] == ':' && path[2] == '\\') {
    place.root = lowerCase(path.substr(0, 2));
    place.rest = path.substr(3);
  } else {
    place.refusal = "not a full path";
  }
  return place;
}

/// True for a name that Windows takes as a device in any folder: CON, NUL, COM1, ... with or
/// without an extension, trailing blanks and dots.
bool isDeviceName(const std::string& name) {
  std::string base = lowerCase(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  constexpr const char* devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : devices)
    if (base == device) return true;
  // COM0 to COM9 and LPT0 to LPT9, and with the superscript digits of code page 1252.
  const std::string_view digits = "0123456789\xB9\xB2\xB3";
  return base.size() == 4 && (startsWith(base, "com") || startsWith(base, "lpt")) &&
         digits.find(base[3]) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> readBackRefusal(const std::string& path,
                                           const std::vector<std::string>& runPaths,
                                           const std::function<bool(char drive)>& networkDrive) {
  const Place place = placeOf(path);
  if (!place.refusal.empty()) return place.refusal;
  for (const std::string& name : splitAt(place.rest, '\\')) {
    if (name == "." || name == "..") return "not a full path";
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
      return "not a file name";
    if (name.find(':') != std::string::npos) return "a stream or device path";
    if (isDeviceName(name)) return "a device name";
  }
  auto named = [&](const std::string& root) {
    return std::any_of(runPaths.begin(), runPaths.end(),
                       [&](const std::string& run) { return placeOf(run).root == root; });
  };
  if (place.share) {
    if (named(place.root)) return std::nullopt;
    const std::string host = place.root.substr(0, place.root.find('\\', 2));
    for (const std::string& run : runPaths)
      if (const Place other = placeOf(run); other.share && startsWith(other.root, host + "\\"))
        return "a share that the command line does not name";
    return "a host that the command line does not name";
  }
  if (networkDrive(place.root[0]) && !named(place.root))
    return "a network drive that the command line does not name";
  return std::nullopt;
}

}  // namespace vesk
