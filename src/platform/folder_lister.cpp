#include "platform/folder_lister.h"

#include <system_error>
#include <utility>

namespace vesk {

FolderLister::FolderLister(List list, unsigned threads, size_t startAt)
    : list_(std::move(list)), threadsWanted_(threads), startAt_(startAt) {}

FolderLister::~FolderLister() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  asked_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void FolderLister::ask(size_t key, std::u16string path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!jobs_.try_emplace(key, Job{std::move(path), State::asked, std::nullopt, nullptr}).second)
      return;  // asked already
    if (threadsWanted_ == 0 && threads_.empty()) return;
    stack_.push_back(key);
    if (threads_.empty() && stack_.size() >= startAt_) {
      for (unsigned i = 0; i < threadsWanted_; ++i) {
        try {
          threads_.emplace_back([this] { listOnThread(); });
        } catch (const std::system_error&) {
          break;  // fewer threads, or none: take lists what no thread has begun
        }
      }
      threadsWanted_ = 0;
    }
  }
  asked_.notify_one();
}

std::optional<std::vector<FolderEntry>> FolderLister::take(size_t key) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto found = jobs_.find(key);
  if (found == jobs_.end()) return std::nullopt;
  Job& job = found->second;
  if (job.state == State::asked) list(job, lock);
  listed_.wait(lock, [&job] { return job.state == State::listed; });
  std::optional<std::vector<FolderEntry>> entries = std::move(job.entries);
  std::exception_ptr failure = job.failure;
  jobs_.erase(found);
  if (failure) std::rethrow_exception(failure);
  return entries;
}

void FolderLister::listOnThread() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    asked_.wait(lock, [this] { return stopping_ || !stack_.empty(); });
    if (stopping_) return;
    const size_t key = stack_.back();
    stack_.pop_back();
    auto found = jobs_.find(key);
    // Taken since, and listed by the walk itself.
    if (found == jobs_.end() || found->second.state != State::asked) continue;
    list(found->second, lock);
  }
}

// Lists job with the lock released; a Job stays where it is in the map while it is listed (no
// other key is erased under it, and the map's nodes do not move).
void FolderLister::list(Job& job, std::unique_lock<std::mutex>& lock) {
  job.state = State::listing;
  const std::u16string path = job.path;
  lock.unlock();
  std::optional<std::vector<FolderEntry>> entries;
  std::exception_ptr failure;
  try {
    entries = list_(path);
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  job.entries = std::move(entries);
  job.failure = failure;
  job.state = State::listed;
  listed_.notify_all();
}

}  // namespace vesk
