// Fuzz target: any bytes as a status file read back, by readStatusText and, with the file's
// size taken as it is or as beyond the bound, by readStatusFile.
//
// Properties, for every input:
// - reading never throws and never recurses with the input's nesting (ASan would report the
//   stack overflow);
// - an input is either used or refused with a reason, never both, never neither;
// - an input used is one JSON object (checked by nlohmann's own parser) of "veskbackup" and
//   schemaVersion 1, nested no deeper than maxStatusDepth (counted here by a scan of its
//   brackets outside strings);
// - a still-running record names its output;
// - a file over maxStatusFileSize is refused as too large, whatever it holds.

#include <nlohmann/json.hpp>

#include "fake_platform.h"
#include "fuzz_check.h"
#include "run/status_reader.h"

namespace vesk {
namespace {

/// The deepest nesting of [ and { outside JSON strings.
size_t depthOf(const std::string& text) {
  size_t depth = 0, deepest = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

}  // namespace
}  // namespace vesk

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  const std::string text = fuzz::inputText(data, size);
  FakePlatform platform;
  StatusReading reading;
  try {
    reading = readStatusText(platform.system, text);
  } catch (...) {
    FUZZ_CHECK(false, "readStatusText threw: " + fuzz::shown(text.substr(0, 200)));
  }
  FUZZ_CHECK(reading.status.has_value() == reading.reason.empty(), reading.reason);
  if (reading.status) {
    const auto parsed = nlohmann::json::parse(text, nullptr, false);
    FUZZ_CHECK(parsed.is_object(), "used, though not one JSON object");
    FUZZ_CHECK(parsed.at("program") == "veskbackup" && parsed.at("schemaVersion") == 1,
               "used, though not a status file of schemaVersion 1");
    FUZZ_CHECK(depthOf(text) <= maxStatusDepth, "used, though nested too deep");
    if (reading.status->stillRunning)
      FUZZ_CHECK(!reading.status->stillRunning->outputPath.empty(), "a client without output");
  }

  // The same text as a file, of its own size and of one beyond the bound.
  const std::string path = "D:\\Backup\\veskbackup-status.json";
  platform.disk.addFolder("D:\\Backup");
  platform.disk.addFile(path, text);
  const std::optional<StatusReading> file = readStatusFile(platform.files, platform.system, path);
  FUZZ_CHECK(file && file->reason == reading.reason, "the file read otherwise than its text");
  platform.files.sizes[path] = maxStatusFileSize + 1;
  const std::optional<StatusReading> large = readStatusFile(platform.files, platform.system, path);
  FUZZ_CHECK(large && !large->status && large->reason == "larger than 8 MiB, not read",
             "a file beyond the bound was read");
  return 0;
}
