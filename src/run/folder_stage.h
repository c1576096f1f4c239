#pragma once

#include <string>

#include "run/run_settings.h"
#include "run/run_state.h"

namespace vesk {

/// What the folder backup stage leaves to the later stages.
struct FolderStageResult {
  bool refused = false;  // a test failed: the run ends through the error report
  int copiesMade = 0;
  bool everyCopyCompleted = true;
  /// The destination as the database stage takes it: ending in one backslash once a finalPath
  /// record was copied, as given otherwise.
  std::string destinationDir;
  /// db.properties of the last finalPath record's installation; empty when there was none.
  std::string dbPropertiesPath;
};

/// Reads path.conf record by record and copies each finalPath folder into the destination
/// folder, after testing source and destination. A missing path.conf, a source or destination
/// that fails its test, and a copy into the source itself send the run to the error report,
/// which is armed once path.conf is open.
FolderStageResult runFolderStage(RunState& run, const RunSettings& settings,
                                 const std::string& pathConfPath);

}  // namespace vesk
