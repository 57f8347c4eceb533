// Linux's rule for the user's own log folder, the one used when the program's folder is not
// writable.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

/// The user's log folder: xdgStateHome, else home + "/.local/state", then "qzxfile/log/".
/// Relative values count as unset, as the base-directory convention asks; empty when neither
/// gives an absolute folder. Any thread.
std::string UserLogDirectory(std::string_view xdgStateHome, std::string_view home);

/// The folder whose "log" may hold the daily log: executableFolder itself, or empty for a
/// folder of installed programs (one named bin or sbin, such as /usr/bin or ~/.local/bin),
/// which then leaves the log to the user's folder. Any thread.
std::string LogModuleFolder(std::string_view executableFolder);

}  // namespace qzx
