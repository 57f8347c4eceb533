// The rows of recorded changes, shared by the watcher (writes) and the window and export (read).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

#include "watch/EventRow.h"

namespace qzx {

/// A row as the list keeps it: an EventRow whose process is a number in the list's own table
/// (0 for none), which fits the padding after the date and keeps a million rows 16 MB smaller.
struct ListedRow {
    int id = 0;
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t action = 0;
    std::uint32_t process = 0;
    std::uint32_t newPathAt = 0;
    std::string details;
};

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
    using Rows = std::deque<ListedRow>;
    /// Runs read(rows) with the rows held still (oldest first); writers wait meanwhile. Their
    /// processes are numbers: RowAt and Snapshot give whole EventRows.
    template <class Reader>
    void Read(Reader&& read) const {
        std::shared_lock<std::shared_mutex> lock(mutex);
        read(static_cast<const Rows&>(rows));
    }

    /// Number of distinct processes the rows refer to; they go with a Clear. Any thread.
    std::size_t ProcessCount() const;

  private:
    std::uint32_t Intern(const std::shared_ptr<const ProcessInfo>& process);
    EventRow Whole(const ListedRow& row) const;

    mutable std::shared_mutex mutex;
    Rows rows;
    // processes[n - 1] is process number n. The table holds each one alive, so that no other
    // process can take its address while a row still refers to it.
    std::vector<std::shared_ptr<const ProcessInfo>> processes;
    std::unordered_map<const ProcessInfo*, std::uint32_t> numbers;
    std::atomic<std::size_t> size{0};
    std::atomic<std::uint64_t> generation{0};
};

}  // namespace qzx
