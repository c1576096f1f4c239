// The Win32 layer: what happens when the program crashes. Under Wine a stack overflow or an
// access violation that nobody handles has ended the process with exit status 0, which a
// scheduler shows as success; here every crash ends with the exit status the run gives it, after
// the run has recorded it.
//
// The faulting thread may have no stack left and may hold locks (the heap's, say), so it does
// as little as it can: it hands the crash to a thread started for this alone, which records it
// with a stack of its own and ends the process. Whatever fails after the first crash ends the
// process with the exit status at once.

#include <atomic>
#include <cstdio>
#include <exception>

#include "platform/win32/win32_platform.h"

namespace vesk::win32 {
namespace {

/// Stack kept for the faulting thread's handler after an overflow.
constexpr ULONG guaranteedStack = 64 * 1024;
/// How long the faulting thread waits for the crash to be recorded: the record may wait on a
/// lock that the faulting thread holds.
constexpr DWORD recordWaitMs = 30'000;

struct CrashState {
  std::atomic<bool> crashing{false};
  int exitStatus = 0;
  std::function<std::string(const Crash&)> record;
  HANDLE crashed = nullptr;   // set by the faulting thread
  HANDLE recorded = nullptr;  // set by the reporting thread
  // Filled by the faulting thread without taking memory from the heap.
  int32_t number = 0;
  char description[512] = {};
};

CrashState state;

[[noreturn]] void endNow() {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(state.exitStatus));
  for (;;) Sleep(INFINITE);  // TerminateProcess of the own process does not return
}

/// Hands the crash to the reporting thread and waits for it to end the process.
[[noreturn]] void crash(int32_t number, const char* description) {
  if (state.crashing.exchange(true) || state.crashed == nullptr) endNow();
  state.number = number;
  std::snprintf(state.description, sizeof state.description, "%s", description);
  SetEvent(state.crashed);
  if (WaitForSingleObject(state.recorded, recordWaitMs) != WAIT_OBJECT_0) endNow();
  // The reporting thread shows the box, then ends the process.
  for (;;) Sleep(INFINITE);
}

DWORD WINAPI reportCrash(void*) {
  WaitForSingleObject(state.crashed, INFINITE);
  std::string box;
  try {
    box = state.record(Crash{state.number, state.description});
  } catch (...) {
  }
  SetEvent(state.recorded);
  if (!box.empty()) {
    try {
      Win32Desktop().showMessage(box);
    } catch (...) {
    }
  }
  endNow();
}

const char* nameOf(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
      return "access violation";
    case EXCEPTION_STACK_OVERFLOW:
      return "stack overflow";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "integer division by zero";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "illegal instruction";
    case EXCEPTION_IN_PAGE_ERROR:
      return "page could not be read";
    default:
      break;
  }
  return "exception";
}

[[noreturn]] void crashWithCode(DWORD code) {
  char description[64];
  std::snprintf(description, sizeof description, "%s (%08lx)", nameOf(code),
                static_cast<unsigned long>(code));
  crash(static_cast<int32_t>(code), description);
}

/// Called first for every exception; takes only a stack overflow, which no code of the program
/// or of the system handles and after which the unhandled-exception filter may not run.
LONG WINAPI firstLook(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
    crashWithCode(EXCEPTION_STACK_OVERFLOW);
  return EXCEPTION_CONTINUE_SEARCH;
}

/// Called for an exception that nothing handled.
LONG WINAPI lastLook(EXCEPTION_POINTERS* exception) {
  crashWithCode(exception->ExceptionRecord->ExceptionCode);
}

/// An exception that leaves main, or one thrown where none may be (std::terminate).
[[noreturn]] void terminated() {
  const char* what = "unknown";
  try {
    if (const std::exception_ptr current = std::current_exception())
      std::rethrow_exception(current);
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  char description[400];
  std::snprintf(description, sizeof description, "unhandled exception: %s", what);
  crash(0, description);
}

}  // namespace

void Win32System::onCrash(int exitStatus, std::function<std::string(const Crash&)> record) {
  state.exitStatus = exitStatus;
  state.record = std::move(record);
  if (state.crashed != nullptr) return;
  ULONG stack = guaranteedStack;
  SetThreadStackGuarantee(&stack);
  state.crashed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  state.recorded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = state.crashed && state.recorded
                      ? CreateThread(nullptr, 0, reportCrash, nullptr, 0, nullptr)
                      : nullptr;
  // Without its thread a crash still ends the process with the exit status, unrecorded.
  if (thread == nullptr)
    state.crashed = nullptr;
  else
    CloseHandle(thread);
  AddVectoredExceptionHandler(1, firstLook);
  SetUnhandledExceptionFilter(lastLook);
  std::set_terminate(terminated);
  // No SetErrorMode: the programs the run starts would inherit it. The system's own crash
  // dialog comes only after the filter above, which never returns.
}

}  // namespace vesk::win32
