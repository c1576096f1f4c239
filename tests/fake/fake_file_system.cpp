// How paths name the drives, folders and files of the fake.

#include "fake/fake_file_system.h"

#include <algorithm>
#include <cctype>

#include "platform/failure.h"

namespace vesk {
namespace {

char driveLetter(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool isDriveRoot(const std::string& p) { return p.size() == 3 && p[1] == ':' && p[2] == '\\'; }
bool isShare(const std::string& p) { return p.rfind("\\\\", 0) == 0; }

/// Without trailing backslashes, except for a drive root.
std::string trimmed(std::string p) {
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  if (p.size() == 2 && p[1] == ':') p += '\\';
  return p;
}

std::string parentOf(const std::string& path) {
  std::string p = trimmed(path);
  size_t cut = p.find_last_of('\\');
  if (cut == std::string::npos) return "";
  if (cut == 2 && p[1] == ':') return p.substr(0, 3);
  return p.substr(0, cut);
}

/// True when path begins with prefix, letter case ignored.
bool startsWithPath(const std::string& path, const std::string& prefix) {
  return path.size() >= prefix.size() && !PathLess{}(path.substr(0, prefix.size()), prefix) &&
         !PathLess{}(prefix, path.substr(0, prefix.size()));
}

/// The path with its "." and ".." levels resolved, as the file system resolves them.
std::string withoutDotLevels(const std::string& path) {
  if (path.find("\\.") == std::string::npos) return path;
  std::vector<std::string> levels;
  size_t start = 0;
  for (size_t end; start <= path.size(); start = end + 1) {
    end = std::min(path.find('\\', start), path.size());
    std::string level = path.substr(start, end - start);
    if (level == "..") {
      if (levels.size() > 1) levels.pop_back();
    } else if (level != ".") {
      levels.push_back(level);
    }
  }
  std::string result;
  for (size_t i = 0; i < levels.size(); ++i) result += (i ? "\\" : "") + levels[i];
  return levels.size() == 1 ? result + "\\" : result;
}

}  // namespace

FakeFileSystem::FakeFileSystem() { folders.insert("C:\\Tools"); }

std::string FakeFileSystem::fullPathOf(const std::string& path) const {
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', '\\');
  if (p.empty() || isShare(p) || (p.size() >= 2 && p[1] == ':')) return withoutDotLevels(p);
  // Relative to the current drive (a path from its root) or to the current folder.
  std::string base = p[0] == '\\' ? currentFolder.substr(0, 2) : currentFolder;
  if (!base.empty() && base.back() == '\\' && p[0] != '\\') base.pop_back();
  return withoutDotLevels(base + (p[0] == '\\' ? "" : "\\") + p);
}

std::string FakeFileSystem::keyFrom(std::string p, bool follow) const {
  p = withoutDotLevels(p);
  for (int round = 0; follow && round < 8; ++round) {
    bool changed = false;
    for (const auto& [alias, target] : aliases) {
      if (!startsWithPath(p, alias) || (p.size() > alias.size() && p[alias.size()] != '\\'))
        continue;
      p = target + p.substr(alias.size());
      changed = true;
    }
    if (!changed) break;
  }
  return trimmed(p);
}

std::string FakeFileSystem::keyOf(const std::string& ansiPath) const {
  if (ansiPath.empty() || ansiPath.find('\0') != std::string::npos) return "";
  return keyFrom(fake::utf8FromUtf16(fake::utf16FromAnsi(fullPathOf(ansiPath))), true);
}

namespace {
/// A path of the wide calls in UTF-8, its "\\?\" prefix dropped.
std::string shortForm(const std::u16string& path) {
  std::string narrow = fake::utf8FromUtf16(path);
  if (narrow.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + narrow.substr(8);
  if (narrow.rfind("\\\\?\\", 0) == 0) return narrow.substr(4);
  return narrow;
}
}  // namespace

std::string FakeFileSystem::keyOfLong(const std::u16string& path) const {
  if (path.empty() || path.find(u'\0') != std::u16string::npos) return "";
  return keyFrom(shortForm(path), true);
}

bool FakeFileSystem::linkAtLong(const std::u16string& path) const {
  return aliases.count(keyFrom(shortForm(path), false)) > 0;
}

bool FakeFileSystem::folderAt(const std::string& key) const {
  if (key.empty()) return false;
  if (isShare(key)) return folders.count(key) > 0;
  if (key.size() < 2 || key[1] != ':' || !drives.count(driveLetter(key[0]))) return false;
  return isDriveRoot(key) || folders.count(key) > 0;
}

std::string FakeFileSystem::parentKey(const std::string& key) {
  size_t cut = key.find_last_of('\\');
  if (cut == std::string::npos) return "";
  if (cut == 2 && key[1] == ':') return key.substr(0, 3);
  return key.substr(0, cut);
}

void FakeFileSystem::createFolderAt(const std::string& key) {
  if (!isShare(key) && !(key.size() >= 2 && key[1] == ':' && drives.count(driveLetter(key[0]))))
    throw Failure(Fault::pathNotFound);
  if (folderAt(key) || files.count(key))
    throw Failure(Fault::fileAlreadyExists);  // a file of that name too
  std::string parent = parentOf(key);
  if (parent.empty() || !folderAt(parent)) throw Failure(Fault::pathNotFound);
  folders.insert(key);
  foldersCreated.push_back(key);
}

void FakeFileSystem::addFolder(const std::string& path) {
  std::string p = trimmed(path);
  drives.insert(driveLetter(p[0]));
  while (!p.empty() && !isDriveRoot(p)) {
    folders.insert(p);
    // A share is the root of a network path: "\\server" alone is no folder.
    if (isShare(p) && p.find('\\', p.find('\\', 2) + 1) == std::string::npos) break;
    p = parentOf(p);
  }
}

void FakeFileSystem::addFile(const std::string& path, const std::string& content,
                             int64_t lastWriteTime) {
  addFolder(parentOf(path));
  files[path] = {content, lastWriteTime};
}

void FakeFileSystem::remove(const std::string& path) {
  auto same = [](const std::string& a, const std::string& b) {
    return !PathLess{}(a, b) && !PathLess{}(b, a);
  };
  auto below = [&](const std::string& key) {
    return same(key, path) || (key.size() > path.size() && key[path.size()] == '\\' &&
                               same(key.substr(0, path.size()), path));
  };
  std::erase_if(files, [&](const auto& file) { return below(file.first); });
  std::erase_if(folders, below);
}

void FakeFileSystem::addLink(const std::string& link, const std::string& target) {
  addFolder(link);
  aliases[link] = target;
}

std::string FakeFileSystem::fileContent(const std::string& path) const {
  auto it = files.find(path);
  return it == files.end() ? std::string() : it->second.content;
}

std::vector<std::string> FakeFileSystem::fileLines(const std::string& path) const {
  std::vector<std::string> lines;
  std::string content = fileContent(path);
  size_t start = 0;
  for (size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(content.substr(start, end - start));
  if (start < content.size()) lines.push_back(content.substr(start));
  return lines;
}

std::vector<std::string> FakeFileSystem::copyTree(const std::string& from, const std::string& to,
                                                  const FakeCopyTool& tool) {
  std::vector<std::string> copied;
  const std::string fromKey = keyOf(from), toRoot = keyOf(to);
  if (fromKey.empty() || toRoot.empty()) return copied;
  const std::string fromPrefix = fromKey.back() == '\\' ? fromKey : fromKey + "\\";
  const std::string toPrefix = toRoot.back() == '\\' ? toRoot : toRoot + "\\";
  auto below = [&](const std::string& p) {
    return p.size() > fromPrefix.size() && startsWithPath(p, fromPrefix);
  };
  // A file where a folder belongs stops the copy of that folder, as it stops a real tool.
  for (const std::string& folder : PathSet(folders)) {
    if (!below(folder)) continue;
    std::string target = toPrefix + folder.substr(fromPrefix.size());
    if (!files.count(target)) addFolder(target);
  }
  for (const auto& [path, file] : PathMap<FakeFile>(files)) {
    if (!below(path) || (tool.skipHidden && file.hidden)) continue;
    std::string target = toPrefix + path.substr(fromPrefix.size());
    if (!folderAt(parentOf(target))) continue;
    auto copy = files.find(target);
    if (tool.onlyNewer && copy != files.end() && copy->second.lastWriteTime >= file.lastWriteTime)
      continue;
    FakeFile made = file;
    made.lastWriteTime = storedTime(target, file.lastWriteTime);
    auto cut = tool.truncated.find(path);
    if (cut != tool.truncated.end())
      made.content.resize(std::min(cut->second, made.content.size()));
    files[target] = made;
    copied.push_back(path);
  }
  return copied;
}

int64_t FakeFileSystem::storedTime(const std::string& key, int64_t time) const {
  auto named =
      key.size() >= 2 && key[1] == ':' ? fileSystems.find(driveLetter(key[0])) : fileSystems.end();
  if (named == fileSystems.end() || named->second.find("FAT") == std::string::npos) return time;
  // FAT's first and last time, 1980-01-01 and 2107-12-31 23:59:58, in 100 ns since 1601.
  constexpr int64_t first = 119'600'064'000'000'000, last = 159'992'927'980'000'000;
  constexpr int64_t step = 20'000'000;
  time = std::clamp(time, first, last);
  return first + (time - first + step - 1) / step * step;
}

}  // namespace vesk
