#pragma once

#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/registry.h"

namespace vesk {

/// The two client generations: OSQL.exe for "MSDE", sqlcmd.exe for "2005".
enum class ClientForm { msde, sql2005 };

/// The client program that the database backup runs.
struct ClientProgram {
  std::string path;
  /// The registry key it was found under, as regedit names it, when that is not the
  /// generation's own key; empty for the generation's own.
  std::string laterKey;
};

/// Finds the client program of a generation. First the generation's own key (80 for OSQL.exe,
/// 90 for sqlcmd.exe): its SQLPath and "\Binn\" and the program. Only when that names no
/// program, the keys of later client tools, newest first, each in the 32-bit view, then in the
/// 64-bit view, each through its values SQLPath (with "\Binn"), Path and ODBCToolsPath. A
/// candidate counts only when it is a full path (a drive or a share) of an existing file: the
/// program is never looked for on PATH, in the current folder or in the destination. Nothing
/// when no key names one. Failure 1001 "Unsupported value type", from the own key, when that
/// key lacks SQLPath (or holds it in a type the reader does not take) and no later key names a
/// program either.
std::optional<ClientProgram> findClientProgram(Registry& registry, Files& files, ClientForm form);

}  // namespace vesk
