#include "fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/failure.h"
#include "platform/text.h"

namespace vesk {
namespace {

/// The form a path is stored under: trailing backslashes dropped, except for a drive root.
std::string key(const std::string& path) {
  std::string p = path;
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  if (p.size() == 2 && p[1] == ':') p += '\\';
  return p;
}

std::string parentOf(const std::string& path) {
  std::string p = key(path);
  size_t cut = p.find_last_of('\\');
  if (cut == std::string::npos) return "";
  if (cut == 2 && p[1] == ':') return p.substr(0, 3);
  return p.substr(0, cut);
}

bool isDriveRoot(const std::string& p) { return p.size() == 3 && p[1] == ':' && p[2] == '\\'; }

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

class FakeStream : public TextStream {
 public:
  FakeStream(FakePlatform& platform, std::string path)
      : platform_(platform), path_(std::move(path)) {}
  void writeLine(const std::string& text) override {
    if (closed_) throw Failure(Fault::badFileName);
    if (platform_.failLogWrites) throw Failure(Fault::diskFull);
    platform_.files[path_].content += text + "\r\n";
  }
  void close() noexcept override { closed_ = true; }

 private:
  FakePlatform& platform_;
  std::string path_;
  bool closed_ = false;
};

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return lowerCase(a) < lowerCase(b);
}

FakePlatform::FakePlatform() { folders.insert("C:\\Tools"); }

std::string FakePlatform::shortDateText(const LocalTime& t) {
  return std::to_string(t.month) + "/" + std::to_string(t.day) + "/" + std::to_string(t.year);
}

std::string FakePlatform::longTimeText(const LocalTime& t) {
  int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, t.minute, t.second,
                t.hour < 12 ? "AM" : "PM");
  return text;
}

namespace {
// Windows-1252 at 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

std::string FakePlatform::ansiFromUtf16(const std::u16string& text) {
  std::string ansi;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      ansi += static_cast<char>(c);
      continue;
    }
    char shown = '?';
    for (int j = 0; j < 32; ++j)
      if (cp1252High[j] == c) shown = static_cast<char>(0x80 + j);
    // A surrogate pair is one character.
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      ++i;
    ansi += shown;
  }
  return ansi;
}

std::u16string FakePlatform::utf16FromAnsi(const std::string& text) {
  std::u16string wide;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    char16_t high = c >= 0x80 && c < 0xA0 ? cp1252High[c - 0x80] : 0;
    wide += c >= 0x80 && c < 0xA0 ? (high ? high : static_cast<char16_t>(c)) : char16_t{c};
  }
  return wide;
}

void FakePlatform::showMessage(const std::string& text) {
  messages.push_back(text);
  if (onMessage) onMessage(text);
}

bool FakePlatform::driveExists(const std::string& path) {
  return !path.empty() &&
         drives.count(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) > 0 &&
         path.size() >= 2 && path[1] == ':';
}

std::string FakePlatform::resolved(const std::string& path) const {
  std::string p = withoutDotLevels(path);
  for (int round = 0; round < 8; ++round) {
    bool changed = false;
    for (const auto& [alias, target] : aliases) {
      if (p.size() < alias.size() || lowerCase(p.substr(0, alias.size())) != lowerCase(alias))
        continue;
      if (p.size() > alias.size() && p[alias.size()] != '\\') continue;
      p = target + p.substr(alias.size());
      changed = true;
    }
    if (!changed) break;
  }
  return p;
}

bool FakePlatform::folderExists(const std::string& path) {
  std::string p = key(resolved(path));
  if (isDriveRoot(p)) return driveExists(p);
  if (p.rfind("\\\\", 0) == 0) return folders.count(p) > 0;  // network path: no drive
  return driveExists(p) && folders.count(p) > 0;
}

bool FakePlatform::fileExists(const std::string& path) { return files.count(path) > 0; }

void FakePlatform::createFolder(const std::string& path) {
  std::string p = key(path);
  if (failCreating.count(p)) throw Failure(Fault::permissionDenied);
  if (!driveExists(p) && p.rfind("\\\\", 0) != 0) throw Failure(Fault::pathNotFound);
  if (folderExists(p) || files.count(p))
    throw Failure(Fault::fileAlreadyExists);  // a file of that name too
  std::string parent = parentOf(p);
  if (parent.empty() || !folderExists(parent)) throw Failure(Fault::pathNotFound);
  folders.insert(p);
  foldersCreated.push_back(p);
}

