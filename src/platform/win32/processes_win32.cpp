// The Win32 layer: started processes, the program's window messages, the wall clock, and the
// current drive and folder that a started process inherits.

#include <algorithm>
#include <cwchar>
#include <optional>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace vesk::win32 {
namespace {

/// The failure of a start, with the system's own text for its code: the runner's box says only
/// "error", the text is for whoever debugs it.
[[noreturn]] void throwStartFailure(DWORD code) {
  char* text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string description = text ? text : "system error " + std::to_string(code);
  LocalFree(text);
  while (!description.empty() &&
         (description.back() == '\r' || description.back() == '\n' || description.back() == ' '))
    description.pop_back();  // the system's texts end in ".\r\n"
  Failure failure = fileSystemFailure(code);
  failure.detail = description;
  throw failure;
}

HANDLE toHandle(ProcessToken token) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(token));
}

WORD showCommandOf(WindowMode window) {
  switch (window) {
    case WindowMode::hidden:
      return SW_HIDE;
    case WindowMode::maximised:
      break;
  }
  return SW_SHOWMAXIMIZED;
}

/// The program's path as CreateProcessA is handed it: in its full form, ".." resolved. Wine's
/// CreateProcessA overruns a buffer on an existing program named by MAX_PATH characters or more
/// (a SQLPath that goes round by "..", say), and Windows takes no longer name either.
std::string programPath(const std::string& applicationName) {
  if (applicationName.empty()) return applicationName;
  std::optional<std::u16string> full = fullPathName(utf16FromAnsi(applicationName));
  if (!full) throwStartFailure(ERROR_INVALID_NAME);
  if (full->size() >= MAX_PATH) throwStartFailure(ERROR_FILENAME_EXCED_RANGE);
  return ansiFromUtf16(*full);
}

/// The standard handles of a child: for output and errors the file it is given, created or
/// emptied as a command interpreter's ">" does, or the NUL device when there is none or it
/// cannot be made; the NUL device for input. They are inheritable, as handles handed to a child
/// must be; the program opens no other handle so, and the child gets these and at most what the
/// program's own parent handed down as inheritable.
class ChildIo {
 public:
  explicit ChildIo(const std::string& outputPath)
      : file_(ownedHandle(outputPath.empty()
                              ? nullptr
                              : openInheritable(outputPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS))),
        nulOutput_(ownedHandle(
            file_.valid() ? nullptr : openInheritable("NUL", GENERIC_WRITE, OPEN_EXISTING))),
        input_(ownedHandle(openInheritable("NUL", GENERIC_READ, OPEN_EXISTING))) {
    if (!output() || !input()) throwStartFailure(GetLastError());
  }

  HANDLE output() const { return file_.valid() ? file_.get() : nulOutput_.get(); }
  /// The handles the child is to inherit, and none besides.
  std::vector<HANDLE> handed() const { return {input(), output()}; }
  HANDLE input() const { return input_.get(); }
  /// False when a file was asked for and could not be made.
  bool outputKept(const std::string& outputPath) const {
    return outputPath.empty() || file_.valid();
  }

 private:
  static HANDLE openInheritable(const char* path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    // Shared for reading and writing, so that the file can be looked at while the child runs.
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  Handle file_, nulOutput_, input_;
};

/// The list of the handles that a child inherits, as CreateProcess takes it; without a list
/// (a system that offers none) the child inherits every inheritable handle.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    std::sort(handles_.begin(), handles_.end());
    handles_.erase(std::unique(handles_.begin(), handles_.end()), handles_.end());
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      DeleteProcThreadAttributeList(list);
      return;
    }
    list_ = list;
  }
  ~InheritedHandles() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  std::vector<HANDLE> handles_;  // the list points into it
  std::vector<char> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

uint64_t ticksOf(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

/// When the process was created; 0 when that cannot be read.
uint64_t creationTimeOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return ticksOf(created);
}

/// The name of an environment entry: up to its first "=" after the first character ("=C:=C:\x"
/// names "=C:").
std::u16string_view variableName(std::u16string_view entry) {
  return entry.substr(0, entry.find(u'=', 1));
}

/// Names ordered as the system orders those of environment variables: letter case ignored.
int compareVariables(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(
      reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
      reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()), TRUE);
}

/// This program's environment with the variables added (one of the same name replaced), as the
/// block of UTF-16 texts that CreateProcess takes, sorted by name as the system keeps it.
std::u16string environmentBlock(const std::vector<std::pair<std::string, std::string>>& added) {
  std::vector<std::u16string> entries;
  if (wchar_t* own = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1)
      entries.emplace_back(reinterpret_cast<const char16_t*>(entry));
    FreeEnvironmentStringsW(own);
  }
  for (const auto& [name, value] : added) {
    const std::u16string wideName = utf16FromAnsi(name);
    std::erase_if(entries, [&](const std::u16string& entry) {
      return compareVariables(variableName(entry), wideName) == CSTR_EQUAL;
    });
    entries.push_back(wideName + u"=" + utf16FromAnsi(value));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return compareVariables(variableName(a), variableName(b)) == CSTR_LESS_THAN;
  });
  std::u16string block;
  for (const std::u16string& entry : entries) block += entry + u'\0';
  return block + u'\0';
}

}  // namespace

