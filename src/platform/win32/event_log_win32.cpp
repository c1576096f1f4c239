// The Win32 layer: the run's entry in the Application log, with the message table that windmc
// makes from src/messages.mc.

#include <iterator>
#include <vector>

#include "messages.h"
#include "platform/win32/win32_platform.h"

namespace vesk::win32 {
namespace {

const char* const eventSource = "veskbackup";

// The full message identifiers: the table is keyed by them, severity and customer bits
// included, while Event Viewer shows the low 16 bits as the event ID.
constexpr struct {
  uint16_t eventId;
  DWORD message;
} messages[] = {{1000, MSG_EXIT_STATUS_0},   {1001, MSG_EXIT_STATUS_1},
                {1002, MSG_EXIT_STATUS_2},   {1003, MSG_EXIT_STATUS_3},
                {1004, MSG_EXIT_STATUS_4},   {1005, MSG_EXIT_STATUS_5},
                {1010, MSG_WATCH_CONFIRMED}, {1013, MSG_WATCH_NOT_CONFIRMED}};

// ReportEvent takes at most this many characters in one insertion string.
constexpr size_t longestText = 31'839;

WORD typeOf(EventLevel level) {
  switch (level) {
    case EventLevel::information:
      return EVENTLOG_INFORMATION_TYPE;
    case EventLevel::warning:
      return EVENTLOG_WARNING_TYPE;
    case EventLevel::error:
      break;
  }
  return EVENTLOG_ERROR_TYPE;
}

struct SourceCloser {
  void operator()(HANDLE source) const noexcept { DeregisterEventSource(source); }
};

}  // namespace

void Win32EventLog::writeEntry(EventLevel level, uint16_t eventId,
                               const std::vector<std::string>& texts) {
  DWORD message = 0;
  for (const auto& row : messages)
    if (row.eventId == eventId) message = row.message;
  if (message == 0 || texts.size() > 16) throw Failure(Fault::invalidArgument);
  std::vector<std::string> cut;
  for (const std::string& text : texts) cut.push_back(text.substr(0, longestText));
  std::vector<const char*> strings;
  for (const std::string& text : cut) strings.push_back(text.c_str());

  // A source that is not registered is no failure: the system stores the entry all the same,
  // and Event Viewer shows its texts without the message around them.
  Owned<HANDLE, SourceCloser> source(RegisterEventSourceA(nullptr, eventSource), nullptr, {});
  if (!source.valid()) throw fileSystemFailure(GetLastError());
  if (!ReportEventA(source.get(), typeOf(level), 0, message, nullptr,
                    static_cast<WORD>(strings.size()), 0, strings.data(), nullptr))
    throw fileSystemFailure(GetLastError());
}

}  // namespace vesk::win32
