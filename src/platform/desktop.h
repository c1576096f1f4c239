#pragma once

// What the user's desktop does for the run: message boxes and the shell's copy operation.

#include <string>

namespace vesk {

/// What the shell copy may do without asking anyone. An unattended copy sets all three: it must
/// never wait for a person, and its errors show in its result instead of in a dialog.
struct ShellCopyOptions {
  bool replaceWithoutAsking = false;        // files that are there already
  bool createFoldersWithoutAsking = false;  // folders that are missing
  bool noErrorDialog = false;
};

/// How a shell copy ended: it ran through, some of it was cancelled, or it failed.
enum class ShellCopyEnd { copied, aborted, failed };

struct ShellCopyResult {
  ShellCopyEnd end = ShellCopyEnd::copied;
  /// The shell's own number for what went wrong, for the log alone; 0 when it gave none.
  int code = 0;
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  /// A modal box with the text, an OK button, no icon and the program's title as caption.
  /// Returns at once, as if OK had been pressed, when nobody can see the desktop.
  virtual void showMessage(const std::string& text) = 0;
  /// Copies what the pattern from names (a folder's path and "\*": everything in it) into the
  /// folder to. Throws Failure "Bad file name or number" for a path with a NUL inside.
  virtual ShellCopyResult shellCopy(const std::string& from, const std::string& to,
                                    ShellCopyOptions options) = 0;
};

}  // namespace vesk
