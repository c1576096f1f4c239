// The fake of trees: every path goes through the file system's keys.

#include "fake/fake_trees.h"

#include <algorithm>
#include <cctype>

#include "platform/failure.h"
#include "platform/folder_lister.h"

namespace vesk {

std::u16string FakeTrees::longPathOf(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return u"";
  std::string full = disk().fullPathOf(path);
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  if (full.size() == 2 && full[1] == ':') full += '\\';
  if (full.size() > 32'000) return u"";  // the system's limit is 32,767 with the prefix
  if (full.rfind("\\\\", 0) == 0) return u"\\\\?\\UNC\\" + fake::utf16FromAnsi(full.substr(2));
  return u"\\\\?\\" + fake::utf16FromAnsi(full);
}

std::optional<std::vector<FolderEntry>> FakeTrees::listFolder(const std::u16string& path) {
  const std::string key = disk().keyOfLong(path);
  if (unlistable.count(key) || !disk().folderAt(key)) return std::nullopt;
  const std::string prefix = key.back() == '\\' ? key : key + "\\";
  // The name of p when it lies directly in the folder.
  auto direct = [&](const std::string& p) -> std::optional<std::u16string> {
    if (p.size() <= prefix.size() || PathLess{}(p.substr(0, prefix.size()), prefix) ||
        PathLess{}(prefix, p.substr(0, prefix.size())))
      return std::nullopt;
    std::string rest = p.substr(prefix.size());
    if (rest.find('\\') != std::string::npos) return std::nullopt;
    return fake::utf16FromUtf8(rest);
  };
  std::vector<FolderEntry> entries;
  for (const auto& folder : disk().folders)
    if (auto name = direct(folder))
      entries.push_back({*name, true, disk().aliases.count(folder) > 0, 0, 0});
  for (const auto& [p, file] : disk().files)
    if (auto name = direct(p))
      entries.push_back({*name, false, false, file.content.size(), file.lastWriteTime});
  return entries;
}

std::optional<FolderEntry> FakeTrees::entryAt(const std::u16string& path) {
  const std::string key = disk().keyOfLong(path);
  auto file = disk().files.find(key);
  if (file != disk().files.end())
    return FolderEntry{u"", false, false, file->second.content.size(), file->second.lastWriteTime};
  if (disk().folderAt(key)) return FolderEntry{u"", true, disk().linkAtLong(path), 0, 0};
  return std::nullopt;
}

void FakeTrees::copyFile(const std::u16string& fromPath, const std::u16string& toPath) {
  const std::string from = disk().keyOfLong(fromPath), to = disk().keyOfLong(toPath);
  filesCopied.push_back(from);
  if (disk().unreadable.count(from))
    throw Failure(Fault::permissionDenied);  // held open with no sharing
  auto source = disk().files.find(from);
  if (source == disk().files.end()) throw Failure(Fault::fileNotFound);
  if (!disk().folderAt(FakeFileSystem::parentKey(to))) throw Failure(Fault::pathNotFound);
  if (disk().folderAt(to)) throw Failure(Fault::permissionDenied);
  FakeFile copy = source->second;
  copy.lastWriteTime = disk().storedTime(to, copy.lastWriteTime);
  auto fails = copyFailsAfter.find(from);
  if (fails != copyFailsAfter.end()) {
    copy.content.resize(std::min(fails->second, copy.content.size()));
    if (copyTime != 0) copy.lastWriteTime = copyTime;
    disk().files[to] = copy;
    throw Failure(Fault::diskFull);
  }
  disk().files[to] = copy;
}

void FakeTrees::createFolder(const std::u16string& path) {
  disk().createFolderAt(disk().keyOfLong(path));
}

std::optional<FolderIdentity> FakeTrees::folderIdentity(const std::u16string& path) {
  const std::string key = disk().keyOfLong(path);
  if (!disk().folderAt(key)) return std::nullopt;
  auto [it, added] = folderIndexes_.try_emplace(key, folderIndexes_.size() + 1);
  return FolderIdentity{1, it->second};
}

std::optional<VolumeFacts> FakeTrees::volumeOf(const std::u16string& path) {
  const std::string key = disk().keyOfLong(path);
  if (key.size() < 2) return std::nullopt;
  if (key[1] != ':') return VolumeFacts{"NTFS", true};
  auto named =
      disk().fileSystems.find(static_cast<char>(std::toupper(static_cast<unsigned char>(key[0]))));
  return VolumeFacts{named == disk().fileSystems.end() ? "NTFS" : named->second, false};
}

std::optional<bool> FakeTrees::sameContent(const std::u16string& a, const std::u16string& b) {
  const std::string first = disk().keyOfLong(a), second = disk().keyOfLong(b);
  ++contentComparisons;
  auto one = disk().files.find(first), two = disk().files.find(second);
  if (one == disk().files.end() || two == disk().files.end() || disk().unreadable.count(first) ||
      disk().unreadable.count(second))
    return std::nullopt;
  return one->second.content == two->second.content;
}

int FakeTrees::compareNames(const std::u16string& a, const std::u16string& b) {
  return fake::compareNames(a, b);
}

std::unique_ptr<FolderLister> FakeTrees::listerAhead() {
  return std::make_unique<FolderLister>(
      [this](const std::u16string& path) { return listFolder(path); }, 0);
}

std::unique_ptr<BackgroundWork> FakeTrees::startAlongside(std::function<void()> work) {
  struct Done final : BackgroundWork {
    void wait() override {}
  };
  work();
  return std::make_unique<Done>();
}

}  // namespace vesk
