// Where the tree's snapshots and the catch-up switch live on this system.
#pragma once

#include <string>

namespace qzx {

/// The folder of the snapshots, with its trailing separator: the service's state directory
/// ($STATE_DIRECTORY) when it has one, else $XDG_STATE_HOME/qzxfile/snapshots/ on Linux, and
/// %LOCALAPPDATA%\QzxFile\snapshots\ on Windows; empty when the environment names none. Any
/// thread; defined in the platform layer.
std::string SystemSnapshotFolder();

/// The file that remembers the window's "记录停止期间的变化": in the settings folder, beside the
/// ignore list; empty when there is none. Any thread.
std::string SystemCatchUpSettingFile();

}  // namespace qzx
