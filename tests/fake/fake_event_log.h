#pragma once

// The fake of the Event Log: the entries the run wrote.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/failure.h"

namespace vesk {

struct EventEntry {
  EventLevel level = EventLevel::error;
  uint16_t eventId = 0;
  std::vector<std::string> texts;
};

class FakeEventLog : public EventLog {
 public:
  void writeEntry(EventLevel level, uint16_t eventId,
                  const std::vector<std::string>& texts) override {
    if (failEventLog) throw Failure(Fault::permissionDenied);
    eventEntries.push_back({level, eventId, texts});
  }

  std::vector<EventEntry> eventEntries;
  bool failEventLog = false;  // writeEntry fails, as without the right to write the log
};

}  // namespace vesk
