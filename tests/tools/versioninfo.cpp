// versioninfo: prints the version resource of an executable as Windows reads it for the file's
// properties, one key=value line each:
//   FixedFileVersion=a.b.c.d and FixedProductVersion=a.b.c.d from VS_FIXEDFILEINFO, then the
//   strings of the first language and code page that \VarFileInfo\Translation names
//   (FileVersion, ProductVersion, ProductName, FileDescription, LegalCopyright, ...).
// Exit status 1 when the file has no version resource.
//
//   versioninfo.exe FILE

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

void printVersion(const char* name, DWORD high, DWORD low) {
  std::printf("%s=%u.%u.%u.%u\n", name, unsigned{HIWORD(high)}, unsigned{LOWORD(high)},
              unsigned{HIWORD(low)}, unsigned{LOWORD(low)});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: versioninfo FILE\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  if (size == 0) {
    std::fprintf(stderr, "no version resource (error %lu)\n", GetLastError());
    return 1;
  }
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(argv[1], 0, size, data.data())) {
    std::fprintf(stderr, "GetFileVersionInfoA failed (error %lu)\n", GetLastError());
    return 1;
  }

  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    printVersion("FixedFileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    printVersion("FixedProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  }

  struct Translation {
    WORD language;
    WORD codePage;
  };
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) ||
      length < sizeof(Translation)) {
    std::fprintf(stderr, "no translation table\n");
    return 1;
  }
  const auto* translation = static_cast<const Translation*>(value);
  std::printf("Translation=%04x%04x\n", translation->language, translation->codePage);
  for (const char* name : {"FileVersion", "ProductVersion", "ProductName", "FileDescription",
                           "InternalName", "OriginalFilename", "LegalCopyright"}) {
    char key[128];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                  translation->codePage, name);
    if (VerQueryValueA(data.data(), key, &value, &length) && length > 0)
      std::printf("%s=%s\n", name, static_cast<const char*>(value));
  }
  return 0;
}
