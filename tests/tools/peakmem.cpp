// peakmem: runs one command line and reports how long it ran and how much memory it took.
//
//   peakmem.exe COMMANDFILE OUTFILE
//
// COMMANDFILE holds the exact command line on its first line and, optionally, the current folder
// for the new process on its second (a file, because wine re-quotes the arguments it is given).
// A third line "show=N" starts the process with a console of its own and the show-window code N,
// as a program without a console starts a console program; otherwise it shares this console.
// The process is started with CreateProcessA, no application name, and waited for. While it
// runs, its memory counters (GetProcessMemoryInfo) are read every few milliseconds: Windows
// keeps them after the end, Wine reads them from the live process only, so the last reading
// before the end stands for the peak there. OUTFILE receives one JSON object:
//   {"exitCode":N, "created":T, "exited":T, "noticed":T, "peakWorkingSet":B,
//    "peakPagefile":B, "samples":N, "kernel":D, "user":D}
// with times as FILETIME ticks (100 ns since 1601, UTC): "created" and "exited" from
// GetProcessTimes, "noticed" when the wait returned. "kernel" and "user" are the CPU time of
// the process's own threads (GetProcessTimes: not that of the processes it started), in the
// same unit. Exit status 0, or 1 when the command could
// not be started (OUTFILE then holds {"error":N}).

#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

uint64_t ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t now() {
  FILETIME time;
  GetSystemTimePreciseAsFileTime(&time);
  return ticks(time);
}

struct Peak {
  SIZE_T workingSet = 0;
  SIZE_T pagefile = 0;
  unsigned samples = 0;

  void read(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return;
    ++samples;
    if (counters.PeakWorkingSetSize > workingSet) workingSet = counters.PeakWorkingSetSize;
    if (counters.PeakPagefileUsage > pagefile) pagefile = counters.PeakPagefileUsage;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: peakmem COMMANDFILE OUTFILE\n");
    return 2;
  }
  std::ifstream commandFile(argv[1], std::ios::binary);
  std::string commandLine, folder, show;
  std::getline(commandFile, commandLine);
  std::getline(commandFile, folder);
  std::getline(commandFile, show);
  for (std::string* line : {&commandLine, &folder, &show})
    if (!line->empty() && line->back() == '\r') line->pop_back();

  std::ofstream out(argv[2], std::ios::binary);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  DWORD flags = 0;
  if (show.rfind("show=", 0) == 0) {
    flags = CREATE_NEW_CONSOLE;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(std::atoi(show.c_str() + 5));
  }
  PROCESS_INFORMATION info{};
  commandLine.push_back('\0');
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    out << "{\"error\":" << GetLastError() << "}\n";
    return 1;
  }
  CloseHandle(info.hThread);

  Peak peak;
  while (WaitForSingleObject(info.hProcess, 5) == WAIT_TIMEOUT) peak.read(info.hProcess);
  const uint64_t noticed = now();
  peak.read(info.hProcess);

  DWORD exitCode = 0;
  GetExitCodeProcess(info.hProcess, &exitCode);
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(info.hProcess, &created, &exited, &kernel, &user);
  CloseHandle(info.hProcess);

  std::ostringstream json;
  json << "{\"exitCode\":" << exitCode << ",\"created\":" << ticks(created)
       << ",\"exited\":" << ticks(exited) << ",\"noticed\":" << noticed
       << ",\"peakWorkingSet\":" << peak.workingSet << ",\"peakPagefile\":" << peak.pagefile
       << ",\"samples\":" << peak.samples << ",\"kernel\":" << ticks(kernel)
       << ",\"user\":" << ticks(user) << "}\n";
  out << json.str();
  return 0;
}
