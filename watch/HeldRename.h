// The first half of a rename that ends one read of the system's notifications, held back for a
// moment in case its second half comes with the next read.
#pragma once

#include <chrono>

#include "watch/ChangeRecord.h"

namespace qzx {

/// How long the first half of a rename waits for its second half from a later read. Long
/// enough for the reader to come back for the next read in a burst; short enough that a file
/// moved out of the tree still shows at once.
inline constexpr std::chrono::milliseconds kHeldRenameWait{15};

/// The wait of one held first half, for a source whose translator holds the half itself.
/// Clock readings are passed in, so that tests need no sleep. One thread.
class RenameWait {
  public:
    using Clock = std::chrono::steady_clock;

    /// A first half was (newly) held at now: the wait starts again.
    void Start(Clock::time_point now) { since = now; }
    /// How long a wait for more notifications may last before the held half is due, rounded
    /// up to whole milliseconds (a wait that woke a little early would only wait again);
    /// zero once it is due.
    std::chrono::milliseconds Left(Clock::time_point now) const;
    /// True once kHeldRenameWait has passed since Start.
    bool Over(Clock::time_point now) const { return now - since >= kHeldRenameWait; }

  private:
    Clock::time_point since;
};

/// Holds the old name of a rename (kActionRenamedOld) that ends a batch, and puts it in front
/// of the next batch, so that the rows' rules see the two halves together. One thread.
class HeldRename {
  public:
    using Clock = RenameWait::Clock;

    /// Puts what is held in front of batch, then holds batch's last record instead if it is an
    /// old name, from now. batch is what may be handed on now (possibly empty).
    void Take(ChangeBatch& batch, Clock::time_point now);
    /// True while an old name waits for its new name.
    bool Holding() const { return !held.empty(); }
    /// How long the held name may still wait; see RenameWait::Left. Only while Holding.
    std::chrono::milliseconds Left(Clock::time_point now) const { return wait.Left(now); }
    /// True while Holding and the wait is over.
    bool Due(Clock::time_point now) const { return Holding() && wait.Over(now); }
    /// Hands out what is held, as a batch of its own (empty when nothing is), and holds
    /// nothing any more: for a wait that ran out, a loss or the end of watching.
    ChangeBatch Release();

  private:
    ChangeBatch held;  // at most one record
    RenameWait wait;
};

}  // namespace qzx
