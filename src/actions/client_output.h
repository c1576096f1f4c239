#pragma once

// The one rule that confirms a database backup, for the run that started the client and for
// the run after it that finds the client's output: what the client's output says, read by the
// shape of its lines and not by the words of one language.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

/// What a database client's output file says.
struct ClientOutputReading {
  /// An error message of severity 11 or more: a header line of a word, a number, a separator
  /// (",", or the ideographic or fullwidth comma), a word, the severity, a separator, a word and
  /// a number, as "Msg 3201, Level 16, State 1, ..." and its forms in other languages.
  bool reportsError = false;
  /// The server's backup message: a line beginning "BACKUP DATABASE" that is not the text of an
  /// error message (message 3014, and its differential form, begin so in every language).
  bool showsBackup = false;
  /// The error messages, each header with its text lines, at most maxMessageLines lines, each
  /// cut to maxMessageLineLength bytes. In UTF-8 when the output was UTF-16, otherwise as the
  /// output has them.
  std::vector<std::string> errorLines;
  /// The output was written as UTF-16 (with or without its byte order mark).
  bool utf16 = false;
};

constexpr size_t maxMessageLines = 10;
constexpr size_t maxMessageLineLength = 300;

ClientOutputReading readClientOutput(std::string_view output);

/// What is known of a client that has ended, for the rule.
struct ClientEvidence {
  /// Its exit code; nothing where its end was not seen (the run after the one that started it).
  std::optional<uint32_t> exitCode;
  /// Its output file's content, when the file was written after the client started.
  std::optional<std::string> output;
  /// False when the output file is there but could not be read.
  bool outputReadable = true;
  /// The output file is there but larger than any client's output, and was not read.
  bool outputTooLarge = false;
};

/// The rule's decision. The backup is confirmed only when the client ended with 0 (where that
/// was seen), its output was written after it started and is not empty, holds no error of
/// severity 11 or more, and holds the server's backup message.
struct ClientVerdict {
  bool confirmed = false;
  /// Why not, as the run's line "SQL backup NOT complete, " goes on; it names outputPath where
  /// the output is the evidence.
  std::string reason;
  /// The error messages that back the reason (see ClientOutputReading::errorLines).
  std::vector<std::string> messages;
  bool utf16 = false;
};

ClientVerdict judgeClient(const ClientEvidence& evidence, const std::string& outputPath);

}  // namespace vesk
