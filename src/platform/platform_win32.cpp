// What the areas of the Win32 layer share, and the layer's one way in, makeWin32Platform.

#include "platform/platform_win32.h"

#include "platform/win32_platform.h"

namespace vesk {
namespace win32 {

void checkPathText(const std::string& path) {
  if (hasNul(path)) throw fileSystemFailure(ERROR_INVALID_NAME);
}

void throwPathFailure(DWORD code) {
  throw fileSystemFailure(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code);
}

}  // namespace win32

std::unique_ptr<Platform> makeWin32Platform() { return std::make_unique<win32::Win32Platform>(); }

}  // namespace vesk