std::unique_ptr<TextStream> FakePlatform::openForAppend(const std::string& path) {
  if (unreadable.count(path)) throw Failure(Fault::permissionDenied);
  std::string parent = parentOf(path);
  if (parent.empty() || !folderExists(parent)) throw Failure(Fault::pathNotFound);
  files[path];  // created when missing
  return std::make_unique<FakeStream>(*this, path);
}

std::string FakePlatform::readFile(const std::string& path) {
  if (unreadable.count(path)) throw Failure(Fault::permissionDenied);
  auto it = files.find(path);
  if (it == files.end()) throw Failure(Fault::fileNotFound);
  return it->second.content;
}

namespace {

std::u16string utf16FromUtf8(const std::string& text) {
  std::u16string wide;
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t code = more == 0 ? c : c & (0x3F >> more);
    for (++i; more > 0 && i < text.size(); --more, ++i)
      code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    if (code >= 0x10000) {
      wide += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<char16_t>(code);
    }
  }
  return wide;
}

std::string utf8FromUtf16(const std::u16string& text) {
  std::string narrow;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size())
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (code < 0x80) {
      narrow += static_cast<char>(code);
    } else if (code < 0x800) {
      narrow += static_cast<char>(0xC0 | (code >> 6));
      narrow += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      narrow += static_cast<char>(0xE0 | (code >> 12));
      narrow += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      narrow += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      narrow += static_cast<char>(0xF0 | (code >> 18));
      narrow += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      narrow += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      narrow += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return narrow;
}

