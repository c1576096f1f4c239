// The Win32 layer's test program. The process tests start this program as their child: the
// options below make it exit, sleep or report what it was started with, instead of testing.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/win32/win32_platform.h"
#include "run/report.h"
#include "run/run_end.h"
#include "win32_test_support.h"

namespace {

/// Recurses while limit allows, which it always does: an input-driven depth, as a parser of
/// deep input has it.
__attribute__((noinline)) int overflow(int depth, int limit) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (depth == limit) return frame[0];
  return overflow(depth + 1, limit) + frame[0];
}

/// Arms the run's crash handling over the run log at logPath (its first line "armed"), then
/// crashes as mode says: a stack overflow, a write through a null pointer, an exception that
/// nothing catches, or a crash inside the crash's own record.
int crashAs(const std::string& mode, const std::string& logPath) {
  static auto windows = vesk::win32::makeWin32Platform();
  static vesk::RunState run(windows->platform());
  run.log.open(logPath);
  run.log.writeRawLine("armed");
  vesk::armCrashReport(run);
  if (mode == "crash-in-record")
    run.platform.system.onCrash(vesk::exitStatus::generic, [](const vesk::Crash&) {
      *static_cast<volatile int*>(nullptr) = 1;
      return std::string();
    });
  if (mode == "overflow") return overflow(0, INT32_MAX);
  if (mode == "throw") throw std::runtime_error("thrown where nothing catches it");
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}

/// A copy of this program planted as cmd.exe: the tests recognise its exit code.
bool runningAsPlantedCmd() {
  std::string self = vesk::testing::selfPath();
  size_t cut = self.find_last_of('\\');
  std::string name = self.substr(cut == std::string::npos ? 0 : cut + 1);
  return _stricmp(name.c_str(), "cmd.exe") == 0;
}

constexpr int plantedCmdExitCode = 99;

bool isOption(const char* arg, const char* option) { return std::strcmp(arg, option) == 0; }

}  // namespace

int main(int argc, char** argv) {
  if (runningAsPlantedCmd()) return plantedCmdExitCode;
  if (argc == 3 && isOption(argv[1], "--exit-with")) return std::atoi(argv[2]);
  if (argc == 3 && isOption(argv[1], "--sleep")) {
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return 0;
  }
  if (argc == 4 && isOption(argv[1], "--print-env")) {
    // The variable's value, or "<unset>", into the file.
    const char* value = std::getenv(argv[2]);
    std::ofstream(argv[3], std::ios::binary) << (value ? value : "<unset>");
    return 0;
  }
  if (argc == 4 && isOption(argv[1], "--has-handle")) {
    // "yes" into the file when the handle of that value is open in this process, "no" otherwise.
    DWORD flags = 0;
    const auto handle = reinterpret_cast<HANDLE>(std::strtoull(argv[2], nullptr, 10));
    std::ofstream(argv[3], std::ios::binary)
        << (GetHandleInformation(handle, &flags) ? "yes" : "no");
    return 0;
  }
  if (argc == 2 && isOption(argv[1], "--echo-stdio")) {
    // What standard input gave, to standard output, then a line to standard error.
    char buffer[64];
    DWORD got = 0;
    const bool read =
        ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr);
    const std::string report =
        std::string("input ") + (read ? "read " : "failed ") + std::to_string(got) + " bytes\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report.data(), static_cast<DWORD>(report.size()),
              &written, nullptr);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "error\n", 6, &written, nullptr);
    return 0;
  }
  if (argc == 3 && isOption(argv[1], "--print-start")) {
    // The current folder, then the show-window code when one was given, or "none".
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    std::ofstream out(argv[2], std::ios::binary);
    out << vesk::testing::currentFolder() << "\n";
    if (startup.dwFlags & STARTF_USESHOWWINDOW)
      out << startup.wShowWindow;
    else
      out << "none";
    return 0;
  }
  if (argc == 4 && isOption(argv[1], "--crash")) return crashAs(argv[2], argv[3]);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
