#pragma once

// Everything the run asks of the operating system, by area. The Win32 implementation
// (src/platform/win32/) is the only code that includes <windows.h>, and no Win32 number or type
// crosses these interfaces; unit tests use the in-memory fakes of tests/fake/. Single-byte
// texts are in the ANSI code page.

#include "platform/desktop.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/trees.h"

namespace vesk {

/// The areas together, as the run takes them; each module below the run takes only the areas
/// it uses.
struct Platform {
  Files& files;
  Trees& trees;
  Processes& processes;
  Registry& registry;
  Desktop& desktop;
  System& system;
  EventLog& eventLog;
};

}  // namespace vesk
