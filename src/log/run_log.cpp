#include "log/run_log.h"

#include <cstdio>

#include "platform/failure.h"

namespace vesk {

std::string timestampText(Platform& platform, const LocalTime& t) {
  std::string date = platform.shortDateText(t);
  if (t.hour == 0 && t.minute == 0 && t.second == 0) return date;
  return date + " " + platform.longTimeText(t);
}

std::string defaultLogPath(const std::string& programFolder, int dayOfMonth) {
  char day[8];
  std::snprintf(day, sizeof day, "%02d", dayOfMonth % 100);
  return programFolder + "\\veskbackuplog.txt" + day;
}

void RunLog::open(const std::string& path) {
  // The log is opened for appending in both cases, also where a missing file is created, so
  // that a second run starting on the same day never truncates the lines of the first.
  bool existed = platform_.fileExists(path);
  if (existed) {
    stream_ = platform_.openForAppend(path);  // a failure here ends the run
    std::string tail;
    try {
      tail = platform_.readFileTail(path, 2);
    } catch (const Failure&) {
      return;  // a log that can be appended to but not read: its end is not known
    }
    if (!tail.empty() && tail != "\r\n") stream_->writeLine("");
    return;
  }
  try {
    stream_ = platform_.openForAppend(path);
  } catch (const Failure&) {
    stream_.reset();
  }
  if (!stream_ || !platform_.fileExists(path)) {
    stream_.reset();
    platform_.showMessage(
        "Cannot Create logfile because path incorrect, directory not found.Pls. check");
  }
}

void RunLog::writeLog(const std::string& text) {
  writeRawLine(timestampText(platform_, platform_.localTime()) + ": " + text);
}

void RunLog::writeRawLine(const std::string& text) {
  if (!stream_) throw Failure(Fault::logNotOpen);
  stream_->writeLine(text);
}

void RunLog::reportStatus(const std::string& text) {
  if (showStatusBoxes) platform_.showMessage(text);
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
