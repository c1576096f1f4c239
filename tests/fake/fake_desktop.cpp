// The fake of message boxes and the shell copy.

#include "fake/fake_desktop.h"

namespace vesk {

void FakeDesktop::showMessage(const std::string& text) {
  messages.push_back(text);
  if (onMessage) onMessage(text);
}

ShellCopyResult FakeDesktop::shellCopy(const std::string& from, const std::string& to,
                                       ShellCopyOptions options) {
  shellCopies.push_back({from, to, options});
  if (onShellCopy) onShellCopy();
  return shellCopyResult;
}

}  // namespace vesk