/// The fake's own form of a long path: the prefix dropped, in UTF-8.
std::string pathOfLong(const std::u16string& path) {
  std::string narrow = utf8FromUtf16(path);
  if (narrow.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + narrow.substr(8);
  if (narrow.rfind("\\\\?\\", 0) == 0) return narrow.substr(4);
  return narrow;
}

char16_t upperCase(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
    return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

}  // namespace

std::u16string FakePlatform::longPathOf(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return u"";
  std::string p = key(path);
  if (p.size() > 32'000) return u"";  // the system's limit is 32,767 with the prefix
  if (p.rfind("\\\\", 0) == 0) return u"\\\\?\\UNC\\" + utf16FromUtf8(p.substr(2));
  return u"\\\\?\\" + utf16FromUtf8(p);
}

std::optional<std::vector<FolderEntry>> FakePlatform::listFolder(const std::u16string& path) {
  std::string folder = pathOfLong(path);
  if (!folderExists(folder)) return std::nullopt;
  std::string prefix = key(folder);
  if (prefix.back() != '\\') prefix += '\\';
  std::vector<FolderEntry> entries;
  auto direct = [&](const std::string& p) -> std::optional<std::u16string> {
    if (p.size() <= prefix.size() || lowerCase(p.substr(0, prefix.size())) != lowerCase(prefix))
      return std::nullopt;
    std::string rest = p.substr(prefix.size());
    if (rest.find('\\') != std::string::npos) return std::nullopt;
    return utf16FromUtf8(rest);
  };
  for (const auto& f : folders)
    if (auto name = direct(f)) entries.push_back({*name, true, aliases.count(f) > 0, 0, 0});
  for (const auto& [p, file] : files)
    if (auto name = direct(p))
      entries.push_back({*name, false, false, file.content.size(), file.lastWriteTime});
  return entries;
}

std::optional<FolderEntry> FakePlatform::entryAt(const std::u16string& path) {
  std::string p = pathOfLong(path);
  auto file = files.find(p);
  if (file != files.end())
    return FolderEntry{u"", false, false, file->second.content.size(), file->second.lastWriteTime};
  if (folderExists(p)) return FolderEntry{u"", true, aliases.count(p) > 0, 0, 0};
  return std::nullopt;
}

void FakePlatform::copyFile(const std::u16string& fromPath, const std::u16string& toPath) {
  std::string from = pathOfLong(fromPath), to = pathOfLong(toPath);
  filesCopied.push_back(from);
  if (unreadable.count(from)) throw Failure(Fault::permissionDenied);  // held open with no sharing
  auto source = files.find(from);
  if (source == files.end()) throw Failure(Fault::fileNotFound);
  std::string parent = parentOf(to);
  if (parent.empty() || !folderExists(parent)) throw Failure(Fault::pathNotFound);
  if (folderExists(to)) throw Failure(Fault::permissionDenied);
  FakeFile copy = source->second;
  auto fails = copyFailsAfter.find(from);
  if (fails != copyFailsAfter.end()) {
    copy.content.resize(std::min(fails->second, copy.content.size()));
    if (copyTime != 0) copy.lastWriteTime = copyTime;
    files[to] = copy;
    throw Failure(Fault::diskFull);
  }
  files[to] = copy;
}

void FakePlatform::createFolder(const std::u16string& path) { createFolder(pathOfLong(path)); }

std::unique_ptr<BackgroundWork> FakePlatform::startAlongside(std::function<void()> work) {
  struct Done final : BackgroundWork {
    void wait() override {}
  };
  work();
  return std::make_unique<Done>();
}

int FakePlatform::compareNames(const std::u16string& a, const std::u16string& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    char16_t x = upperCase(a[i]), y = upperCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

void FakePlatform::copyTree(const std::string& from, const std::string& to,
                            const FakeCopyTool& tool) {
  const std::string fromPrefix = key(from) + "\\", toRoot = key(to);
  auto below = [&](const std::string& p) {
    return p.size() > fromPrefix.size() &&
           lowerCase(p.substr(0, fromPrefix.size())) == lowerCase(fromPrefix);
  };
  // A file where a folder belongs stops the copy of that folder, as it stops a real tool.
  for (const std::string& folder : std::set<std::string>(folders.begin(), folders.end())) {
    if (!below(folder)) continue;
    std::string target = toRoot + "\\" + folder.substr(fromPrefix.size());
    if (!files.count(target)) addFolder(target);
  }
  for (const auto& [path, file] : std::map<std::string, FakeFile>(files.begin(), files.end())) {
    if (!below(path) || (tool.skipHidden && file.hidden)) continue;
    std::string target = toRoot + "\\" + path.substr(fromPrefix.size());
    if (!folderExists(parentOf(target))) continue;
    auto copy = files.find(target);
    if (tool.onlyNewer && copy != files.end() && copy->second.lastWriteTime >= file.lastWriteTime)
      continue;
    FakeFile made = file;
    auto cut = tool.truncated.find(path);
    if (cut != tool.truncated.end())
      made.content.resize(std::min(cut->second, made.content.size()));
    files[target] = made;
  }
}

std::string FakePlatform::readFileTail(const std::string& path, size_t size) {
  std::string content = readFile(path);
  return content.substr(content.size() - std::min(size, content.size()));
}

void FakePlatform::deleteFile(const std::string& path) {
  if (undeletable.count(path)) throw Failure(Fault::permissionDenied);
  files.erase(path);
}

std::optional<FolderIdentity> FakePlatform::folderIdentity(const std::u16string& path) {
  std::string p = key(resolved(pathOfLong(path)));
  if (!folderExists(p)) return std::nullopt;
  auto [it, added] = folderIndexes_.try_emplace(p, folderIndexes_.size() + 1);
  return FolderIdentity{1, it->second};
}

std::string FakePlatform::fullPath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', '\\');
  if (p.rfind("\\\\", 0) != 0 && !(p.size() >= 2 && p[1] == ':')) p = currentFolder + "\\" + p;
  return withoutDotLevels(p);
}

std::optional<RegistryKey> FakePlatform::regOpenKey(RegistryRoot root, const std::string& subKey,
                                                    RegistryView view) {
  std::string path = (root == RegistryRoot::localMachine ? "HKLM\\" : "HKCU\\") + subKey;
  const std::string software = "HKLM\\SOFTWARE\\";
  if (view == RegistryView::view32 &&
      lowerCase(path.substr(0, software.size())) == lowerCase(software))
    path = software + "Wow6432Node\\" + path.substr(software.size());
  if (!registry.count(path)) return std::nullopt;
  openKeys_.push_back(path);
  ++openRegistryKeys;
  return openKeys_.size();  // 1-based, never 0
}

RegistryRead FakePlatform::regQueryValue(RegistryKey handle, const std::string& valueName,
                                         RegistryType& type, uint8_t* data, uint32_t& dataSize) {
  ++registryQueries;
  const auto& values = registry.at(openKeys_.at(handle - 1));
  auto it = values.find(valueName);
  if (it == values.end()) return RegistryRead::missing;
  static const std::map<uint32_t, RegistryType> types = {{1, RegistryType::text},
                                                         {2, RegistryType::expandableText},
                                                         {3, RegistryType::bytes},
                                                         {4, RegistryType::integer},
                                                         {7, RegistryType::multiText}};
  auto known = types.find(it->second.type);
  type = known == types.end() ? RegistryType::other : known->second;
  uint32_t size = static_cast<uint32_t>(it->second.data.size());
  if (size > dataSize) {
    dataSize = size;
    return RegistryRead::moreData;
  }
  if (size > 0) std::memcpy(data, it->second.data.data(), size);
  dataSize = size;
  return RegistryRead::ok;
}

void FakePlatform::regCloseKey(RegistryKey) noexcept { --openRegistryKeys; }

ProcessToken FakePlatform::startProcess(const std::string& applicationName, const std::string& line,
                                        int showWindow) {
  commandsStarted.push_back({applicationName, line, showWindow, currentFolder});
  FakeProcessScript script;
  if (processes_.size() < processScripts.size()) script = processScripts[processes_.size()];
  if (script.failToStart) {
    processes_.push_back({script, clockMs, false});
    throw Failure(Fault::fileNotFound);
  }
  if (script.onStart) script.onStart();
  processes_.push_back({script, clockMs, true});
  ++openProcesses;
  return processes_.size();
}

WaitResult FakePlatform::waitForProcess(ProcessToken process, int milliseconds) {
  Process& p = processes_.at(process - 1);
  int64_t endsAt = p.startedAtMs + p.script.runsForMs;
  if (p.script.runsForMs >= 0 && clockMs >= endsAt) return WaitResult::ended;
  if (p.script.runsForMs >= 0 && clockMs + milliseconds >= endsAt) {
    clockMs = endsAt;  // the wait returns as soon as the process ends
    return WaitResult::ended;
  }
  clockMs += milliseconds;
  return WaitResult::stillRunning;
}

std::optional<uint32_t> FakePlatform::processExitCode(ProcessToken process) {
  Process& p = processes_.at(process - 1);
  if (p.script.runsForMs < 0 || clockMs < p.startedAtMs + p.script.runsForMs) return std::nullopt;
  return p.script.exitCode;
}

void FakePlatform::closeProcess(ProcessToken process) noexcept {
  Process& p = processes_.at(process - 1);
  if (p.open) --openProcesses;
  p.open = false;
}

void FakePlatform::changeDrive(const std::string& text) {
  if (!driveExists(text.substr(0, 1) + ":")) throw Failure(Fault::pathNotFound);
  driveAndFolderChanges.push_back("drive " + text.substr(0, 1));
}

void FakePlatform::changeFolder(const std::string& path) {
  if (!folderExists(path)) throw Failure(Fault::pathNotFound);
  driveAndFolderChanges.push_back("folder " + path);
  currentFolder = path;
}

ShellCopyResult FakePlatform::shellCopy(const std::string& from, const std::string& to,
                                        ShellCopyOptions options) {
  auto shownList = [](std::string path) {
    path.append(2, '\0');
    std::replace(path.begin(), path.end(), '\0', '|');
    return path;
  };
  // FOF_NOCONFIRMATION, FOF_NOCONFIRMMKDIR and FOF_NOERRORUI.
  const int flags = (options.replaceWithoutAsking ? 0x10 : 0) |
                    (options.createFoldersWithoutAsking ? 0x200 : 0) |
                    (options.noErrorDialog ? 0x400 : 0);
  shellCopies.push_back(shownList(from) + " -> " + shownList(to) + " flags " +
                        std::to_string(flags));
  if (onShellCopy) onShellCopy();
  return shellCopyResult;
}

void FakePlatform::addFolder(const std::string& path) {
  std::string p = key(path);
  drives.insert(static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))));
  while (!p.empty() && !isDriveRoot(p)) {
    folders.insert(p);
    // A share is the root of a network path: "\\server" alone is no folder.
    if (p.rfind("\\\\", 0) == 0 && p.find('\\', p.find('\\', 2) + 1) == std::string::npos) break;
    p = parentOf(p);
  }
}

void FakePlatform::addFile(const std::string& path, const std::string& content,
                           int64_t lastWriteTime) {
  addFolder(parentOf(path));
  files[path] = {content, lastWriteTime};
}

std::string FakePlatform::fileContent(const std::string& path) const {
  auto it = files.find(path);
  return it == files.end() ? std::string() : it->second.content;
}

std::vector<std::string> FakePlatform::fileLines(const std::string& path) const {
  std::vector<std::string> lines;
  std::string content = fileContent(path);
  size_t start = 0;
  for (size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(content.substr(start, end - start));
  if (start < content.size()) lines.push_back(content.substr(start));
  return lines;
}

void FakePlatform::setRegistryValue(const std::string& keyPath, const std::string& name,
                                    uint32_t type, const std::string& data) {
  registry[keyPath][name] = {type, data};
}

}  // namespace vesk
