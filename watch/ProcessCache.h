// Keeps what was read about the processes behind changes for a short time, so that a burst of
// changes by one program reads the system's process table once, not once per change.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
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
};

/// The system's process table, as the Linux platform layer reads it. Any thread.
ProcessReader& SystemProcessReader();

/// Answers which process made a change, by PID. One thread at a time.
class ProcessCache {
  public:
    using Clock = std::chrono::steady_clock;
    /// How long what was read about a PID is taken as true. Short, because a PID may change
    /// hands once its process ends, and a process may start another program (a shell's child
    /// that opened a file and then became the command that writes it).
    static constexpr std::chrono::milliseconds kFreshFor{250};
    /// PIDs kept at most; beyond it the stale ones go, and then all.
    static constexpr std::size_t kMaxEntries = 4096;

    /// reader is not owned and must outlive the cache.
    explicit ProcessCache(ProcessReader& reader, std::chrono::milliseconds freshFor = kFreshFor);

    /// The process behind a change read at now. Empty for a PID of 0 or less (the kernel's own
    /// work, or a process this one cannot see). A process that had ended and was not read
    /// while it ran is its PID alone; it is never given the name of whatever now has its PID.
    std::shared_ptr<const ProcessInfo> Find(int pid, ProcessState state, Clock::time_point now);

    /// PIDs currently kept.
    std::size_t Size() const { return entries.size(); }

  private:
    struct Entry {
        std::shared_ptr<const ProcessInfo> info;
        Clock::time_point readAt;
    };

    void MakeRoom(Clock::time_point now);

    ProcessReader& reader;
    std::chrono::milliseconds freshFor;
    std::unordered_map<int, Entry> entries;
};

}  // namespace qzx
