#pragma once

// The Windows that the fakes simulate, in one place: the ANSI code page (1252), letter case
// ignored in names, and how a path names what the file system holds ("/" as "\", relative
// paths, "." and "..", drive letters, shares and links onto other folders). Every call of the
// area fakes finds files and folders through FakeFileSystem::keyOf or keyOfLong, and the
// containers compare their paths by the same rule as compareNames.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vesk {

namespace fake {
/// text in code page 1252; a character that it lacks becomes "?".
std::string ansiFromUtf16(const std::u16string& text);
/// Code page 1252 as UTF-16; its five unused bytes stand for the code units of their value.
std::u16string utf16FromAnsi(const std::string& text);
std::u16string utf16FromUtf8(const std::string& text);
std::string utf8FromUtf16(const std::u16string& text);
/// Names compared with the letter case of ASCII, Latin-1, Greek and Cyrillic ignored.
int compareNames(const std::u16string& a, const std::u16string& b);
}  // namespace fake

/// Paths (in UTF-8) in the order of fake::compareNames, so that two spellings that differ in
/// letter case name one entry.
struct PathLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using PathSet = std::set<std::string, PathLess>;
template <typename Value>
using PathMap = std::map<std::string, Value, PathLess>;

struct FakeFile {
  std::string content;
  int64_t lastWriteTime = 0;
  bool hidden = false;  // hidden or system: Windows' xcopy without /h passes it over
};

/// How a copy tool of the fake (see FakeFileSystem::copyTree) treats the files of a tree.
struct FakeCopyTool {
  bool onlyNewer = false;   // xcopy /d: only files missing from the copy or newer in the source
  bool skipHidden = false;  // Windows' xcopy without /h
  /// Source paths whose copy the tool leaves at the given length, with the source's time (the
  /// shell copy on a full disk).
  std::map<std::string, size_t> truncated = {};
};

/// The drives, folders and files of the fake, and the rules by which paths name them. Paths in
/// the containers and in the helpers for tests are UTF-8, as test sources write them; the
/// platform calls take ANSI text, as Windows' "A" functions do, or UTF-16.
class FakeFileSystem {
 public:
  FakeFileSystem();

  /// What a single-byte path names, as the containers hold it: the full form (fullPathOf) in
  /// UTF-8, links followed, without trailing backslashes except a drive root's. Empty for a
  /// path that names nothing (empty, or with a NUL inside).
  std::string keyOf(const std::string& ansiPath) const;
  /// The same for a path in the form of Trees::longPathOf.
  std::string keyOfLong(const std::u16string& path) const;
  /// path in its full form, as Files::fullPath gives it: "/" as "\", relative to the current
  /// folder, "." and ".." resolved; links are not followed.
  std::string fullPathOf(const std::string& path) const;
  /// True when the key names a folder: a drive root of a drive that exists, or a folder.
  bool folderAt(const std::string& key) const;
  /// True when path (in the form of Trees::longPathOf) is itself a link onto another folder.
  bool linkAtLong(const std::u16string& path) const;
  /// Creates one folder level at key, whose parent must exist; throws Failure as
  /// Files::createFolder does.
  void createFolderAt(const std::string& key);
  /// The key of the folder that holds key: C:\ for C:\x; empty for a key without a backslash.
  static std::string parentKey(const std::string& key);

  // Helpers for tests.
  /// Adds a file and every folder above it.
  void addFile(const std::string& path, const std::string& content, int64_t lastWriteTime = 0);
  /// Adds a folder and every folder above it.
  void addFolder(const std::string& path);
  /// Removes the file or the folder at path, with all that the folder holds.
  void remove(const std::string& path);
  /// Makes link a link onto the folder target (a junction, a symbolic link).
  void addLink(const std::string& link, const std::string& target);
  std::string fileContent(const std::string& path) const;
  /// The lines of a file, split at CR LF.
  std::vector<std::string> fileLines(const std::string& path) const;
  /// Copies the files and folders below from into to as tool says, as a copy tool handed these
  /// paths (ANSI, as the platform calls take them) would; the copies keep their times as far as
  /// the drive does (storedTime). Returns the source paths of the files copied, in order.
  std::vector<std::string> copyTree(const std::string& from, const std::string& to,
                                    const FakeCopyTool& tool = {});
  /// The last-write time that a file written at key keeps: on a FAT drive rounded up to 2 s
  /// and held within 1980 to 2107, elsewhere time itself.
  int64_t storedTime(const std::string& key, int64_t time) const;

  std::set<char> drives{'C'};
  /// The file system of each drive by its letter, as its volume names it; "NTFS" for a drive
  /// not named here and for shares. "FAT", "FAT32" and "exFAT" keep times as FAT does.
  std::map<char, std::string> fileSystems;
  PathSet folders;
  PathMap<FakeFile> files;
  /// Another name for a folder, as a subst drive, a mapped share or a junction gives one: a
  /// path beginning with the alias ("E:", "C:\App\link") names the same as the folder.
  PathMap<std::string> aliases;
  /// Files held open by another program without sharing: they cannot be read, appended to or
  /// copied.
  PathSet unreadable;
  /// The current folder as the last change of folder gave it, in ANSI text.
  std::string currentFolder = "C:\\Tools";
  std::vector<std::string> foldersCreated;  // by either createFolder, in order

 private:
  /// A UTF-8 path in the containers' form, links followed when follow is set.
  std::string keyFrom(std::string path, bool follow) const;
};

}  // namespace vesk
