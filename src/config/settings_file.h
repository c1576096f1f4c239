#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace vesk {

/// A settings file (path.conf, db.properties), read whole when it is opened and then record by
/// record. A record is one field of the file (see readRecord).
class SettingsFile {
 public:
  explicit SettingsFile(std::string content) : content_(std::move(content)) {}

  /// True when no record is left to read.
  bool atEnd() const;
  /// The next record: one field of the file, possibly empty (the rules of a field are at the
  /// top of settings_file.cpp). Call only when !atEnd().
  std::string readRecord();
  /// The pieces (splitSettingsRecord) of the next record that is not empty; nothing once no
  /// record is left.
  std::optional<std::vector<std::string>> nextPieces();

 private:
  std::string content_;
  size_t position_ = 0;
};

/// The content of a settings file in the ANSI code page, as its records are read. Editors save
/// these files in several forms: one that begins with the UTF-8 mark (EF BB BF), or that has no
/// mark and is valid UTF-8 with at least one character beyond ASCII, is read as UTF-8; one that
/// begins with FF FE or FE FF as UTF-16, little or big endian. The mark is dropped, and a
/// character that the code page lacks becomes "?". Any other content is ANSI already.
std::string settingsFileText(System& system, const std::string& bytes);

/// The pieces between the "=" characters, empty ones included; never
/// fewer than one.
std::vector<std::string> splitSettingsRecord(const std::string& record);

/// Piece 1 of a split record; failure 9 when there is none.
const std::string& valuePiece(const std::vector<std::string>& pieces);

}  // namespace vesk
