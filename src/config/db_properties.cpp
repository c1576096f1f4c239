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

void readDbSettings(SettingsFile& file, DbSettings& settings, uint32_t& stepNumber) {
  for (;;) {
    stepNumber = 84;
    if (file.atEnd()) return;
    stepNumber = 85;
    std::string record = file.readRecord();
    stepNumber = 86;
    if (record.empty()) continue;
    stepNumber = 87;
    std::vector<std::string> pieces = splitSettingsRecord(record);
    const std::string& key = pieces[0];

    stepNumber = 88;
    if (key == "DB_PROVIDER") {
      stepNumber = 89;
      int64_t position = findFrom(1, valuePiece(pieces), "SQLOLEDB");
      stepNumber = 90;
      if (position > 0) {
        stepNumber = 91;
        settings.serverVersion = "MSDE";
      } else {
        stepNumber = 93;
        position = findFrom(1, valuePiece(pieces), "SQLNCLI.1");
        stepNumber = 94;
        if (position > 0) {
          stepNumber = 95;
          settings.serverVersion = "2005";
        }
      }
      continue;
    }

    stepNumber = 98;
    if (key == "dbconn.appl.url") {
      stepNumber = 99;
      const std::string& url = valuePiece(pieces);
      int64_t p1 = findFrom(1, url, "://");
      stepNumber = 100;
      int64_t p2 = findFrom(p1, url, ";");
      stepNumber = 101;
      int64_t n = p2 - p1 - 3;
      stepNumber = 102;
      std::string hostAndPort = middle(url, p1 + 3, n);
      stepNumber = 103;
      std::vector<std::string> parts = splitOnColon(hostAndPort);
      stepNumber = 104;
      settings.dbHost = pieceAt(parts, 0);
      stepNumber = 105;
      settings.dbPort = pieceAt(parts, 1);
      continue;
    }

    stepNumber = 106;
    if (key == "dbconn.appl.user") {
      stepNumber = 107;
      settings.dbUser = valuePiece(pieces);
      continue;
    }

    stepNumber = 108;
    if (key == "dbconn.appl.pwd") {
      stepNumber = 109;
      settings.dbPassword = valuePiece(pieces);
    }
  }
}

}  // namespace vesk
