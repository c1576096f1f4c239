#pragma once

// In-memory stand-in for the operating system: the fakes of every area (tests/fake/) over one
// file system, converted to the Platform that the run takes. A test sets the fields of the
// areas it needs (platform.files, platform.processScripts, ...) and asserts on what they
// recorded (platform.messages, platform.commandsStarted, ...).

#include "fake/fake_areas.h"
#include "fake/fake_file_system.h"

namespace vesk {

class FakePlatform : public FakeFileSystem,
                     public FakeFiles,
                     public FakeTrees,
                     public FakeProcesses,
                     public FakeRegistry,
                     public FakeDesktop,
                     public FakeSystem,
                     public FakeEventLog {
 public:
  using FakeFiles::createFolder;
  using FakeTrees::createFolder;

  operator Platform() { return {*this, *this, *this, *this, *this, *this, *this}; }

 protected:
  FakeFileSystem& disk() override { return *this; }
};

}  // namespace vesk
