#pragma once

#include <cstdint>
#include <string>

#include "platform/failure.h"

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

/// The part of a db.properties record that was not of the shape the reading needs.
enum class DbRecordPart {
  providerValue,  // DB_PROVIDER without "="
  urlValue,       // dbconn.appl.url without "="
  urlScheme,      // a url without "://"
  urlHostLength,  // a url without ";" after its "://"
  urlHost,        // nothing between "://" and ";"
  urlPort,        // a host without ":" and port
  userValue,      // dbconn.appl.user without "="
  passwordValue,  // dbconn.appl.pwd without "="
};

/// A malformed record: Fault::subscriptOutOfRange for a missing piece, Fault::invalidArgument for
/// a url whose positions do not fit, and the part of the record that raised it.
using MalformedRecord = FailureIn<DbRecordPart>;

/// The settings in the text of db.properties (see settingsFileText), its records read in order,
/// so that the last record of a key wins. The first malformed record raises MalformedRecord.
DbSettings readDbSettings(const std::string& text);

}  // namespace vesk
