#include "log/run_log.h"

#include <cstdio>

#include "platform/failure.h"

namespace vesk {

std::string timestampText(System& system, const LocalTime& t) {
  std::string date = system.shortDateText(t);
  if (t.hour == 0 && t.minute == 0 && t.second == 0) return date;
  return date + " " + system.longTimeText(t);
}

std::string isoTimeText(const ZonedTime& t) {
  const LocalTime& l = t.local;
  const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", l.year % 10000,
                l.month % 100, l.day % 100, l.hour % 100, l.minute % 100, l.second % 100,
                t.utcOffsetMinutes < 0 ? '-' : '+', offset / 60 % 100, offset % 60);
  return text;
}

std::string defaultLogPath(const std::string& programFolder, int dayOfMonth) {
  char day[8];
  std::snprintf(day, sizeof day, "%02d", dayOfMonth % 100);
  return programFolder + "\\veskbackuplog.txt" + day;
}

void RunLog::open(const std::string& path) {
  // The log is opened for appending in both cases, also where a missing file is created, so
  // that a second run starting on the same day never truncates the lines of the first.
  bool existed = files_.fileExists(path);
  if (existed) {
    stream_ = files_.openForAppend(path);  // a failure here ends the run
    std::string tail;
    try {
      tail = files_.readFileTail(path, 2);
    } catch (const Failure&) {
      return;  // a log that can be appended to but not read: its end is not known
    }
    if (!tail.empty() && tail != "\r\n") stream_->writeLine("");
    return;
  }
  try {
    stream_ = files_.openForAppend(path);
  } catch (const Failure&) {
    stream_.reset();
  }
  if (!stream_ || !files_.fileExists(path)) {
    stream_.reset();
    desktop_.showMessage(
        "Cannot Create logfile because path incorrect, directory not found.Pls. check");
  }
}

void RunLog::writeLog(const std::string& text) {
  writeRawLine(timestampText(system_, system_.localTime()) + ": " + text);
}

void RunLog::writeRawLine(const std::string& text) {
  if (!stream_) throw Failure(Fault::logNotOpen);
  stream_->writeLine(text);
}

void RunLog::reportStatus(const std::string& text) {
  lastStatus_ = text;
  if (showStatusBoxes) desktop_.showMessage(text);
  writeLog(text);
}

void RunLog::close() noexcept {
  if (stream_ && !closed_) {
    closed_ = true;
    stream_->close();
  }
}

void RunLog::release() noexcept {
  close();
  stream_.reset();
}

}  // namespace vesk
