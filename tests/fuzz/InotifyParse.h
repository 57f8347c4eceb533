// The one entry the inotify fuzz target needs from the watcher.
#pragma once

#include <cstddef>
#include <vector>

#include "watch/InotifyTranslator.h"

namespace qzx::fuzz {

/// The events of one read of an inotify descriptor, as the change source parses them; names
/// point into data.
void ParseInotifyBytes(const char* data, std::size_t length, std::vector<InotifyEvent>& events);

}  // namespace qzx::fuzz
