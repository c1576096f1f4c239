// boxtool: reads and closes the message boxes of a program running in the same Wine prefix.
//
//   boxtool.exe OUTFILE STOPFILE [--delay-ms N] [--delay-boxes K] [--timeout-s N]
//
// Every top-level dialog window (class "#32770") is recorded once, as one JSON line appended to
// OUTFILE: {"caption":..., "text":..., "found":..., "pressed":...}, times as local
// "YYYY-MM-DD HH:MM:SS.mmm". Bytes outside printable ASCII are written as \u00XX, so a reader
// gets the ANSI bytes back by taking each character's code. After the optional delay the box gets
// IDOK, and again once a second while it stays open. The delay holds for the first K boxes only
// when --delay-boxes is given. The tool ends when STOPFILE exists or after
// the timeout (default 120 s).

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string jsonText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string localNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

std::string windowCaption(HWND window) {
  std::vector<char> buffer(GetWindowTextLengthA(window) + 2);
  int length = GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), length > 0 ? length : 0);
}

std::string boxText(HWND window) {
  // A message box keeps its text in a static control with the id 0xFFFF.
  std::vector<char> buffer(65536);
  UINT length = GetDlgItemTextA(window, 0xFFFF, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), length);
}

void appendRecord(const std::string& path, const std::string& line) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

struct Watch {
  std::set<HWND> seen;     // recorded, never recorded again
  std::vector<HWND> open;  // recorded and pressed, pressed again while they stay open
};

BOOL CALLBACK collectDialog(HWND window, LPARAM found) {
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window))
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: boxtool OUTFILE STOPFILE [--delay-ms N] [--delay-boxes K] "
                 "[--timeout-s N]\n");
    return 2;
  }
  const std::string outPath = argv[1], stopPath = argv[2];
  DWORD delayMs = 0, timeoutMs = 120000;
  size_t delayBoxes = SIZE_MAX;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--delay-ms") == 0) delayMs = std::strtoul(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--delay-boxes") == 0)
      delayBoxes = std::strtoul(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--timeout-s") == 0)
      timeoutMs = std::strtoul(argv[i + 1], nullptr, 10) * 1000;
  }

  Watch watch;
  const DWORD start = GetTickCount();
  DWORD lastRepress = start;
  while (GetFileAttributesA(stopPath.c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetTickCount() - start < timeoutMs) {
    std::vector<HWND> dialogs;
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND box : dialogs) {
      if (!watch.seen.insert(box).second) continue;
      const std::string found = localNow();
      const std::string caption = windowCaption(box), text = boxText(box);
      if (delayMs && watch.seen.size() <= delayBoxes) Sleep(delayMs);
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      appendRecord(outPath, "{\"caption\":" + jsonText(caption) + ",\"text\":" + jsonText(text) +
                                ",\"found\":\"" + found + "\",\"pressed\":\"" + localNow() +
                                "\"}\n");
      watch.open.push_back(box);
    }
    if (GetTickCount() - lastRepress >= 1000) {
      // A box that missed its IDOK (posted before it was ready) gets another one.
      std::vector<HWND> stillOpen;
      for (HWND box : watch.open) {
        if (!IsWindow(box)) continue;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        stillOpen.push_back(box);
      }
      watch.open.swap(stillOpen);
      lastRepress = GetTickCount();
    }
    Sleep(20);
  }
  return 0;
}
