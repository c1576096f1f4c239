// The Win32 layer: the message box, and the shell's copy operation.

#include "platform/win32/win32_platform.h"
// <windows.h>, which the header above includes, first: <shellapi.h> relies on its types.
#include <shellapi.h>

#include "platform/text.h"

namespace vesk::win32 {
namespace {

/// A box that nobody can see (a scheduled task without a visible desktop) would wait forever.
bool desktopIsVisible() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr ||
      !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
    return true;  // when in doubt, show the box
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void Win32Desktop::showMessage(const std::string& text) {
  if (!desktopIsVisible()) return;
  MessageBoxA(nullptr, boxText(text).c_str(), "veskbackup", MB_OK);
}

ShellCopyResult Win32Desktop::shellCopy(const std::string& from, const std::string& to,
                                        ShellCopyOptions options) {
  // A NUL inside would end a list early or start a second path in it.
  checkPathText(from);
  checkPathText(to);
  // Lists of one path, each ended by an empty path.
  std::string fromList = from + std::string(2, '\0');
  std::string toList = to + std::string(2, '\0');
  FILEOP_FLAGS flags = (options.replaceWithoutAsking ? FOF_NOCONFIRMATION : 0) |
                       (options.createFoldersWithoutAsking ? FOF_NOCONFIRMMKDIR : 0) |
                       (options.noErrorDialog ? FOF_NOERRORUI : 0);
  SHFILEOPSTRUCTA operation{nullptr, FO_COPY, fromList.c_str(), toList.c_str(),
                            flags,   FALSE,   nullptr,          nullptr};
  ShellCopyResult result;
  result.code = SHFileOperationA(&operation);
  // A copy that was cancelled in part may also report a code; the log names both.
  if (operation.fAnyOperationsAborted)
    result.end = ShellCopyEnd::aborted;
  else if (result.code != 0)
    result.end = ShellCopyEnd::failed;
  return result;
}

}  // namespace vesk::win32