StartedProcess Win32Processes::startProcess(const ProcessStart& start) {
  if (hasNul(start.applicationName) || hasNul(start.commandLine) || hasNul(start.outputPath) ||
      hasNul(start.currentFolder))
    throwStartFailure(ERROR_INVALID_PARAMETER);
  // With this variable in the environment the system takes no program from the current
  // folder: not when this process looks for the program to start, nor when a child command
  // interpreter looks for the programs it runs. Set in this process, it reaches every child
  // with the rest of the environment, unchanged by any code-page conversion.
  SetEnvironmentVariableA("NoDefaultCurrentDirectoryInExePath", "1");

  const std::string program = programPath(start.applicationName);
  std::vector<char> line(start.commandLine.begin(), start.commandLine.end());
  line.push_back('\0');  // CreateProcessA may write into the command line
  STARTUPINFOEXA extended{};
  STARTUPINFOA& startup = extended.StartupInfo;
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showCommandOf(start.window);
  std::optional<ChildIo> io;
  std::optional<InheritedHandles> inherited;
  if (!start.outputPath.empty() || start.inputFromNul) {
    io.emplace(start.outputPath);
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = io->input();
    startup.hStdOutput = io->output();
    startup.hStdError = io->output();
    // The child inherits its standard handles alone: not what the program's own parent handed
    // down as inheritable (a pipe that a caller reads to its end would stay open for as long as
    // a database client runs).
    inherited.emplace(io->handed());
    if (inherited->list()) {
      startup.cb = sizeof extended;
      extended.lpAttributeList = inherited->list();
    }
  }
  // Variables for the child alone go into an environment block of its own; the program's own
  // environment, which every other child inherits, never holds them.
  std::u16string environment;
  if (!start.environment.empty()) environment = environmentBlock(start.environment);
  PROCESS_INFORMATION started{};
  const DWORD flags = (environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT) |
                      (extended.lpAttributeList ? EXTENDED_STARTUPINFO_PRESENT : 0);
  auto create = [&](DWORD more) {
    // The child's own copies of the handles stay open in it; ours close on the way out.
    return CreateProcessA(
        program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr,
        io ? TRUE : FALSE, flags | more, environment.empty() ? nullptr : environment.data(),
        start.currentFolder.empty() ? nullptr : start.currentFolder.c_str(), &startup, &started);
  };
  // A job that does not let its processes go refuses the breakaway: then the program stays in
  // it, as any other would.
  if (!(start.outlivesTheRun && create(CREATE_BREAKAWAY_FROM_JOB)) && !create(0))
    throwStartFailure(GetLastError());
  CloseHandle(started.hThread);
  return {reinterpret_cast<uintptr_t>(started.hProcess), !io || io->outputKept(start.outputPath),
          started.dwProcessId, creationTimeOf(started.hProcess)};
}

std::optional<ProcessToken> Win32Processes::openProcess(uint32_t processId, uint64_t creationTime) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) return std::nullopt;
  // An id that another process has taken over since is not the one asked for.
  if (creationTime == 0 || creationTimeOf(process) != creationTime) {
    CloseHandle(process);
    return std::nullopt;
  }
  return reinterpret_cast<uintptr_t>(process);
}

WaitResult Win32Processes::waitForProcess(ProcessToken process, int milliseconds) {
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

std::optional<uint32_t> Win32Processes::processExitCode(ProcessToken process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(toHandle(process), &code)) return std::nullopt;
  // STILL_ACTIVE (259) is also a code that a program can end with.
  if (code == STILL_ACTIVE && WaitForSingleObject(toHandle(process), 0) != WAIT_OBJECT_0)
    return std::nullopt;
  return code;
}

void Win32Processes::closeProcess(ProcessToken process) noexcept {
  if (process != 0) CloseHandle(toHandle(process));
}

std::optional<std::string> Win32Processes::programOf(ProcessToken process) {
  std::vector<wchar_t> path(32'768);
  DWORD size = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(toHandle(process), 0, path.data(), &size)) return std::nullopt;
  return ansiFromUtf16(std::u16string(reinterpret_cast<const char16_t*>(path.data()), size));
}

void Win32Processes::yieldToMessages() {
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

int64_t Win32Processes::wallClockSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);  // universal time: a change of daylight saving is no jump
  uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10'000'000);
}

void Win32Processes::changeDrive(const std::string& text) {
  if (text.empty() || !isAsciiLetter(text[0])) throw fileSystemFailure(ERROR_INVALID_DRIVE);
  // "X:" returns to the folder last current on that drive; when that folder is gone, the
  // drive's root will do.
  std::string drive = {static_cast<char>(text[0] & ~0x20), ':'};  // Wine keeps a lower case
  if (SetCurrentDirectoryA(drive.c_str())) return;
  DWORD code = GetLastError();
  if (SetCurrentDirectoryA((drive + "\\").c_str())) return;
  throwPathFailure(code);
}

void Win32Processes::changeFolder(const std::string& path) {
  checkPathText(path);
  if (!SetCurrentDirectoryA(path.c_str())) throwPathFailure(GetLastError());
}

}  // namespace vesk::win32
