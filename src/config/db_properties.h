#pragma once

#include <cstdint>
#include <string>

#include "config/settings_file.h"

namespace vesk {

/// What db.properties tells about the database and its client.
struct DbSettings {
  std::string serverVersion;  // "MSDE", "2005" or empty
  std::string dbHost;
  std::string dbPort;
  std::string dbUser;
  std::string dbPassword;
};

/// Steps 84 to 109: reads the records of the open db.properties to its end into settings,
/// keeping stepNumber current. A malformed record raises failure 9 or 5 at its step.
void readDbSettings(SettingsFile& file, DbSettings& settings, uint32_t& stepNumber);

}  // namespace vesk
