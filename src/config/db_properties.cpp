#include "config/db_properties.h"

#include "platform/failure.h"

namespace vesk {

namespace {

// Positions are 1-based and 0 means "not found", as the step numbers of the url parsing and
// the failures they raise are defined in those terms.

/// Position of what in text, searching from the 1-based position start; 0 when absent.
/// A start below 1 is an invalid argument.
int64_t findFrom(int64_t start, const std::string& text, const std::string& what) {
  if (start < 1) throw invalidArgument();
  if (start > static_cast<int64_t>(text.size())) return 0;
  size_t found = text.find(what, static_cast<size_t>(start - 1));
  return found == std::string::npos ? 0 : static_cast<int64_t>(found) + 1;
}

/// The length characters of text from the 1-based position start, fewer when text ends
/// sooner. A start below 1 or a negative length is an invalid argument.
std::string middle(const std::string& text, int64_t start, int64_t length) {
  if (start < 1 || length < 0) throw invalidArgument();
  if (start > static_cast<int64_t>(text.size())) return "";
  return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length));
}

/// The pieces of text between its ":" characters; an empty text has no pieces at all, which
/// is how a url with nothing between "://" and ";" comes to lack its host.
std::vector<std::string> splitOnColon(const std::string& text) {
  return text.empty() ? std::vector<std::string>() : splitAt(text, ':');
}

const std::string& pieceAt(const std::vector<std::string>& pieces, size_t index) {
  if (index >= pieces.size()) throw subscriptOutOfRange();
  return pieces[index];
}

}  // namespace

const char* serverVersionName(ServerVersion version) {
  switch (version) {
    case ServerVersion::msde:
      return "MSDE";
    case ServerVersion::sql2005:
      return "2005";
    case ServerVersion::none:
      break;
  }
  return "";
}

// A failure is stamped with the step of the reading that raised it, as the error report
// names the steps of the reading.
void readDbSettings(SettingsFile& file, DbSettings& settings) {
  while (!file.atEnd()) {
    std::string record = file.readRecord();
    if (record.empty()) continue;
    std::vector<std::string> pieces = splitSettingsRecord(record);
    const std::string& key = pieces[0];
    auto value = [&pieces](int32_t step) {
      return atStep(step, [&pieces] { return valuePiece(pieces); });
    };

    if (key == "DB_PROVIDER") {
      const std::string provider = value(89);
      if (findFrom(1, provider, "SQLOLEDB") > 0)
        settings.serverVersion = ServerVersion::msde;
      else if (findFrom(1, provider, "SQLNCLI.1") > 0)
        settings.serverVersion = ServerVersion::sql2005;
    } else if (key == "dbconn.appl.url") {
      // The host and port between "://" and the first ";" after it.
      const std::string url = value(99);
      const int64_t p1 = findFrom(1, url, "://");
      const int64_t p2 = atStep(100, [&] { return findFrom(p1, url, ";"); });
      const std::string hostAndPort = atStep(102, [&] { return middle(url, p1 + 3, p2 - p1 - 3); });
      const std::vector<std::string> parts = splitOnColon(hostAndPort);
      settings.dbHost = atStep(104, [&] { return pieceAt(parts, 0); });
      settings.dbPort = atStep(105, [&] { return pieceAt(parts, 1); });
    } else if (key == "dbconn.appl.user") {
      settings.dbUser = value(107);
    } else if (key == "dbconn.appl.pwd") {
      settings.dbPassword = value(109);
    }
  }
}

}  // namespace vesk
