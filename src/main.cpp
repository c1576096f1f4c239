// The program's entry point: one backup run on the Win32 platform layer. The executable is
// built for the GUI subsystem, so no console window opens when a scheduler starts it.

#include <exception>
#include <string>

#include "platform/win32/win32_platform.h"
#include "run/run_backup.h"
#include "run/watch.h"

int main() {
  auto windows = vesk::win32::makeWin32Platform();
  const vesk::Platform platform = windows->platform();
  // The watch that a run left behind for its database client: no box, whatever happens.
  if (const std::optional<vesk::WatchOrder> order = vesk::watchOrderFor(platform.system)) {
    try {
      return vesk::runWatch(platform, *order);
    } catch (...) {
      return vesk::exitStatus::generic;
    }
  }
  try {
    return vesk::runBackup(platform);
  } catch (const std::exception& e) {
    // The run reports its own failures; anything else (memory exhausted, say) still ends the
    // process with a report and the generic status rather than a crash.
    platform.desktop.showMessage(std::string("Error: ") + e.what());
    return vesk::exitStatus::generic;
  } catch (...) {
    return vesk::exitStatus::generic;
  }
}
