#include "watch/EventList.h"

#include <limits>
#include <mutex>

namespace qzx {

// The process number lives in the padding after the date: a row grows by nothing for it. A
// rename's offset costs a word (8 bytes with the padding on 64 bits), not a second path.
static_assert(sizeof(ListedRow) <= 24 + sizeof(std::string));

namespace {

// What a listed row and a whole row share, copied one way or the other.
template <typename From, typename To>
void CopyStamp(const From& from, To& to) {
    to.id = from.id;
    to.year = from.year;
    to.month = from.month;
    to.day = from.day;
    to.hour = from.hour;
    to.minute = from.minute;
    to.second = from.second;
    to.action = from.action;
    to.newPathAt = from.newPathAt;
}

}  // namespace

std::uint32_t EventList::Intern(const std::shared_ptr<const ProcessInfo>& process) {
    if (!process) return 0;
    const auto found = numbers.find(process.get());
    if (found != numbers.end()) return found->second;
    // More distinct processes than a number holds cannot come from fewer rows than that; a
    // row past it shows none rather than another's.
    if (processes.size() >= std::numeric_limits<std::uint32_t>::max()) return 0;
    processes.push_back(process);
    const auto number = static_cast<std::uint32_t>(processes.size());
    numbers.emplace(process.get(), number);
    return number;
}

EventRow EventList::Whole(const ListedRow& row) const {
    EventRow whole;
    CopyStamp(row, whole);
    whole.details = row.details;
    if (row.process != 0) whole.process = processes[row.process - 1];
    return whole;
}

void EventList::Append(std::vector<EventRow>&& added) {
    if (added.empty()) return;
    std::unique_lock<std::shared_mutex> lock(mutex);
    for (EventRow& row : added) {
        ListedRow& listed = rows.emplace_back();
        CopyStamp(row, listed);
        listed.process = Intern(row.process);
        listed.details = std::move(row.details);
    }
    size.store(rows.size(), std::memory_order_release);
}

void EventList::Clear() {
    std::unique_lock<std::shared_mutex> lock(mutex);
    // Swap rather than clear(): a cleared list should give its memory back.
    Rows().swap(rows);
    decltype(processes)().swap(processes);
    decltype(numbers)().swap(numbers);
    size.store(0, std::memory_order_release);
    generation.fetch_add(1, std::memory_order_acq_rel);
}

bool EventList::RowAt(std::uint64_t gen, std::size_t index, EventRow& out) const {
    std::shared_lock<std::shared_mutex> lock(mutex);
    if (gen != generation.load(std::memory_order_acquire) || index >= rows.size()) return false;
    out = Whole(rows[index]);
    return true;
}

std::vector<EventRow> EventList::Snapshot() const {
    std::shared_lock<std::shared_mutex> lock(mutex);
    std::vector<EventRow> all;
    all.reserve(rows.size());
    for (const ListedRow& row : rows) all.push_back(Whole(row));
    return all;
}

std::size_t EventList::ProcessCount() const {
    std::shared_lock<std::shared_mutex> lock(mutex);
    return processes.size();
}

}  // namespace qzx
