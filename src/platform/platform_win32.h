#pragma once

#include <memory>

#include "platform/platform.h"

namespace vesk {

/// The platform layer over the Win32 "A" functions.
std::unique_ptr<Platform> makeWin32Platform();

}  // namespace vesk
