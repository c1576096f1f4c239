// Fuzz target: any bytes as the content of db.properties, read by readDbSettings.
//
// Properties, for every input:
// - the reading either finishes or raises a MalformedRecord, and nothing else: a missing piece
//   for a key without "=", a url without host or port, or an invalid argument for a url without
//   "://" or without ";" after it;
// - the outcome is the one that a second, independent reading of the same records predicts:
//   the same failure in the same part of the first malformed record, or else the same five
//   values;
// - every record read consumes input, so the record loop ends.

#include <optional>
#include <vector>

#include "config/db_properties.h"
#include "config/settings_file.h"
#include "fuzz_check.h"
#include "platform/failure.h"

namespace vesk {
namespace {

struct Outcome {
  DbSettings settings;
  std::optional<std::pair<Fault, DbRecordPart>> failure;
};

std::string describe(const Outcome& outcome) {
  if (outcome.failure)
    return "failure " + std::to_string(static_cast<int>(outcome.failure->first)) + " in part " +
           std::to_string(static_cast<int>(outcome.failure->second));
  const DbSettings& s = outcome.settings;
  return "finished: [" + std::string(serverVersionName(s.serverVersion)) + "] [" +
         fuzz::shown(s.dbHost) + "] [" + fuzz::shown(s.dbPort) + "] [" + fuzz::shown(s.dbUser) +
         "] [" + fuzz::shown(s.dbPassword) + "]";
}

/// The outcome as the rules of db.properties give it, worked out with 0-based searches rather
/// than the 1-based positions of the reader.
Outcome predicted(const std::string& content) {
  Outcome outcome;
  DbSettings& s = outcome.settings;
  SettingsFile file(content);
  size_t records = 0;
  using Part = DbRecordPart;
  auto missing = [&outcome](Part part) {
    outcome.failure = std::make_pair(Fault::subscriptOutOfRange, part);
    return outcome;
  };
  auto invalid = [&outcome](Part part) {
    outcome.failure = std::make_pair(Fault::invalidArgument, part);
    return outcome;
  };
  while (!file.atEnd()) {
    FUZZ_CHECK(++records <= content.size(), "the record loop does not end");
    std::string record = file.readRecord();
    if (record.empty()) continue;
    std::vector<std::string> pieces = splitSettingsRecord(record);
    FUZZ_CHECK(!pieces.empty(), fuzz::shown(record));
    const std::string& key = pieces[0];
    const bool hasValue = pieces.size() >= 2;
    if (key == "DB_PROVIDER") {
      if (!hasValue) return missing(Part::providerValue);
      if (pieces[1].find("SQLOLEDB") != std::string::npos)
        s.serverVersion = ServerVersion::msde;
      else if (pieces[1].find("SQLNCLI.1") != std::string::npos)
        s.serverVersion = ServerVersion::sql2005;
    } else if (key == "dbconn.appl.url") {
      if (!hasValue) return missing(Part::urlValue);
      const std::string& url = pieces[1];
      size_t scheme = url.find("://");
      if (scheme == std::string::npos) return invalid(Part::urlScheme);
      size_t semicolon = url.find(';', scheme + 3);
      if (semicolon == std::string::npos) return invalid(Part::urlHostLength);
      std::string hostAndPort = url.substr(scheme + 3, semicolon - scheme - 3);
      if (hostAndPort.empty()) return missing(Part::urlHost);
      size_t colon = hostAndPort.find(':');
      s.dbHost = hostAndPort.substr(0, colon);
      if (colon == std::string::npos) return missing(Part::urlPort);
      s.dbPort = hostAndPort.substr(colon + 1, hostAndPort.find(':', colon + 1) - colon - 1);
    } else if (key == "dbconn.appl.user") {
      if (!hasValue) return missing(Part::userValue);
      s.dbUser = pieces[1];
    } else if (key == "dbconn.appl.pwd") {
      if (!hasValue) return missing(Part::passwordValue);
      s.dbPassword = pieces[1];
    }
  }
  return outcome;
}

bool sameSettings(const DbSettings& a, const DbSettings& b) {
  return a.serverVersion == b.serverVersion && a.dbHost == b.dbHost && a.dbPort == b.dbPort &&
         a.dbUser == b.dbUser && a.dbPassword == b.dbPassword;
}

}  // namespace
}  // namespace vesk

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  const std::string content = fuzz::inputText(data, size);

  Outcome actual;
  try {
    actual.settings = readDbSettings(content);
  } catch (const MalformedRecord& failure) {
    actual.failure = std::make_pair(failure.fault, failure.where);
  } catch (...) {
    FUZZ_CHECK(false, "an exception other than MalformedRecord: " + fuzz::shown(content));
  }

  const Outcome expected = predicted(content);
  FUZZ_CHECK(actual.failure == expected.failure,
             describe(actual) + ", expected " + describe(expected) + ": " + fuzz::shown(content));
  if (!actual.failure)
    FUZZ_CHECK(sameSettings(actual.settings, expected.settings),
               describe(actual) + ", expected " + describe(expected));
  return 0;
}
