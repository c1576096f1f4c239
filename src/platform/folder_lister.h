#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/trees.h"

namespace vesk {

/// Lists folders before the caller needs them, on threads of its own: a walk asks for every
/// folder it will list as soon as it finds it, and takes each listing when it comes to it. Where
/// a listing is slow for what it waits on rather than for the processor (a request to the system
/// per folder), several in flight cut a walk's time; the walk itself, and what it makes of each
/// listing, stays one sequence. With no thread (or none to be had) every folder is listed by
/// take, on the caller's thread, exactly when a plain walk would list it.
class FolderLister {
 public:
  using List = std::function<std::optional<std::vector<FolderEntry>>(const std::u16string&)>;

  /// list must be safe to call from several threads at once where threads is above 0. The
  /// threads start once startAt folders wait to be listed: a small tree (a walk of a few
  /// folders) costs no thread.
  FolderLister(List list, unsigned threads, size_t startAt = 8);
  /// Stops the threads; listings in progress end first, asked ones not begun are dropped.
  ~FolderLister();
  FolderLister(const FolderLister&) = delete;
  FolderLister& operator=(const FolderLister&) = delete;

  /// Asks for the listing of path under key. The last asked is listed first: a walk that takes
  /// folders from the end of a stack asks for them in the order it pushes them.
  void ask(size_t key, std::u16string path);
  /// The listing asked under key, listed now when no thread has begun it; what the listing
  /// threw is thrown here. Each key is taken once; an unknown key gives nothing.
  std::optional<std::vector<FolderEntry>> take(size_t key);

 private:
  enum class State { asked, listing, listed };
  struct Job {
    std::u16string path;
    State state = State::asked;
    std::optional<std::vector<FolderEntry>> entries;
    std::exception_ptr failure;
  };

  void listOnThread();
  void list(Job& job, std::unique_lock<std::mutex>& lock);

  List list_;
  unsigned threadsWanted_;
  size_t startAt_;
  std::mutex mutex_;
  std::condition_variable asked_;
  std::condition_variable listed_;
  std::unordered_map<size_t, Job> jobs_;
  std::vector<size_t> stack_;  // keys asked and not begun, possibly taken since
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace vesk
