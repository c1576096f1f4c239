// stub_client: stands in for the database command-line clients (installed by the tests as
// <SQLPath>\Binn\OSQL.exe and <SQLPath>\Binn\sqlcmd.exe).
//
// Each start appends one JSON line to args.json next to itself: the program path, the raw command
// line, the argument vector the C runtime parsed, the current folder and the value of
// NoDefaultCurrentDirectoryInExePath (null when unset), "created", its process's creation time
// (GetProcessTimes), and "started", the system time when its main began, both as FILETIME ticks
// (100 ns since 1601, UTC); "passwordLengths", for SQLCMDPASSWORD and OSQLPASSWORD, the length
// of the value (null when unset; never the value), "SQLCMDUSER" (null when unset), and "input",
// what one read of standard input gave: "end" (the end of input at once, as from the NUL
// device), "data", or "none" (no standard input to read). Then it follows control.txt next to
// itself, lines of key=value, all optional:
//   sleep=N     seconds to sleep
//   output=T    text written to the file named after -o; \r \n \\ are unescaped
//   exit=N      exit code (default 0)
// Strings in args.json are escaped like boxtool's: bytes outside printable ASCII as \u00XX.
// Just before it returns, it appends the system time in the same ticks as one line to ends.txt
// next to itself, so that a benchmark can tell when the client ended.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

/// The value of an environment variable; nothing when it is not set.
bool variable(const char* name, std::string& value) {
  char buffer[4096] = "";
  SetLastError(0);
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  value.assign(buffer, length < sizeof buffer ? length : 0);
  return true;
}

std::string jsonText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    char escaped[8];
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x7f) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
  }
  return out;
}

unsigned long long ticks(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

unsigned long long systemTicks() {
  FILETIME time;
  GetSystemTimePreciseAsFileTime(&time);
  return ticks(time);
}

unsigned long long creationTicks() {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return ticks(created);
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned long long started = systemTicks();
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder = self;
  folder.erase(folder.find_last_of('\\') + 1);

  char current[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, current);
  char noDefault[256] = "";
  SetLastError(0);
  const bool hasNoDefault = GetEnvironmentVariableA("NoDefaultCurrentDirectoryInExePath", noDefault,
                                                    sizeof noDefault) > 0 ||
                            GetLastError() != ERROR_ENVVAR_NOT_FOUND;

  std::string record = "{\"program\":" + jsonText(self) +
                       ",\"commandLine\":" + jsonText(GetCommandLineA()) + ",\"argv\":[";
  for (int i = 0; i < argc; ++i) {
    if (i) record += ',';
    record += jsonText(argv[i]);
  }
  record +=
      "],\"cwd\":" + jsonText(current) +
      ",\"NoDefaultCurrentDirectoryInExePath\":" + (hasNoDefault ? jsonText(noDefault) : "null") +
      ",\"created\":" + std::to_string(creationTicks()) + ",\"started\":" + std::to_string(started);
  record += ",\"passwordLengths\":{";
  const char* passwords[] = {"SQLCMDPASSWORD", "OSQLPASSWORD"};
  for (const char* name : passwords) {
    std::string value;
    record += std::string(name == passwords[0] ? "" : ",") + "\"" + name +
              "\":" + (variable(name, value) ? std::to_string(value.size()) : "null");
  }
  std::string user;
  record +=
      std::string("},\"SQLCMDUSER\":") + (variable("SQLCMDUSER", user) ? jsonText(user) : "null");
  char byte = 0;
  DWORD read = 0;
  const bool readable = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr);
  record += std::string(",\"input\":") + (!readable   ? "\"none\""
                                          : read == 0 ? "\"end\""
                                                      : "\"data\"");
  record += "}\n";
  std::ofstream(folder + "args.json", std::ios::binary | std::ios::app) << record;

  int sleepSeconds = 0, exitCode = 0;
  std::string output;
  std::ifstream control(folder + "control.txt", std::ios::binary);
  for (std::string line; std::getline(control, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("sleep=", 0) == 0) sleepSeconds = std::atoi(line.c_str() + 6);
    if (line.rfind("exit=", 0) == 0) exitCode = std::atoi(line.c_str() + 5);
    if (line.rfind("output=", 0) == 0) output = unescape(line.substr(7));
  }

  if (sleepSeconds > 0) Sleep(static_cast<DWORD>(sleepSeconds) * 1000);
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0) {
      std::ofstream(argv[i + 1], std::ios::binary) << output;
      break;
    }
  }
  std::ofstream(folder + "ends.txt", std::ios::binary | std::ios::app) << systemTicks() << "\n";
  return exitCode;
}
