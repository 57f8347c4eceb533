// The Linux change source that sees a whole file system at once through one fanotify mark and
// keeps only what happens below the watched folder, with the process behind each change.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "watch/ChangeSource.h"

namespace qzx {

/// How the fanotify source sets itself up. The defaults are the program's; the others let
/// tests run it as on an older kernel, or have the kernel refuse it.
struct FanotifyOptions {
    /// One event per rename where the kernel has it; else the two halves are paired.
    bool renameEvents = true;
    /// The handle of a created or deleted entry in its event, where the kernel has it.
    bool targetHandles = true;
    /// A process handle with each event, which tells an ended process from a reused PID.
    bool processHandles = true;
    /// Each record carries the process that made the change.
    bool processes = true;
    /// The start of every program is heard too, so that a process that has ended before its
    /// changes are read is still named after its program.
    bool programEvents = true;
    /// Folders elsewhere on the file system are told to the kernel, which then drops their
    /// changes before they are queued, rather than this program reading and dropping them.
    bool ignoreElsewhere = true;
    /// The kernel's queue has no bound of its own (its default is shared with every change on
    /// the file system); past this many bytes waiting, what waits is dropped and told as an
    /// overflow, so that a reader that cannot keep up does not hold the machine's memory.
    std::size_t maxQueuedBytes = 64u << 20;
    /// Test seams: the errno value that setting up the group, or placing the mark, is made to
    /// fail with (0: the kernel's own answer).
    int refuseGroupWith = 0;
    int refuseMarkWith = 0;
};

/// A ChangeSource whose failure to start tells whether fanotify or the folder was refused.
class FanotifySource : public ChangeSource {
  public:
    /// After a Start that returned false: why fanotify cannot watch this folder, in the
    /// program's words (UTF-8), when another engine might; empty when the folder itself
    /// cannot be watched (missing, not a folder, unreadable). GUI thread.
    virtual std::string Refusal() const = 0;
    /// The errno value behind Refusal; 0 when there is none.
    virtual int RefusalError() const = 0;
};

/// A new fanotify source; starting it needs CAP_SYS_ADMIN and CAP_DAC_READ_SEARCH.
std::unique_ptr<FanotifySource> CreateFanotifySource(const FanotifyOptions& options = {});

/// Why fanotify refuses with this errno value, in the program's words (UTF-8).
std::string FanotifyRefusalText(int error);

}  // namespace qzx
