// The rules for trusting what is known about a PID.
//
// A PID names one process only while that process lives; afterwards the kernel may give it to
// another. Two things keep a name on the right process. A process handle that came with a
// change tells, through its identity, whether the process that started a program is the one
// that changed the file. And a process known to have ended is forgotten only once the queue
// has been found empty: every change it made was queued before it ended, so all of them have
// been read by then, while its PID can only be handed out again after the kernel has gone
// through every other free PID (it hands them out in turn).
#include "watch/ProcessCache.h"

#include <utility>

namespace qzx {
namespace {

// The kernel's dynamic loaders (ld-linux-x86-64.so.2, ld-linux.so.2, ld-musl-*.so.1): started
// by the kernel for a program right after the program itself, in the same process.
bool IsLoader(const std::string& program) {
    const std::size_t slash = program.rfind('/');
    const std::string base = slash == std::string::npos ? program : program.substr(slash + 1);
    return base.compare(0, 3, "ld-") == 0 && base.find(".so") != std::string::npos;
}

}  // namespace

ProcessCache::ProcessCache(ProcessReader& reader, std::chrono::milliseconds freshFor)
    : reader(reader), freshFor(freshFor) {}

std::shared_ptr<const ProcessInfo> ProcessCache::Find(int pid, ProcessState state, int handle,
                                                      Clock::time_point now) {
    if (pid <= 0) return nullptr;
    const bool withHandle = state == ProcessState::Running && handle >= 0;
    const std::uint64_t identity = withHandle ? reader.Identity(handle) : 0;
    auto it = entries.find(pid);
    if (it != entries.end()) {
        Entry& entry = it->second;
        if (entry.started) {
            if (auto info = FromStart(entry, state, handle, identity)) return info;
            Erase(it);
            it = entries.end();
        } else if (now - entry.readAt < freshFor &&
                   (identity == 0 || entry.identity == 0 || identity == entry.identity)) {
            const bool named = !entry.info->name.empty();
            // A running process behind a PID that was only known as ended is another process.
            if (named || state != ProcessState::Running) return entry.info;
        }
    }
    std::optional<ProcessInfo> read;
    // Whatever runs under an ended process's PID now is someone else.
    if (state != ProcessState::Ended) read = reader.Read(pid);
    // Ended by now, the process may have left its PID to another before it was read.
    if (read && withHandle && reader.HasEnded(handle)) read.reset();
    if (!read) read = ProcessInfo{};
    read->pid = pid;
    auto info = std::make_shared<const ProcessInfo>(std::move(*read));
    Entry fresh{info, now, identity, false, false, false, true};
    if (it == entries.end()) {
        MakeRoom(now);
        entries.emplace(pid, std::move(fresh));
    } else {
        it->second = std::move(fresh);
    }
    return info;
}

std::shared_ptr<const ProcessInfo> ProcessCache::FromStart(Entry& entry, ProcessState state,
                                                           int handle, std::uint64_t identity) {
    entry.justStarted = false;
    switch (state) {
        case ProcessState::Running:
            // A process that runs now and that the start's handle does not name is another.
            if (identity != 0 && entry.identity != 0) {
                if (identity != entry.identity) return nullptr;
                if (!entry.nameRead) ReadName(entry, handle);
                return entry.info;
            }
            // Ended already when its start was read: whatever runs under its PID is later.
            if (identity != 0 || entry.ended) return nullptr;
            // No identities on this kernel, or none kept with a change read earlier: the start
            // is the latest thing known of the PID.
            return entry.info;
        case ProcessState::Ended:
            // It ended after it started: all it changed is queued before the queue is next
            // found empty, and until then its PID is its own in the queue.
            MarkEnded(entry);
            return entry.info;
        case ProcessState::Unknown:
            return entry.info;
    }
    return nullptr;
}

void ProcessCache::ReadName(Entry& entry, int handle) {
    // Read once: a process whose read fails keeps the name of its program file.
    entry.nameRead = true;
    std::optional<ProcessInfo> read = reader.Read(entry.info->pid);
    // The program it started still (the name is set after the program file, so a read made
    // during a later start shows the new file), and still running after the read: the read
    // was of this process, not of one that has its PID since.
    if (!read || read->exe != entry.info->exe || read->name.empty() || reader.HasEnded(handle)) {
        return;
    }
    if (read->name == entry.info->name) return;
    ProcessInfo named = *entry.info;
    named.name = read->name;
    entry.info = std::make_shared<const ProcessInfo>(std::move(named));
}

void ProcessCache::OnProgramStart(int pid, ProcessState state, int handle,
                                  const std::string& program, Clock::time_point now) {
    if (pid <= 0 || program.empty()) return;
    auto it = entries.find(pid);
    if (it != entries.end() && it->second.started && it->second.justStarted && IsLoader(program)) {
        return;
    }
    ProcessInfo info;
    info.pid = pid;
    info.exe = program;
    // The system names a process after the file it was started as; its own name is read
    // where it still runs, since a link may have led to the file (sh to dash).
    const std::size_t slash = program.rfind('/');
    info.name = program.substr(slash == std::string::npos ? 0 : slash + 1, kNameBytes);
    // Its own name is read once it has changed something: now it may still be inside the
    // start, with the new program but the old name.
    const std::uint64_t identity =
        state == ProcessState::Running && handle >= 0 ? reader.Identity(handle) : 0;
    Entry entry{std::make_shared<const ProcessInfo>(std::move(info)),
                now,
                identity,
                true,
                true,
                false,
                false};
    if (it == entries.end()) {
        MakeRoom(now);
        it = entries.emplace(pid, std::move(entry)).first;
        ++startedCount;
    } else {
        if (!it->second.started) ++startedCount;
        if (it->second.started && it->second.ended) --endedStarts;
        it->second = std::move(entry);
    }
    if (state == ProcessState::Ended) MarkEnded(it->second);
}

void ProcessCache::OnQueueEmpty(Clock::time_point now) {
    if (endedStarts > 0) {
        for (auto it = entries.begin(); it != entries.end();) {
            auto next = std::next(it);
            if (it->second.started && it->second.ended) Erase(it);
            it = next;
        }
    }
    // The others are asked now and then; those that have ended are forgotten the next time
    // the queue is found empty, after what they queued before they ended has been read.
    if (startedCount == 0 || now - lastCheck < kCheckEvery) return;
    lastCheck = now;
    for (auto& [pid, entry] : entries) {
        if (!entry.started || entry.ended || entry.identity == 0) continue;
        if (reader.IdentityOf(pid) != entry.identity) MarkEnded(entry);
    }
}

void ProcessCache::MarkEnded(Entry& entry) {
    if (entry.ended) return;
    entry.ended = true;
    if (entry.started) ++endedStarts;
}

void ProcessCache::Erase(std::unordered_map<int, Entry>::iterator it) {
    if (it->second.started) {
        --startedCount;
        if (it->second.ended) --endedStarts;
    }
    entries.erase(it);
}

void ProcessCache::MakeRoom(Clock::time_point now) {
    if (entries.size() < kMaxEntries) return;
    for (auto it = entries.begin(); it != entries.end();) {
        auto next = std::next(it);
        if (!it->second.started && now - it->second.readAt >= freshFor) Erase(it);
        it = next;
    }
    if (entries.size() < kMaxEntries) return;
    // Starts whose processes have ended since cost only their names if forgotten now.
    for (auto it = entries.begin(); it != entries.end();) {
        auto next = std::next(it);
        Entry& entry = it->second;
        if (entry.started && entry.identity != 0 &&
            reader.IdentityOf(it->first) != entry.identity) {
            Erase(it);
        }
        it = next;
    }
    // A fork storm: every PID is alive and fresh. Forgetting them only costs names.
    if (entries.size() >= kMaxEntries) {
        entries.clear();
        startedCount = 0;
        endedStarts = 0;
    }
}

}  // namespace qzx
