// holdfile: holds a file open with no sharing, so that no other process can read, write or
// delete it, until told to let go.
//
//   holdfile.exe FILE STOPFILE READYFILE
//
// Opens FILE (which must exist) with share mode 0, then creates READYFILE so that a test knows
// the file is held, and waits until STOPFILE exists (at most 120 s). Exit code 0 when the file
// was held, 2 for wrong arguments, 3 when FILE could not be opened.

#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE held = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 3;

  HANDLE ready = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);

  // A test that dies before it writes the stop file must not leave the file held forever.
  for (int waited = 0; waited < 120 * 20; ++waited) {
    if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  CloseHandle(held);
  return 0;
}
