#include "actions/client_output.h"

#include <algorithm>
#include <cctype>

#include "platform/text.h"

namespace vesk {
namespace {

constexpr int minimumErrorSeverity = 11;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// The length of the separator at the start of text: ",", or the ideographic comma or the
/// fullwidth comma in UTF-8 or in the Japanese code page; 0 when there is none.
size_t separatorAt(std::string_view text) {
  constexpr std::string_view separators[] = {",", "\xE3\x80\x81", "\xEF\xBC\x8C", "\x81\x41",
                                             "\x81\x43"};
  for (std::string_view separator : separators)
    if (startsWith(text, separator)) return separator.size();
  return 0;
}

/// Reads a line by its shape, moving `at` past what it took.
class LineShape {
 public:
  explicit LineShape(std::string_view line) : line_(line) {}

  void blanks() {
    while (at_ < line_.size() && isBlank(line_[at_])) ++at_;
  }
  /// One or more bytes up to a blank, a digit or a separator.
  bool word() {
    const size_t start = at_;
    while (at_ < line_.size() && !isBlank(line_[at_]) && !isDigit(line_[at_]) &&
           separatorAt(line_.substr(at_)) == 0)
      ++at_;
    return at_ > start;
  }
  /// Decimal digits, or "0x" and hexadecimal ones (the client's own errors give an HRESULT).
  std::optional<long> number() {
    if (startsWith(line_.substr(at_), "0x") || startsWith(line_.substr(at_), "0X")) {
      size_t start = at_ += 2;
      while (at_ < line_.size() && std::isxdigit(static_cast<unsigned char>(line_[at_]))) ++at_;
      if (at_ == start) return std::nullopt;
      return 0;
    }
    long value = 0;
    const size_t start = at_;
    for (; at_ < line_.size() && isDigit(line_[at_]); ++at_)
      value = std::min(value * 10 + (line_[at_] - '0'), 1'000'000L);
    if (at_ == start) return std::nullopt;
    return value;
  }
  bool separator() {
    blanks();
    const size_t length = separatorAt(line_.substr(at_));
    at_ += length;
    blanks();
    return length > 0;
  }

 private:
  std::string_view line_;
  size_t at_ = 0;
};

/// The severity of the message whose header line this is; nothing when it is none.
std::optional<long> headerSeverity(std::string_view line) {
  LineShape shape(line);
  shape.blanks();
  if (!shape.word()) return std::nullopt;
  shape.blanks();
  if (!shape.number() || !shape.separator() || !shape.word()) return std::nullopt;
  shape.blanks();
  const std::optional<long> severity = shape.number();
  if (!severity || !shape.separator() || !shape.word()) return std::nullopt;
  shape.blanks();
  if (!shape.number()) return std::nullopt;
  return severity;
}

/// The output as text of single bytes: UTF-16 (a client told to write Unicode; with its byte
/// order mark, or told by the NULs that its characters of ASCII have) as UTF-8, and without a
/// UTF-8 byte order mark.
std::string outputText(std::string_view output, bool& utf16) {
  const bool marked = startsWith(output, "\xFF\xFE");
  size_t oddNuls = 0, evenNuls = 0;
  for (size_t i = 0; i < output.size(); ++i)
    if (output[i] == '\0') ++(i % 2 ? oddNuls : evenNuls);
  utf16 = marked || oddNuls > evenNuls;
  if (!utf16) return std::string(startsWith(output, "\xEF\xBB\xBF") ? output.substr(3) : output);
  std::u16string wide;
  for (size_t i = marked ? 2 : 0; i + 1 < output.size(); i += 2)
    wide += static_cast<char16_t>(static_cast<unsigned char>(output[i]) |
                                  static_cast<unsigned char>(output[i + 1]) << 8);
  return utf8FromUtf16(wide);
}

/// The server's message for a finished backup (3014): the statement's name, which no language
/// translates, and the seconds it took, a number with a decimal point in every language. The
/// message for a backup that failed (3013) names the statement too, but holds no number.
bool isBackupMessage(std::string_view line) {
  if (!startsWith(line, "BACKUP DATABASE")) return false;
  for (size_t dot = line.find('.'); dot != std::string_view::npos; dot = line.find('.', dot + 1))
    if (dot > 0 && isDigit(line[dot - 1]) && dot + 1 < line.size() && isDigit(line[dot + 1]))
      return true;
  return false;
}

std::string cut(std::string_view line) {
  if (line.size() <= maxMessageLineLength) return std::string(line);
  return std::string(line.substr(0, maxMessageLineLength)) + "...";
}

}  // namespace

ClientOutputReading readClientOutput(std::string_view output) {
  ClientOutputReading reading;
  const std::string text = outputText(output, reading.utf16);
  // Within an error's text: from its header to a blank line or the next header.
  bool inErrorText = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::optional<long> severity = headerSeverity(line);
    if (severity) {
      inErrorText = *severity >= minimumErrorSeverity;
      reading.reportsError = reading.reportsError || inErrorText;
    } else if (line.find_first_not_of(" \t") == std::string_view::npos) {
      inErrorText = false;
      continue;
    } else if (!inErrorText && isBackupMessage(line)) {
      reading.showsBackup = true;
    }
    if (inErrorText && reading.errorLines.size() < maxMessageLines)
      reading.errorLines.push_back(cut(line));
  }
  return reading;
}

ClientVerdict judgeClient(const ClientEvidence& evidence, const std::string& outputPath) {
  ClientVerdict verdict;
  const bool failedExit = evidence.exitCode && *evidence.exitCode != 0;
  ClientOutputReading reading;
  if (evidence.output) reading = readClientOutput(*evidence.output);
  auto notConfirmed = [&](std::string reason) {
    verdict.reason = std::move(reason);
    return verdict;
  };
  if (failedExit && !reading.reportsError)
    return notConfirmed("client exit code " + std::to_string(*evidence.exitCode));
  if (!evidence.outputReadable)
    return notConfirmed("client output not readable, see " + outputPath);
  if (evidence.outputTooLarge)
    return notConfirmed("client output larger than 4 MiB, not read, see " + outputPath);
  if (!evidence.output || evidence.output->empty())
    return notConfirmed("client output missing, see " + outputPath);
  if (reading.reportsError) {
    verdict.messages = reading.errorLines;
    verdict.utf16 = reading.utf16;
    return notConfirmed("client reported an error, see " + outputPath);
  }
  if (!reading.showsBackup) return notConfirmed("client output shows no backup, see " + outputPath);
  verdict.confirmed = true;
  return verdict;
}

}  // namespace vesk
