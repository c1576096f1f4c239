#pragma once

// The fake of trees in UTF-16, over the simulated file system.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake/fake_file_system.h"
#include "platform/trees.h"

namespace vesk {

class FakeTrees : public Trees {
 public:
  explicit FakeTrees(FakeFileSystem& disk) : disk_(disk) {}

  std::u16string longPathOf(const std::string& path) override;
  std::optional<std::vector<FolderEntry>> listFolder(const std::u16string& path) override;
  std::optional<FolderEntry> entryAt(const std::u16string& path) override;
  void copyFile(const std::u16string& from, const std::u16string& to) override;
  void createFolder(const std::u16string& path) override;
  std::optional<FolderIdentity> folderIdentity(const std::u16string& path) override;
  int compareNames(const std::u16string& a, const std::u16string& b) override;
  /// The drive's file system as FakeFileSystem::fileSystems names it; a share is on the network.
  std::optional<VolumeFacts> volumeOf(const std::u16string& path) override;
  std::optional<bool> sameContent(const std::u16string& a, const std::u16string& b) override;
  /// Lists each folder when the walk takes it, on the caller's thread, as a plain walk would.
  std::unique_ptr<FolderLister> listerAhead() override;
  /// Runs the work at once: the fake has one thread, and the work sees what was there before
  /// the caller goes on, the earliest it could.
  std::unique_ptr<BackgroundWork> startAlongside(std::function<void()> work) override;

  PathSet unlistable;  // listFolder fails (no right to list them, say)
  /// Source paths whose copyFile fails as on a full disk, leaving the given number of bytes.
  PathMap<size_t> copyFailsAfter;
  int64_t copyTime = 0;  // when set, copies that fail are left with this last-write time
  std::vector<std::string> filesCopied;  // by copyFile: the source paths
  int contentComparisons = 0;            // calls of sameContent

 private:
  FakeFileSystem& disk() { return disk_; }
  FakeFileSystem& disk_;  // the file system the calls act on
  PathMap<uint64_t> folderIndexes_;
};

}  // namespace vesk
