#pragma once

#include <cstdint>
#include <string>

#include "config/settings_file.h"

namespace vesk {

/// The generation of the database server, by its provider: "MSDE" (SQLOLEDB) or "2005"
/// (SQLNCLI.1), or none that the run supports.
enum class ServerVersion { none, msde, sql2005 };

/// The version as the run log names it: "MSDE", "2005", or empty for none.
const char* serverVersionName(ServerVersion version);

/// What db.properties tells about the database and its client.
struct DbSettings {
  ServerVersion serverVersion = ServerVersion::none;
  std::string dbHost;
  std::string dbPort;
  std::string dbUser;
  std::string dbPassword;
};

/// Reads the records of the open db.properties to its end into settings. A malformed record
/// raises failure 9 or 5 with the step of the read that found it.
void readDbSettings(SettingsFile& file, DbSettings& settings);

}  // namespace vesk
