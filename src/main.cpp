// The program's entry point: one backup run on the Win32 platform layer. The executable is
// built for the GUI subsystem, so no console window opens when a scheduler starts it.

#include <exception>
#include <string>

#include "platform/platform_win32.h"
#include "run/run_backup.h"

int main() {
  auto platform = vesk::makeWin32Platform();
  try {
    return vesk::runBackup(*platform);
  } catch (const std::exception& e) {
    // The run reports its own failures; anything else (memory exhausted, say) still ends the
    // process with a report and the generic status rather than a crash.
    platform->showMessage(std::string("Error: ") + e.what());
    return vesk::exitStatus::generic;
  } catch (...) {
    return vesk::exitStatus::generic;
  }
}
