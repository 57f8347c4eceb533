// Keeps what is known about the processes behind changes: what each program was when it
// started (the kernel tells of every start before the changes it makes, so a process that
// lived a millisecond is still named), and, for processes whose start was not seen, what was
// read of them for a short time, so that a burst of changes by one program reads the system's
// process table once, not once per change.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "watch/ProcessInfo.h"

namespace qzx {

/// What the system said about the process behind a change when the change was read.
enum class ProcessState {
    Unknown,  // nothing: the system cannot tell (no process handles on this kernel)
    Running,  // it was still running, so its PID was still its own
    Ended     // it had already ended: its PID may belong to another process by now
};

/// Reads what the system shows of a process now.
class ProcessReader {
  public:
    virtual ~ProcessReader() = default;
    /// The name and program of the process with this PID; nullopt when there is none (any
    /// more). A program file that cannot be read leaves exe empty.
    virtual std::optional<ProcessInfo> Read(int pid) = 0;
    /// What tells the process behind a process handle from every other process that has had
    /// or will have its PID; 0 when the system cannot tell.
    virtual std::uint64_t Identity(int /*handle*/) { return 0; }
    /// The same for whatever process has this PID now; 0 when there is none or it cannot tell.
    virtual std::uint64_t IdentityOf(int /*pid*/) { return 0; }
    /// True when the process behind a process handle has ended.
    virtual bool HasEnded(int /*handle*/) { return false; }
};

/// The system's process table, as the Linux platform layer reads it. Any thread.
ProcessReader& SystemProcessReader();

/// Answers which process made a change, by PID. One thread at a time.
class ProcessCache {
  public:
    using Clock = std::chrono::steady_clock;
    /// How long what was read about a PID whose start was not seen is taken as true. Short,
    /// because a PID may change hands once its process ends, and a process may start another
    /// program (a shell's child that opened a file and then became the command that writes it).
    static constexpr std::chrono::milliseconds kFreshFor{250};
    /// PIDs kept at most; beyond it the ended ones go, then the stale ones, and then all.
    static constexpr std::size_t kMaxEntries = 4096;
    /// How often, at most, the processes whose start was seen are asked whether they still run.
    static constexpr std::chrono::seconds kCheckEvery{1};
    /// A process's short name as the system keeps it, in bytes at most.
    static constexpr std::size_t kNameBytes = 15;

    /// reader is not owned and must outlive the cache.
    explicit ProcessCache(ProcessReader& reader, std::chrono::milliseconds freshFor = kFreshFor);

    /// The process behind a change read at now; handle is the process handle that came with
    /// it (-1 for none). Empty for a PID of 0 or less (the kernel's own work, or a process this
    /// one cannot see). A process is never given the name of another that had its PID before
    /// or after it: a process that had ended, whose start was not seen and that was not read
    /// while it ran is its PID alone.
    std::shared_ptr<const ProcessInfo> Find(int pid, ProcessState state, int handle,
                                            Clock::time_point now);
    /// Without a handle, as for changes kept while their folder could not be placed.
    std::shared_ptr<const ProcessInfo> Find(int pid, ProcessState state, Clock::time_point now) {
        return Find(pid, state, -1, now);
    }

    /// Tells that the process with this PID started the program at this absolute path (raw
    /// bytes), as the kernel reported it before any change the process made afterwards. A
    /// dynamic loader started right after another program by the same process is that
    /// program's loader, and changes nothing.
    void OnProgramStart(int pid, ProcessState state, int handle, const std::string& program,
                        Clock::time_point now);

    /// Tells that everything queued before now has been read: the processes known to have
    /// ended can have no change left to name, and are forgotten.
    void OnQueueEmpty(Clock::time_point now);
    /// True while a process is kept only until the queue is next found empty.
    bool WaitsForEmptyQueue() const { return endedStarts > 0 || startedCount > 0; }

    /// PIDs currently kept.
    std::size_t Size() const { return entries.size(); }

  private:
    struct Entry {
        std::shared_ptr<const ProcessInfo> info;
        Clock::time_point readAt;
        std::uint64_t identity = 0;  // 0: unknown
        bool started = false;        // from the program's start, not a read of /proc
        bool justStarted = false;    // no change of the process since its start
        bool ended = false;          // known to have ended; forgotten when the queue is empty
        bool nameRead = false;       // its own name was asked for
    };

    std::shared_ptr<const ProcessInfo> FromStart(Entry& entry, ProcessState state, int handle,
                                                 std::uint64_t identity);
    void ReadName(Entry& entry, int handle);
    void MarkEnded(Entry& entry);
    void Erase(std::unordered_map<int, Entry>::iterator it);
    void MakeRoom(Clock::time_point now);

    ProcessReader& reader;
    std::chrono::milliseconds freshFor;
    std::unordered_map<int, Entry> entries;
    std::size_t startedCount = 0;  // entries from a start
    std::size_t endedStarts = 0;   // of them, known to have ended
    Clock::time_point lastCheck{};
};

}  // namespace qzx
