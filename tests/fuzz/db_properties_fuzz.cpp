// Fuzz target: any bytes as the content of db.properties, read by readDbSettings.
//
// Properties, for every input:
// - the reading either finishes or raises a Failure, and nothing else: failure 9 (a missing piece)
// at step 89, 99, 104, 105, 107 or 109, or failure 5
//   (an invalid argument) at step 100 or 102;
// - the outcome is the one that a second, independent reading of the same records predicts:
//   the same failure at the same step for the first malformed record, or else the same five
//   values;
// - every record read consumes input, so the record loop ends.

#include <optional>
#include <vector>

#include "config/db_properties.h"
#include "fuzz_check.h"
#include "platform/failure.h"

namespace vesk {
namespace {

struct Outcome {
  DbSettings settings;
  std::optional<std::pair<int32_t, uint32_t>> failure;  // number and step
};

std::string describe(const Outcome& outcome) {
  if (outcome.failure)
    return "failure " + std::to_string(outcome.failure->first) + " at step " +
           std::to_string(outcome.failure->second);
  const DbSettings& s = outcome.settings;
  return "finished: [" + std::string(serverVersionName(s.serverVersion)) + "] [" +
         fuzz::shown(s.dbHost) + "] [" + fuzz::shown(s.dbPort) + "] [" + fuzz::shown(s.dbUser) +
         "] [" + fuzz::shown(s.dbPassword) + "]";
}

/// The outcome as the failure table of the database settings states it, worked out with
/// 0-based searches rather than the 1-based positions of the reader.
Outcome predicted(const std::string& content) {
  Outcome outcome;
  DbSettings& s = outcome.settings;
  SettingsFile file(content);
  size_t records = 0;
  auto fail = [&outcome](int32_t number, uint32_t step) {
    outcome.failure = std::make_pair(number, step);
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
      if (!hasValue) return fail(9, 89);
      if (pieces[1].find("SQLOLEDB") != std::string::npos)
        s.serverVersion = ServerVersion::msde;
      else if (pieces[1].find("SQLNCLI.1") != std::string::npos)
        s.serverVersion = ServerVersion::sql2005;
    } else if (key == "dbconn.appl.url") {
      if (!hasValue) return fail(9, 99);
      const std::string& url = pieces[1];
      size_t scheme = url.find("://");
      if (scheme == std::string::npos) return fail(5, 100);
      size_t semicolon = url.find(';', scheme + 3);
      if (semicolon == std::string::npos) return fail(5, 102);
      std::string hostAndPort = url.substr(scheme + 3, semicolon - scheme - 3);
      if (hostAndPort.empty()) return fail(9, 104);
      size_t colon = hostAndPort.find(':');
      s.dbHost = hostAndPort.substr(0, colon);
      if (colon == std::string::npos) return fail(9, 105);
      s.dbPort = hostAndPort.substr(colon + 1, hostAndPort.find(':', colon + 1) - colon - 1);
    } else if (key == "dbconn.appl.user") {
      if (!hasValue) return fail(9, 107);
      s.dbUser = pieces[1];
    } else if (key == "dbconn.appl.pwd") {
      if (!hasValue) return fail(9, 109);
      s.dbPassword = pieces[1];
    }
  }
  return outcome;
}

bool sameSettings(const DbSettings& a, const DbSettings& b) {
  return a.serverVersion == b.serverVersion && a.dbHost == b.dbHost && a.dbPort == b.dbPort &&
         a.dbUser == b.dbUser && a.dbPassword == b.dbPassword;
}

bool isTableStep(int32_t number, uint32_t step) {
  switch (step) {
    case 89:
    case 99:
    case 104:
    case 105:
    case 107:
    case 109:
      return number == failure::subscriptOutOfRange;
    case 100:
    case 102:
      return number == failure::invalidArgument;
    default:
      return false;
  }
}

}  // namespace
}  // namespace vesk

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  const std::string content = fuzz::inputText(data, size);

  Outcome actual;
  try {
    SettingsFile file(content);
    readDbSettings(file, actual.settings);
  } catch (const Failure& failure) {
    const auto step = static_cast<uint32_t>(failure.step);
    FUZZ_CHECK(failure.step >= 0 && isTableStep(failure.number, step),
               "failure " + std::to_string(failure.number) + " at step " +
                   std::to_string(failure.step) + ": " + fuzz::shown(content));
    actual.failure = std::make_pair(failure.number, step);
  } catch (...) {
    FUZZ_CHECK(false, "an exception other than Failure: " + fuzz::shown(content));
  }

  const Outcome expected = predicted(content);
  FUZZ_CHECK(actual.failure == expected.failure,
             describe(actual) + ", expected " + describe(expected) + ": " + fuzz::shown(content));
  if (!actual.failure)
    FUZZ_CHECK(sameSettings(actual.settings, expected.settings),
               describe(actual) + ", expected " + describe(expected));
  return 0;
}
