// Splitting what one read of an inotify descriptor returned into events.
#pragma once

#include <cstddef>
#include <vector>

#include "watch/InotifyTranslator.h"

namespace qzx {

/// Appends to events (after clearing it) every whole event found in the length bytes at data,
/// in order; each name points into data and ends at its first zero byte or at its field's end.
/// Never reads outside [data, data + length): a trailing part that does not hold a whole event
/// (header and the name length it announces) is left unread. Returns the number of bytes that
/// the whole events take. Any thread; data needs no alignment.
std::size_t ParseInotifyEvents(const char* data, std::size_t length,
                               std::vector<InotifyEvent>& events);

}  // namespace qzx
