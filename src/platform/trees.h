#pragma once

// Trees in UTF-16, so that every name the file system holds is seen as itself: the walk over
// the source, the check of the backup and its repair. The paths are those that longPathOf
// returns, with names joined by "\"; they may be up to 32,767 characters long. Every function
// here may be called from two threads at once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

/// What a folder is to the file system, whatever the path it was reached by: the volume's serial
/// number and the folder's index on it.
struct FolderIdentity {
  uint32_t volumeSerial = 0;
  uint64_t fileIndex = 0;
  bool operator==(const FolderIdentity&) const = default;
  bool operator<(const FolderIdentity& other) const {
    return volumeSerial != other.volumeSerial ? volumeSerial < other.volumeSerial
                                              : fileIndex < other.fileIndex;
  }
};

/// One entry of a folder listing, or what is known of one file or folder.
struct FolderEntry {
  std::u16string name;
  bool isFolder = false;
  bool isLink = false;        // a junction or symbolic link (a reparse point)
  uint64_t size = 0;          // bytes; 0 for a folder
  int64_t lastWriteTime = 0;  // 100-ns intervals since 1601-01-01 UTC
};

/// What the volume that holds a path says of itself.
struct VolumeFacts {
  std::string fileSystem;  // the name it gives its file system ("NTFS", "FAT32", ...); may be empty
  bool network = false;    // reached over the network: a share, or a drive mapped onto one
};

class FolderLister;

/// Work that runs beside the caller (see Trees::startAlongside). Destroying it waits for its
/// end.
class BackgroundWork {
 public:
  virtual ~BackgroundWork() = default;
  /// Returns once the work has ended; a second call returns at once.
  virtual void wait() = 0;
};

class Trees {
 public:
  virtual ~Trees() = default;

  /// path (in the ANSI code page) in the form the functions below take: for a local path
  /// "\\?\" and the full path, without trailing backslashes; empty when it cannot have that
  /// form (too long, or not a path).
  virtual std::u16string longPathOf(const std::string& path) = 0;
  /// The entries of a folder (not "." and ".."), or nothing when it cannot be listed.
  virtual std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) = 0;
  /// What is at path (its name left empty), or nothing when there is nothing there.
  virtual std::optional<FolderEntry> entryAt(const std::u16string& path) = 0;
  /// Copies a file with its last-write time and attributes, replacing a file at to (also a
  /// read-only or hidden one). Throws Failure.
  virtual void copyFile(const std::u16string& from, const std::u16string& to) = 0;
  /// Creates one folder level; its parent must exist. Throws Failure.
  virtual void createFolder(const std::u16string& path) = 0;
  /// The identity of an existing folder, through drive aliases, links and ".." alike; nothing
  /// when it cannot be opened or its file system gives no index.
  virtual std::optional<FolderIdentity> folderIdentity(const std::u16string& path) = 0;
  /// Compares two names as the file system does: code unit by code unit, letter case ignored.
  /// Negative, zero or positive, as a comes before, equals or follows b.
  virtual int compareNames(const std::u16string& a, const std::u16string& b) = 0;
  /// The volume that holds path; nothing when it cannot be asked.
  virtual std::optional<VolumeFacts> volumeOf(const std::u16string& path) = 0;
  /// True when two files hold the same bytes; nothing when either cannot be read whole.
  virtual std::optional<bool> sameContent(const std::u16string& a, const std::u16string& b) = 0;
  /// A lister of folders ahead of a walk (folder_lister.h), over listFolder: with threads of its
  /// own where listings in flight together take less time than one after another.
  virtual std::unique_ptr<FolderLister> listerAhead() = 0;
  /// Starts work on a second thread, or runs it at once where there is none (the work then
  /// ends before this returns). The work must not throw.
  virtual std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) = 0;
};

}  // namespace vesk
