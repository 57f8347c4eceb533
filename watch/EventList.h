// The rows of recorded changes, shared by the watcher (writes) and the window and export (read).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <shared_mutex>
#include <vector>

#include "watch/EventRow.h"

namespace qzx {

/// Rows oldest first; the window shows them newest first by mapping row i to Size() - 1 - i.
/// Thread-safe: writers take the lock alone, readers share it, so a long export never stops the
/// window from painting.
class EventList {
  public:
    /// Appends rows (oldest first) at the end. Any thread.
    void Append(std::vector<EventRow>&& rows);
    /// Removes every row and starts a new generation. Any thread.
    void Clear();
    /// Number of rows. Any thread, lock-free.
    std::size_t Size() const { return size.load(std::memory_order_acquire); }
    /// Counts the clears, so a reader can tell that the rows it knew are gone. Lock-free.
    std::uint64_t Generation() const { return generation.load(std::memory_order_acquire); }
    /// Copies row index (oldest first) of the given generation into out; false when that
    /// generation is gone or the index is out of range.
    bool RowAt(std::uint64_t gen, std::size_t index, EventRow& out) const;
    /// Copies every row, oldest first.
    std::vector<EventRow> Snapshot() const;
    // A deque never moves its rows when it grows, so appending to a list of a million rows
    // does not hold the readers up while it copies them.
    using Rows = std::deque<EventRow>;
    /// Runs read(rows) with the rows held still (oldest first); writers wait meanwhile.
    template <class Reader>
    void Read(Reader&& read) const {
        std::shared_lock<std::shared_mutex> lock(mutex);
        read(static_cast<const Rows&>(rows));
    }

  private:
    mutable std::shared_mutex mutex;
    Rows rows;
    std::atomic<std::size_t> size{0};
    std::atomic<std::uint64_t> generation{0};
};

}  // namespace qzx
