// The window's choice to watch through qzxfile-helper (an administrator's consent, through
// pkexec), remembered in the user's config folder; read at every Start.
#pragma once

#include <memory>

#include "watch/ChangeSource.h"

namespace qzx {

/// The menu item's words.
inline constexpr const char* kElevatedItemText = "以管理员权限监控（显示进程）";

/// Whether the next Start watches through the helper.
bool ElevatedWatchingOn();
void SetElevatedWatching(bool on);

/// The source for the next Start: through the helper when chosen and this process is not root
/// already, else the platform's. QZX_HELPER_PATH names another helper, and QZX_HELPER_ELEVATION
/// another command before it (empty: none, for a test running as root).
std::unique_ptr<ChangeSource> CreateWindowSource();

}  // namespace qzx
