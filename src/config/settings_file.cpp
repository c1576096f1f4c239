#include "config/settings_file.h"

#include <optional>

#include "platform/failure.h"
#include "platform/text.h"

namespace vesk {

// How fields are read. The settings files are written by hand and by the application's
// installer, on this and on other systems, so the reader is lenient where a user's intent is
// clear and never stops before the end of the content:
//
// - A field ends at a comma, a CR, a CR LF, a lone LF (files edited elsewhere end their lines
//   with LF) or the end of the content. The delimiter is consumed and belongs to no field, so
//   a blank line, or a comma right after a delimiter, gives an empty field.
// - Blanks are spaces and tabs. Blanks before a field are skipped, and trailing blanks of an
//   unquoted field are dropped: editors leave them behind unseen. Quote the field to keep them.
// - A field whose first character (after the blanks) is a double quote runs to the next double
//   quote; the quotes are not part of it, commas and line ends between them are. A quote that
//   is never closed runs to the end of the content.
// - Characters between a closing quote and the next delimiter are appended to the field as if
//   unquoted (trailing blanks dropped), so "D:/apps,old"/ reads D:/apps,old/ and a blank left
//   after the closing quote changes nothing.
// - A double quote inside an unquoted field is an ordinary character.
// - Only blanks left before the end of the content count as the end: atEnd() is then true and
//   no empty record is made of them.
// - Everything else, a field beginning with "#" or one that looks like a number included, is
//   plain text. NUL bytes are ordinary characters.
//
// Whenever atEnd() is false at least one character is left that is not a blank, and
// readRecord() consumes it, so a loop of atEnd() and readRecord() always ends.

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

void dropTrailingBlanks(std::string& text) {
  while (!text.empty() && isBlank(text.back())) text.pop_back();
}

}  // namespace

bool SettingsFile::atEnd() const {
  size_t p = position_;
  while (p < content_.size() && isBlank(content_[p])) ++p;
  return p >= content_.size();
}

std::string SettingsFile::readRecord() {
  const size_t size = content_.size();
  while (position_ < size && isBlank(content_[position_])) ++position_;

  std::string field;
  if (position_ < size && content_[position_] == '"') {
    size_t close = content_.find('"', position_ + 1);
    if (close == std::string::npos) {
      field = content_.substr(position_ + 1);
      position_ = size;
      return field;
    }
    field = content_.substr(position_ + 1, close - position_ - 1);
    position_ = close + 1;
  }

  // The unquoted field, or what follows a closing quote, up to the delimiter.
  size_t start = position_;
  while (position_ < size && content_[position_] != ',' && !isLineEnd(content_[position_]))
    ++position_;
  std::string rest = content_.substr(start, position_ - start);
  dropTrailingBlanks(rest);
  field += rest;

  if (position_ < size) {
    char delimiter = content_[position_++];
    if (delimiter == '\r' && position_ < size && content_[position_] == '\n') ++position_;
  }
  return field;
}

std::optional<std::vector<std::string>> SettingsFile::nextPieces() {
  while (!atEnd()) {
    std::string record = readRecord();
    if (!record.empty()) return splitSettingsRecord(record);
  }
  return std::nullopt;
}

namespace {

void appendUtf16(std::u16string& text, char32_t c) {
  if (c < 0x10000) {
    text += static_cast<char16_t>(c);
    return;
  }
  c -= 0x10000;
  text += static_cast<char16_t>(0xD800 + (c >> 10));
  text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

/// The UTF-8 bytes from position at as UTF-16. Strict: nothing when a sequence is not valid
/// UTF-8 (overlong forms and surrogates included). Otherwise each byte that begins no valid
/// sequence stands for U+FFFD. beyondAscii tells whether a character of several bytes was seen.
std::optional<std::u16string> fromUtf8(const std::string& bytes, size_t at, bool strict,
                                       bool& beyondAscii) {
  std::u16string text;
  while (at < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
      text += static_cast<char16_t>(lead);
      ++at;
      continue;
    }
    // The length from the lead byte, and the range of the second byte that keeps the
    // character out of overlong forms, surrogates and beyond U+10FFFF.
    const size_t length = lead < 0xC2 || lead > 0xF4 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    char32_t c = lead & (0x7F >> length);
    bool valid = length > 0 && at + length <= bytes.size();
    for (size_t i = 1; valid && i < length; ++i) {
      const auto next = static_cast<unsigned char>(bytes[at + i]);
      valid = next >= (i == 1 ? low : 0x80) && next <= (i == 1 ? high : 0xBF);
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      if (strict) return std::nullopt;
      text += u'\uFFFD';
      ++at;
      continue;
    }
    appendUtf16(text, c);
    beyondAscii = true;
    at += length;
  }
  return text;
}

/// The UTF-16 bytes from position at; an odd last byte, half a character, is dropped.
std::u16string fromUtf16(const std::string& bytes, size_t at, bool bigEndian) {
  std::u16string text;
  for (; at + 1 < bytes.size(); at += 2) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    text += static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return text;
}

}  // namespace

std::string settingsFileText(System& system, const std::string& bytes) {
  bool beyondAscii = false;
  if (startsWith(bytes, "\xEF\xBB\xBF"))
    return system.ansiFromUtf16(*fromUtf8(bytes, 3, false, beyondAscii));
  if (startsWith(bytes, "\xFF\xFE")) return system.ansiFromUtf16(fromUtf16(bytes, 2, false));
  if (startsWith(bytes, "\xFE\xFF")) return system.ansiFromUtf16(fromUtf16(bytes, 2, true));
  std::optional<std::u16string> text = fromUtf8(bytes, 0, true, beyondAscii);
  // ANSI text beyond ASCII is hardly ever valid UTF-8, and ASCII reads alike in both.
  if (text && beyondAscii) return system.ansiFromUtf16(*text);
  return bytes;
}

std::vector<std::string> splitSettingsRecord(const std::string& record) {
  return splitAt(record, '=');
}

const std::string& valuePiece(const std::vector<std::string>& pieces) {
  if (pieces.size() < 2) throw Failure(Fault::subscriptOutOfRange);
  return pieces[1];
}

}  // namespace vesk
