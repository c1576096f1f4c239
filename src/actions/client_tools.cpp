#include "actions/client_tools.h"

#include <iterator>
#include <vector>

#include "actions/paths.h"
#include "config/registry_value.h"
#include "platform/failure.h"

namespace vesk {
namespace {

const std::string vendorKey = "Microsoft\\Microsoft SQL Server\\";
const std::string setupKey = "\\Tools\\ClientSetup";

// The version keys that later client tools and the separate command-line utilities write,
// newest first. The utilities write ODBCToolsPath under the key of the version they belong to
// (their folder is named after the ODBC driver instead), so every key is asked for every value.
constexpr const char* laterVersions[] = {"170", "160", "150", "140", "130", "120", "110", "100"};

struct ValueForm {
  const char* name;
  const char* folderBeforeProgram;  // what stands between the value's folder and the program
};
// SQLPath names the Tools folder (up to 110); Path and ODBCToolsPath name the folder that holds
// the program itself, with or without a trailing backslash.
constexpr ValueForm valueForms[] = {{"SQLPath", "Binn\\"}, {"Path", ""}, {"ODBCToolsPath", ""}};

/// A path that names one place whatever the current drive and folder: "X:\..." or "\\...".
bool isFullPath(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
    const char drive = static_cast<char>(path[0] | 0x20);
    return drive >= 'a' && drive <= 'z';
  }
  return path.rfind("\\\\", 0) == 0;
}

bool isProgram(Files& files, const std::string& path) {
  // Asked by its full form: a value that climbs with ".." can be longer than the file
  // functions take, as the program's own path never is.
  return isFullPath(path) && files.fileExists(files.fullPath(path));
}

std::string toolsKey(const std::string& version) {
  return "SOFTWARE\\" + vendorKey + version + setupKey;
}

/// The key as regedit shows it, the 32-bit view's below Wow6432Node.
std::string keyName(const std::string& version, RegistryView view) {
  return std::string("HKLM\\SOFTWARE\\") + (view == RegistryView::view32 ? "Wow6432Node\\" : "") +
         vendorKey + version + setupKey;
}

/// The program as a later version's key names it in one view, if it does.
std::optional<std::string> programIn(Registry& registry, Files& files, const std::string& version,
                                     RegistryView view, const std::string& program) {
  const std::string key = toolsKey(version);
  for (const ValueForm& form : valueForms) {
    std::optional<RegistryValue> value;
    try {
      value = readRegistryValueIn(registry, RegistryRoot::localMachine, key, view, form.name);
    } catch (const Failure&) {
      continue;  // a value of a type the reader does not take names no folder
    }
    std::string folder = value ? stripAtNul(value->asText()) : std::string();
    if (folder.empty()) continue;
    if (folder.back() != '\\') folder += '\\';
    std::string path = folder + form.folderBeforeProgram + program;
    if (isProgram(files, path)) return path;
  }
  return std::nullopt;
}

}  // namespace

std::optional<ClientProgram> findClientProgram(Registry& registry, Files& files, ClientForm form) {
  const bool msde = form == ClientForm::msde;
  const std::string program = msde ? "OSQL.exe" : "sqlcmd.exe";

  // The own key's program is built as it always was, so that its command line reads as in
  // earlier runs.
  std::optional<Failure> ownKeyFailure;
  try {
    const std::string sqlPath = readRegistryValue(registry, RegistryRoot::localMachine,
                                                  toolsKey(msde ? "80" : "90"), "SQLPath")
                                    .asText();
    const std::string own = stripAtNul(sqlPath) + "\\Binn\\" + program;
    if (isProgram(files, own)) return ClientProgram{own, ""};
  } catch (const Failure& failure) {
    ownKeyFailure = failure;
  }

  // OSQL.exe also came with the client tools of version 90.
  std::vector<std::string> versions(std::begin(laterVersions), std::end(laterVersions));
  if (msde) versions.push_back("90");
  for (const std::string& version : versions) {
    for (RegistryView view : {RegistryView::view32, RegistryView::view64}) {
      if (std::optional<std::string> path = programIn(registry, files, version, view, program))
        return ClientProgram{*path, keyName(version, view)};
    }
  }
  // A key of the generation without its SQLPath was always a failure of the run; it stays one
  // where nothing else serves.
  if (ownKeyFailure) throw *ownKeyFailure;
  return std::nullopt;
}

}  // namespace vesk
