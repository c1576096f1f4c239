#pragma once

// The Windows Event Log, which monitoring systems watch: one entry in the Application log per
// run.

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

/// The level Event Viewer shows an entry with.
enum class EventLevel { information, warning, error };

class EventLog {
 public:
  virtual ~EventLog() = default;

  /// Writes one entry into the Application log under the source "veskbackup": its level, its
  /// event ID, which is one of the program's message table (that gives Event Viewer its text),
  /// and the texts that fill the places of that message. Throws Failure when it cannot.
  virtual void writeEntry(EventLevel level, uint16_t eventId,
                          const std::vector<std::string>& texts) = 0;
};

}  // namespace vesk
