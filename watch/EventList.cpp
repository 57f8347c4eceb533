#include "watch/EventList.h"

#include <iterator>
#include <mutex>

namespace qzx {

void EventList::Append(std::vector<EventRow>&& added) {
    if (added.empty()) return;
    std::unique_lock<std::shared_mutex> lock(mutex);
    rows.insert(rows.end(), std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
    size.store(rows.size(), std::memory_order_release);
}

void EventList::Clear() {
    std::unique_lock<std::shared_mutex> lock(mutex);
    // Swap rather than clear(): a cleared list should give its memory back.
    Rows().swap(rows);
    size.store(0, std::memory_order_release);
    generation.fetch_add(1, std::memory_order_acq_rel);
}

bool EventList::RowAt(std::uint64_t gen, std::size_t index, EventRow& out) const {
    std::shared_lock<std::shared_mutex> lock(mutex);
    if (gen != generation.load(std::memory_order_acquire) || index >= rows.size()) return false;
    out = rows[index];
    return true;
}

std::vector<EventRow> EventList::Snapshot() const {
    std::shared_lock<std::shared_mutex> lock(mutex);
    return std::vector<EventRow>(rows.begin(), rows.end());
}

}  // namespace qzx
