#include "config/db_properties.h"

#include "config/settings_file.h"
#include "platform/text.h"

namespace vesk {

namespace {

// Positions are 1-based and 0 means "not found": the url is cut at positions found by searches,
// and a search that found nothing makes the cut fail with an invalid argument.

/// Position of what in text, searching from the 1-based position start; 0 when absent.
/// A start below 1 is an invalid argument.
int64_t findFrom(int64_t start, const std::string& text, const std::string& what) {
  if (start < 1) throw Failure(Fault::invalidArgument);
  if (start > static_cast<int64_t>(text.size())) return 0;
  size_t found = text.find(what, static_cast<size_t>(start - 1));
  return found == std::string::npos ? 0 : static_cast<int64_t>(found) + 1;
}

/// The length characters of text from the 1-based position start, fewer when text ends
/// sooner. A start below 1 or a negative length is an invalid argument.
std::string middle(const std::string& text, int64_t start, int64_t length) {
  if (start < 1 || length < 0) throw Failure(Fault::invalidArgument);
  if (start > static_cast<int64_t>(text.size())) return "";
  return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length));
}

/// The pieces of text between its ":" characters; an empty text has no pieces at all, which
/// is how a url with nothing between "://" and ";" comes to lack its host.
std::vector<std::string> splitOnColon(const std::string& text) {
  return text.empty() ? std::vector<std::string>() : splitAt(text, ':');
}

const std::string& pieceAt(const std::vector<std::string>& pieces, size_t index) {
  if (index >= pieces.size()) throw Failure(Fault::subscriptOutOfRange);
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

DbSettings readDbSettings(const std::string& text) {
  SettingsFile file(text);
  DbSettings settings;
  while (const std::optional<std::vector<std::string>> pieces = file.nextPieces()) {
    const std::string& key = pieces->front();
    auto value = [&pieces](DbRecordPart part) {
      return failingIn(part, [&pieces] { return valuePiece(*pieces); });
    };

    if (key == "DB_PROVIDER") {
      const std::string provider = value(DbRecordPart::providerValue);
      if (findFrom(1, provider, "SQLOLEDB") > 0)
        settings.serverVersion = ServerVersion::msde;
      else if (findFrom(1, provider, "SQLNCLI.1") > 0)
        settings.serverVersion = ServerVersion::sql2005;
    } else if (key == "dbconn.appl.url") {
      // The host and port between "://" and the first ";" after it.
      const std::string url = value(DbRecordPart::urlValue);
      const int64_t p1 = findFrom(1, url, "://");
      const int64_t p2 = failingIn(DbRecordPart::urlScheme, [&] { return findFrom(p1, url, ";"); });
      const std::string hostAndPort =
          failingIn(DbRecordPart::urlHostLength, [&] { return middle(url, p1 + 3, p2 - p1 - 3); });
      const std::vector<std::string> parts = splitOnColon(hostAndPort);
      settings.dbHost = failingIn(DbRecordPart::urlHost, [&] { return pieceAt(parts, 0); });
      settings.dbPort = failingIn(DbRecordPart::urlPort, [&] { return pieceAt(parts, 1); });
    } else if (key == "dbconn.appl.user") {
      settings.dbUser = value(DbRecordPart::userValue);
    } else if (key == "dbconn.appl.pwd") {
      settings.dbPassword = value(DbRecordPart::passwordValue);
    }
  }
  return settings;
}

}  // namespace vesk
