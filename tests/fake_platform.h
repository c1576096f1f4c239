#pragma once

// In-memory stand-in for the operating system: the fake of each area (tests/fake/), held as a
// member over one simulated Windows (disk), and converted to the Platform that the run takes. A
// test arranges what Windows holds through disk (disk.addFile, disk.drives, ...) and the areas'
// fields (processes.processScripts, trees.unlistable, ...), reads as the product reads
// (files.fileExists, files.readFile), and asserts on what the areas recorded
// (desktop.messages, processes.commandsStarted, ...).

#include <memory>

#include "fake/fake_desktop.h"
#include "fake/fake_event_log.h"
#include "fake/fake_file_system.h"
#include "fake/fake_files.h"
#include "fake/fake_processes.h"
#include "fake/fake_registry.h"
#include "fake/fake_system.h"
#include "fake/fake_trees.h"
#include "platform/platform.h"

namespace vesk {

struct FakePlatform {
  FakePlatform() = default;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  operator Platform() { return {files, trees, processes, registry, desktop, system, eventLog}; }
  /// Everything as a new platform has it, for a table whose cases share a fixture.
  void reset() {
    std::destroy_at(this);
    std::construct_at(this);
  }

  FakeFileSystem disk;
  FakeFiles files{disk};
  FakeTrees trees{disk};
  FakeProcesses processes{disk};
  FakeRegistry registry;
  FakeDesktop desktop;
  FakeSystem system;
  FakeEventLog eventLog;
};

}  // namespace vesk
