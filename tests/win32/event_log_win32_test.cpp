// The run's Event Log entry: its message table in veskbackup.exe, as Event Viewer reads it, and
// the call that writes it. Wine stores no entry (its event log calls are stubs that succeed), so
// the call is seen here only to be made and to refuse what the table does not hold.

#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "run/report.h"
#include "win32_test_support.h"

namespace vesk {
namespace {

using testing::raisedFault;

/// The exe beside this program (the build puts both in one folder).
std::string programPath() {
  const std::string self = testing::selfPath();
  return self.substr(0, self.find_last_of('\\')) + "\\veskbackup.exe";
}

/// The message of a full identifier, its places filled with texts, as Event Viewer makes it;
/// "<none>" when the table does not hold it.
std::string formatted(HMODULE module, DWORD message, const char* outcome, const char* log) {
  const DWORD_PTR texts[] = {reinterpret_cast<DWORD_PTR>(outcome),
                             reinterpret_cast<DWORD_PTR>(log)};
  char buffer[2048] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                      module, message, 0, buffer, sizeof buffer,
                                      reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(texts)));
  return length ? std::string(buffer, length) : "<none>";
}

TEST(Win32EventLogTest, MessageTableHoldsATextForEveryExitStatus) {
  HMODULE program = LoadLibraryExA(programPath().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, program) << programPath();
  // The full identifiers: severity as the entry's level, the customer bit, 1000 + the status.
  const DWORD messages[] = {0x600003E8, 0xE00003E9, 0xE00003EA, 0xE00003EB, 0xE00003EC, 0xA00003ED};
  for (int status = 0; status <= 5; ++status) {
    EXPECT_EQ("veskbackup ended with exit status " + std::to_string(status) + ": " +
                  exitStatusMeaning(status) +
                  ".\r\n\r\nBackup Folder completed\r\n\r\nRun log: L.txt",
              formatted(program, messages[status], "Backup Folder completed", "L.txt"))
        << status;
  }
  // The watch's two.
  EXPECT_EQ("veskbackup: database backup confirmed.\r\n\r\nx\r\n\r\nRun log: y",
            formatted(program, 0x600003F2, "x", "y"));
  EXPECT_EQ("veskbackup: database backup NOT confirmed.\r\n\r\nx\r\n\r\nRun log: y",
            formatted(program, 0xE00003F5, "x", "y"));
  EXPECT_EQ("<none>", formatted(program, 1003, "x", "y")) << "the table holds the full identifiers";
  FreeLibrary(program);
}

TEST(Win32EventLogTest, WritesTheEntriesOfTheTableAlone) {
  win32::Win32EventLog eventLog;
  const struct {
    EventLevel level;
    uint16_t eventId;
  } entries[] = {
      {EventLevel::information, 1000}, {EventLevel::error, 1003}, {EventLevel::warning, 1005}};
  for (const auto& e : entries)
    EXPECT_EQ(std::nullopt, raisedFault([&] {
                eventLog.writeEntry(e.level, e.eventId, {std::string(40'000, 'x'), "L.txt"});
              }))
        << e.eventId;
  EXPECT_EQ(Fault::invalidArgument, raisedFault([&] {
              eventLog.writeEntry(EventLevel::error, 1006, {"x", "y"});
            }));
}

}  // namespace
}  // namespace vesk
