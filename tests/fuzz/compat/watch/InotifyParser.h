// Stand-in, used only while the watcher has no parser of its own: the same entry as its
// InotifyParser.h, made from the change source by InotifyParseAdapter.cpp.
#pragma once

#include <cstddef>
#include <vector>

#include "watch/InotifyTranslator.h"

namespace qzx {

/// The events of one read of an inotify descriptor; names point into data. Returns the bytes
/// the whole events take.
std::size_t ParseInotifyEvents(const char* data, std::size_t length,
                               std::vector<InotifyEvent>& events);

}  // namespace qzx
