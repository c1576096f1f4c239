#pragma once

// One holder for everything that must be closed once: a file or find handle, a process token,
// a registry key. The Win32 layer holds its handles in it and the core its process tokens and
// registry keys, each with its own closing function.

#include <type_traits>
#include <utility>

namespace vesk {

/// Holds value and closes it with close(value) when destroyed, or earlier through close();
/// never closes invalid, the value that stands for "nothing open". Not copied: one holder
/// closes a value once.
template <typename T, typename Close>
class Owned {
  static_assert(std::is_nothrow_invocable_v<Close&, T>,
                "closing runs in a destructor and must not throw");

 public:
  Owned(T value, T invalid, Close close) noexcept
      : value_(value), invalid_(invalid), close_(std::move(close)) {}
  ~Owned() { close(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  T get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != invalid_; }

  /// Closes the value now; afterwards the holder holds the invalid value and closes nothing.
  void close() noexcept {
    if (valid()) close_(value_);
    value_ = invalid_;
  }

 private:
  T value_;
  T invalid_;
  Close close_;
};

}  // namespace vesk
