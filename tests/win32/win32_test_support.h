#pragma once

// Helpers of the Win32 layer's tests: a throwaway folder, files with exact bytes, this
// program's own path (the tests start it as their child), the number of a failure.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <optional>
#include <string>

#include "platform/failure.h"

namespace vesk::testing {

/// What op raised, or nothing when it raised no failure.
template <typename Op>
std::optional<Fault> raisedFault(Op op) {
  try {
    op();
  } catch (const Failure& failure) {
    return failure.fault;
  }
  return std::nullopt;
}

inline std::string selfPath() {
  char path[MAX_PATH * 4] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

inline std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

/// Writes content byte for byte, replacing the file.
inline bool writeFile(const std::string& path, const std::string& content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

/// Writes content byte for byte to a path in the long form, replacing the file.
inline bool writeFile(const std::u16string& path, const std::string& content) {
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_WRITE, 0,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

/// The content of a file, or "<missing>".
inline std::string fileText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) content.append(chunk, got);
  CloseHandle(file);
  return content;
}

inline std::string currentFolder() {
  char path[MAX_PATH * 4] = {};
  GetCurrentDirectoryA(sizeof path, path);
  return path;
}

/// A letter that names no drive, for the tests of missing drives.
inline char missingDriveLetter() {
  DWORD drives = GetLogicalDrives();
  for (char letter = 'Y'; letter > 'C'; --letter)
    if (!(drives & (1u << (letter - 'A')))) return letter;
  return 'B';
}

inline void removeTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeTree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

/// Removes a tree given in the long form of the wide-character functions.
inline void removeWideTree(const std::u16string& path) {
  auto wide = [](const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
  };
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(wide(path + u"\\*"), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = reinterpret_cast<const char16_t*>(data.cFileName);
      if (name == u"." || name == u"..") continue;
      std::u16string child = path + u"\\" + name;
      SetFileAttributesW(wide(child), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeWideTree(child);
      else
        DeleteFileW(wide(child));
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(wide(path));
}

/// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    static int count = 0;
    char base[MAX_PATH] = {};
    GetTempPathA(sizeof base, base);
    path = std::string(base) + "vesk-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++count);
    CreateDirectoryA(path.c_str(), nullptr);
  }
  ~TempFolder() { removeTree(path); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string operator/(const std::string& name) const { return path + "\\" + name; }

  std::string path;
};

}  // namespace vesk::testing
