#include "actions/read_back.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(ReadBackRefusal, OnlyWhereThisProgramCouldHaveWritten) {
  // This run logs to a share and backs up to D:; Z: is a network drive that no run path names.
  const std::vector<std::string> runPaths = {"\\\\nas01\\logs\\vesk.txt", "D:\\Backup\\"};
  const auto networkDrive = [](char drive) { return drive == 'Z' || drive == 'z'; };
  const char* const host = "a host that the command line does not name";
  const struct {
    const char* path;
    const char* refusal;  // nullptr: read
  } cases[] = {
      {"C:\\Logs\\vesk.txtsql", nullptr},
      {"d:/Backup/old.txtsql", nullptr},
      {"\\\\?\\C:\\Logs\\vesk.txtsql", nullptr},
      {"\\\\NAS01\\Logs\\vesk.txtsql", nullptr},
      {"\\\\?\\UNC\\nas01\\logs\\vesk.txtsql", nullptr},
      {"//nas01/logs/vesk.txtsql", nullptr},
      {"\\\\somehost\\share\\f", host},
      {"\\\\?\\UNC\\somehost\\share\\f", host},
      {"\\\\?\\unc\\somehost\\share\\f", host},
      {"\\\\127.0.0.1\\x\\y", host},
      {"//somehost/share/f", host},
      {"\\\\nas01\\other\\f", "a share that the command line does not name"},
      {"Z:\\vesk.txtsql", "a network drive that the command line does not name"},
      {"\\\\.\\C:\\Logs\\vesk.txtsql", "a device path"},
      {"\\\\.\\pipe\\vesk", "a device path"},
      {"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\x", "a device path"},
      {"\\\\?\\Volume{12345678-0000-0000-0000-000000000000}\\x", "a device path"},
      {"\\??\\C:\\x", "a device path"},
      {"\\\\.", "a device path"},
      {"C:\\Logs\\NUL", "a device name"},
      {"C:\\Logs\\con.txt", "a device name"},
      {"C:\\Logs\\COM1 .log", "a device name"},
      {"C:\\Logs\\lpt\xB9", "a device name"},
      {"C:\\Logs\\conout$", "a device name"},
      {"C:\\Logs\\COM10", nullptr},
      {"C:\\Logs\\console.txt", nullptr},
      {"C:\\Logs\\vesk.txtsql:hidden", "a stream or device path"},
      {"C:\\Logs\\..\\vesk.txtsql", "not a full path"},
      {"vesk.txtsql", "not a full path"},
      {"C:vesk.txtsql", "not a full path"},
      {"\\Logs\\vesk.txtsql", "not a full path"},
      {"\\\\\\share\\f", "not a full path"},
      {"\\\\host", "not a full path"},
      {"", "not a full path"},
      {"C:\\Logs\\v\x01sk", "not a file name"},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> refusal = readBackRefusal(c.path, runPaths, networkDrive);
    EXPECT_EQ(c.refusal ? std::optional<std::string>(c.refusal) : std::nullopt, refusal) << c.path;
  }
  // A network drive that the log path or destination lies on is this run's own.
  EXPECT_EQ(std::nullopt, readBackRefusal("Z:\\vesk.txtsql", {"Z:\\Logs\\vesk.txt"}, networkDrive));
}

}  // namespace
}  // namespace vesk
