// The rules for trusting what was read about a PID.
#include "watch/ProcessCache.h"

#include <utility>

namespace qzx {

ProcessCache::ProcessCache(ProcessReader& reader, std::chrono::milliseconds freshFor)
    : reader(reader), freshFor(freshFor) {}

std::shared_ptr<const ProcessInfo> ProcessCache::Find(int pid, ProcessState state,
                                                      Clock::time_point now) {
    if (pid <= 0) return nullptr;
    auto it = entries.find(pid);
    if (it != entries.end() && now - it->second.readAt < freshFor) {
        const bool named = !it->second.info->name.empty();
        // A running process behind a PID that was only known as ended is another process.
        if (named || state != ProcessState::Running) return it->second.info;
    }
    std::optional<ProcessInfo> read;
    // Whatever runs under an ended process's PID now is someone else.
    if (state != ProcessState::Ended) read = reader.Read(pid);
    if (!read) read = ProcessInfo{};
    read->pid = pid;
    auto info = std::make_shared<const ProcessInfo>(std::move(*read));
    if (it == entries.end()) {
        MakeRoom(now);
        entries.emplace(pid, Entry{info, now});
    } else {
        it->second = Entry{info, now};
    }
    return info;
}

void ProcessCache::MakeRoom(Clock::time_point now) {
    if (entries.size() < kMaxEntries) return;
    for (auto it = entries.begin(); it != entries.end();) {
        it = now - it->second.readAt >= freshFor ? entries.erase(it) : std::next(it);
    }
    // A fork storm: every PID is fresh. Forgetting them only costs reading them again.
    if (entries.size() >= kMaxEntries) entries.clear();
}

}  // namespace qzx
