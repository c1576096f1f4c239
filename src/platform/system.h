#pragma once

// Facts of the system and of the running program: its command line and folders, the local
// time and the user's forms of it, the ANSI code page, the user's profile folder.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vesk {

/// What ended the program where nothing of it could go on: an access violation, a stack
/// overflow, an exception that no code catches.
struct Crash {
  int32_t number = 0;       // the system's code of it (0 for an exception of the program)
  std::string description;  // "stack overflow (c00000fd)", "unhandled exception: ..."
};

struct LocalTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

/// A local time and how far the zone it is in was ahead of UTC then, in minutes.
struct ZonedTime {
  LocalTime local;
  int utcOffsetMinutes = 0;
};

class System {
 public:
  virtual ~System() = default;

  /// The whole command line, the program's own name included.
  virtual std::string commandLine() = 0;
  /// The program file's full path.
  virtual std::string programPath() = 0;
  /// Folder holding the program file, without a trailing backslash.
  virtual std::string programFolder() = 0;
  /// The value of a variable of the program's environment; nothing when it is not set.
  virtual std::optional<std::string> environmentVariable(const std::string& name) = 0;
  /// The system folder, without a trailing backslash.
  virtual std::string systemFolder() = 0;

  virtual LocalTime localTime() = 0;
  /// The local time now and how far the zone is ahead of UTC at that moment, its daylight
  /// saving time included.
  virtual ZonedTime zonedTime() = 0;
  /// The user's short date form of t.
  virtual std::string shortDateText(const LocalTime& t) = 0;
  /// The user's long time form of t, with seconds.
  virtual std::string longTimeText(const LocalTime& t) = 0;

  // The ANSI code page is the one the system uses for the "A" functions, and so for every
  // single-byte text of the platform.
  /// text in the ANSI code page; a character that it cannot show becomes "?".
  virtual std::string ansiFromUtf16(const std::u16string& text) = 0;
  /// ANSI text as UTF-16.
  virtual std::u16string utf16FromAnsi(const std::string& text) = 0;

  /// The computer's name and the name of the account the program runs as; empty when the
  /// system does not give them.
  virtual std::string computerName() = 0;
  virtual std::string accountName() = 0;

  /// From now on a crash calls record, on a thread and stack of its own, and shows the text it
  /// returns in a box where the desktop is visible; then the process ends with exitStatus. A
  /// second crash, also in record, ends it with exitStatus at once. A later call replaces
  /// record.
  virtual void onCrash(int exitStatus, std::function<std::string(const Crash&)> record) = 0;

  /// The current user's profile folder: the path alone, without the NULs that the system writes
  /// after it; empty when it is not available.
  virtual std::string userProfileFolder() = 0;
};

}  // namespace vesk
