#pragma once

// The fake of the system: command line, folders, clock, and the code page that the simulated
// Windows has (Windows-1252).

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/system.h"

namespace vesk {

class FakeSystem : public System {
 public:
  std::string commandLine() override { return commandLineText; }
  std::string programPath() override { return programFolderPath + "\\veskbackup.exe"; }
  std::string programFolder() override { return programFolderPath; }
  std::optional<std::string> environmentVariable(const std::string& name) override {
    const auto found = environment.find(name);
    if (found == environment.end()) return std::nullopt;
    return found->second;
  }
  std::string systemFolder() override { return systemFolderPath; }
  LocalTime localTime() override { return now; }
  ZonedTime zonedTime() override { return {now, utcOffsetMinutes}; }
  /// M/d/yyyy, as the English user forms give it.
  std::string shortDateText(const LocalTime& t) override;
  /// h:mm:ss AM or PM.
  std::string longTimeText(const LocalTime& t) override;
  /// The fake's ANSI code page is Windows-1252.
  std::string ansiFromUtf16(const std::u16string& text) override;
  std::u16string utf16FromAnsi(const std::string& text) override;
  std::string userProfileFolder() override { return profileFolder; }
  void onCrash(int exitStatus, std::function<std::string(const Crash&)> record) override {
    crashExitStatus = exitStatus;
    crashRecord = std::move(record);
  }
  std::string computerName() override { return computer; }
  std::string accountName() override { return account; }

  std::string commandLineText = "veskbackup.exe";
  std::map<std::string, std::string> environment;
  std::string programFolderPath = "C:\\Tools";
  std::string systemFolderPath = "C:\\windows\\system32";
  LocalTime now{2026, 12, 7, 14, 5, 9};
  int utcOffsetMinutes = 60;
  std::string profileFolder = "C:\\users\\tester";
  /// What onCrash was given: a test crashes the run by calling crashRecord.
  int crashExitStatus = 0;
  std::function<std::string(const Crash&)> crashRecord;
  std::string computer = "SRV-APP01";
  std::string account = "svc-backup";
};

}  // namespace vesk
