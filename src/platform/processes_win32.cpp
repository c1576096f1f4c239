// The Win32 layer: started processes, the program's window messages, and work on a second
// thread.

#include <system_error>
#include <thread>
#include <vector>

#include "platform/win32_platform.h"

namespace vesk::win32 {
namespace {

/// A failure numbered with the Win32 code and described by the system's text for it.
[[noreturn]] void throwWin32Failure(DWORD code) {
  char* text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string description = text ? text : "system error " + std::to_string(code);
  LocalFree(text);
  while (!description.empty() &&
         (description.back() == '\r' || description.back() == '\n' || description.back() == ' '))
    description.pop_back();  // the system's texts end in ".\r\n"
  throw Failure(static_cast<int32_t>(code), description);
}

struct WorkThread final : BackgroundWork {
  ~WorkThread() override { wait(); }
  void wait() override {
    if (thread.joinable()) thread.join();
  }
  std::thread thread;
};

HANDLE toHandle(ProcessToken token) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(token));
}

}  // namespace

ProcessToken Win32Platform::startProcess(const std::string& applicationName,
                                         const std::string& commandLine, int showWindow) {
  if (hasNul(applicationName) || hasNul(commandLine)) throwWin32Failure(ERROR_INVALID_PARAMETER);
  // With this variable in the environment the system takes no program from the current
  // folder: not when this process looks for the program to start, nor when a child command
  // interpreter looks for the programs it runs. Set in this process, it reaches every child
  // with the rest of the environment, unchanged by any code-page conversion.
  SetEnvironmentVariableA("NoDefaultCurrentDirectoryInExePath", "1");

  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');  // CreateProcessA may write into the command line
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showWindow);
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(applicationName.empty() ? nullptr : applicationName.c_str(), line.data(),
                      nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    throwWin32Failure(GetLastError());
  CloseHandle(started.hThread);
  return reinterpret_cast<uintptr_t>(started.hProcess);
}

WaitResult Win32Platform::waitForProcess(ProcessToken process, int milliseconds) {
  DWORD wait = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
  switch (WaitForSingleObject(toHandle(process), wait)) {
    case WAIT_OBJECT_0:
      return WaitResult::ended;
    case WAIT_TIMEOUT:
      return WaitResult::stillRunning;
    default:
      return WaitResult::failed;
  }
}

std::optional<uint32_t> Win32Platform::processExitCode(ProcessToken process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(toHandle(process), &code)) return std::nullopt;
  // STILL_ACTIVE (259) is also a code that a program can end with.
  if (code == STILL_ACTIVE && WaitForSingleObject(toHandle(process), 0) != WAIT_OBJECT_0)
    return std::nullopt;
  return code;
}

void Win32Platform::closeProcess(ProcessToken process) noexcept {
  if (process != 0) CloseHandle(toHandle(process));
}

void Win32Platform::yieldToMessages() {
  // user32 is loaded at its first use (a box, the shell copy). Before that the program has made
  // no window and has no message queue, so nothing waits to be handled, and peeking would load
  // the window system into a run that needs none of it.
  if (GetModuleHandleA("user32.dll") == nullptr) return;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

std::unique_ptr<BackgroundWork> Win32Platform::startAlongside(std::function<void()> work) {
  auto thread = std::make_unique<WorkThread>();
  try {
    thread->thread = std::thread(work);  // a copy: work is still whole if this throws
  } catch (const std::system_error&) {
    work();  // no thread to be had: the work is done before the caller goes on
  }
  return thread;
}

}  // namespace vesk::win32
