// Splitting what one read of a fanotify descriptor returned into events and their information
// records, without looking at what they mean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "watch/ProcessCache.h"

namespace qzx {

/// A folder and, for a named record, an entry in it, as an event reports them. handle holds the
/// file system's id and the file handle exactly as the event carries them (length, type and
/// bytes): equal handles are the same folder. Both point into the caller's buffer; an absent
/// record has an empty handle.
struct FanotifyEntry {
    std::string_view handle;
    std::string_view name;
    bool named = false;  // the record carries a name ("." for the folder itself)
};

/// One event as fanotify delivers it to a group that reports file handles.
struct FanotifyEvent {
    std::uint64_t mask = 0;
    int pid = 0;
    /// A descriptor of the object, which a group that reports handles never opens; -1 for none.
    /// Whoever reads the events closes it when it is 0 or more.
    int fd = -1;
    /// The process handle of the PID record, when it is 0 or more; whoever reads the events
    /// closes it. -1 when the record is absent or tells no descriptor.
    int pidfd = -1;
    /// What the PID record tells: Running (a handle came), Ended (the process had gone when the
    /// event was read), Unknown (no record, or the kernel could not make a handle).
    ProcessState process = ProcessState::Unknown;
    FanotifyEntry entry;      // the folder of the change and the entry's name
    FanotifyEntry from;       // a rename's old folder and name
    FanotifyEntry to;         // a rename's new folder and name
    std::string_view object;  // the handle of the object itself (the child of a dirent event)
};

/// Appends to events (after clearing it) every whole event found in the length bytes at data,
/// in order. Never reads outside [data, data + length): an event whose length runs past the
/// read, or that is shorter than its own header, ends the parse; an information record that
/// runs past its event ends that event's records. Names end at their first zero byte or at
/// their record's end. Returns the number of bytes of the whole events. Any thread; data needs
/// no alignment.
std::size_t ParseFanotifyEvents(const char* data, std::size_t length,
                                std::vector<FanotifyEvent>& events);

}  // namespace qzx
