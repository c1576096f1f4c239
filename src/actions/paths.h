#pragma once

#include <set>
#include <string>
#include <vector>

#include "actions/source_tree.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace vesk {

/// The text before its first NUL; the whole text when it holds none.
std::string stripAtNul(const std::string& text);

/// The path ending in exactly one backslash: a trailing run of backslashes is collapsed, a
/// path without one gets one.
std::string normaliseFolderPath(const std::string& path);

/// The folder that path names, written as Windows names it: without the blanks and dots that end
/// its last name (Windows drops them there, but keeps them before a backslash, so that a
/// backslash added later would name another folder), and a "\\?\" long form of a drive or share
/// path as that ordinary path, unless one of its names ends in a blank or a dot or is "." or
/// "..", which only the long form names as they are.
std::string windowsFolderName(const std::string& path);

/// Creates every missing level of path, from the level after the drive on, reporting
/// "create dir" + level for each level found by its backslash. A level that cannot be created
/// raises its failure; the levels made before it stay.
void createFolderPath(Files& files, RunLog& log, const std::string& path);

/// True when destination is source or lies inside it, compared as Windows compares paths:
/// letter case ignored, "/" taken as "\", trailing backslashes ignored.
bool destinationInsideSource(const std::string& destination, const std::string& source);

/// What the destination is to the file system: the identities of the destination and of each
/// folder above it that exists, and the names of those folders, as the source tree must be
/// walked to find them (see walkSource); no names when the destination is a drive or share
/// root, which any folder of the source can be.
struct DestinationChain {
  std::set<FolderIdentity> identities;
  std::vector<std::u16string> names;
};
DestinationChain destinationChainOf(const Platform& platform, const std::string& destination);

/// True when a copy of source into destination would copy into itself: the paths, as written
/// or in their full form, say so (destinationInsideSource), or the file system does, because
/// the destination or a folder above it is the source or a folder within it, reached by another
/// name (a drive letter, a share or a link onto it). tree is the source's, walked with the
/// chain's names to identify.
bool backsUpIntoItself(Files& files, const std::string& destination, const std::string& source,
                       const SourceTree& tree, const DestinationChain& chain);

/// db.properties of the installation in sourceDir: sourceDir, exactly one backslash and
/// "ZAVO\db.properties", whether sourceDir ends in a backslash or not.
std::string dbPropertiesPathOf(const std::string& sourceDir);

}  // namespace vesk
