#pragma once

// The fake of message boxes and the shell copy: what they were asked, and what the test says
// they do.

#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace vesk {

/// A shell copy as the run asked for it.
struct ShellCopyCall {
  std::string from, to;
  ShellCopyOptions options;
};

class FakeDesktop : public Desktop {
 public:
  void showMessage(const std::string& text) override;
  ShellCopyResult shellCopy(const std::string& from, const std::string& to,
                            ShellCopyOptions options) override;

  std::vector<std::string> messages;
  std::function<void(const std::string&)> onMessage;  // runs inside showMessage
  std::vector<ShellCopyCall> shellCopies;
  ShellCopyResult shellCopyResult;
  std::function<void()> onShellCopy;  // what the copy does (FakeFileSystem::copyTree, say)
};

}  // namespace vesk
