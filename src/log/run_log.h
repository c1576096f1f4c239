#pragma once

#include <memory>
#include <string>

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/system.h"

namespace vesk {

/// The run log and the status messages: every message of a run goes through writeLog or
/// reportStatus.
class RunLog {
 public:
  RunLog(Files& files, System& system, Desktop& desktop)
      : files_(files), system_(system), desktop_(desktop) {}

  /// Opens the log at path, creating it when missing. When it cannot be created the
  /// box "Cannot Create logfile ..." is shown and the log stays unopened, so the first
  /// writeLog fails. An existing log whose last line has no CR LF (its disk filled up) gets
  /// one first, so that the run's lines start on a line of their own.
  void open(const std::string& path);

  /// Appends timestamp, ": " and text as one line. Throws Failure when the log is not open.
  void writeLog(const std::string& text);

  /// Shows text in a box when showStatusBoxes is set, then writes it to the log.
  void reportStatus(const std::string& text);

  /// Writes a line as it is, without a timestamp (the error report's own line).
  void writeRawLine(const std::string& text);

  bool isSet() const { return stream_ != nullptr; }
  bool isOpen() const { return stream_ != nullptr && !closed_; }
  /// Closes the stream; it stays set. A second close does nothing.
  void close() noexcept;
  /// Closes and releases the stream.
  void release() noexcept;

  bool showStatusBoxes = false;

  /// The last text that reportStatus was given; empty before the first.
  const std::string& lastStatus() const { return lastStatus_; }

 private:
  Files& files_;
  System& system_;
  Desktop& desktop_;
  std::unique_ptr<TextStream> stream_;
  bool closed_ = false;
  std::string lastStatus_;
};

/// The log's time stamp: the user's short date, a blank and the long time; exactly midnight
/// gives the date alone.
std::string timestampText(System& system, const LocalTime& t);

/// The time as ISO 8601 gives it with its offset from UTC: "2026-12-07T14:05:09+01:00",
/// "+00:00" for UTC itself, the minutes of a zone such as "+05:45" included.
std::string isoTimeText(const ZonedTime& t);

/// The default run log: program folder, "\veskbackuplog.txt" and the two-digit day of month.
std::string defaultLogPath(const std::string& programFolder, int dayOfMonth);

}  // namespace vesk
