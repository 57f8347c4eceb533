// Keeps the thread that reads the system's change notifications free of everything but reading:
// what a change source reports is taken at once and handed on, in order, on another thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "watch/ChangeSource.h"

namespace qzx {

/// What to do with the records still waiting when a queue stops.
enum class Backlog {
    Discard,  // drop them: stopping never waits for recording (a window's Stop)
    Finish    // hand every one on before ending (a clean exit that loses nothing already read)
};

/// A ChangeSink that stands between a change source and the sink that records. Its ChangeSink
/// calls only store what they are given and return; a thread of its own replays them to the
/// target in the same order, joining consecutive batches. Memory is its only limit: records
/// beyond maxWaiting are dropped and reported to the target as one OnOverflow.
class ChangeQueue final : public ChangeSink {
  public:
    /// Records that may wait to be handed on before further ones are reported as lost.
    static constexpr std::size_t kMaxWaitingRecords = 1000000;
    /// Records handed on in one OnBatch at most, so that a list-wide operation never waits
    /// long for the recorder.
    static constexpr std::size_t kMaxRecordsPerBatch = 4096;
    /// How long the handing thread lets a small batch gather company before handing it on:
    /// a few of the reader's pauses, so that a burst reaches the recorder and the log in a
    /// few hundred batches a second rather than thousands.
    static constexpr std::chrono::microseconds kGatherTime{4000};

    /// target is not owned and must outlive the queue.
    explicit ChangeQueue(ChangeSink& target, std::size_t maxWaiting = kMaxWaitingRecords);
    /// Stops as Stop(Backlog::Discard) does.
    ~ChangeQueue() override;
    ChangeQueue(const ChangeQueue&) = delete;
    ChangeQueue& operator=(const ChangeQueue&) = delete;

    /// Starts the thread that hands on; false when no thread can be had. Call while stopped.
    bool Start();
    /// Ends the handing thread and joins it; call once the source has stopped, so that nothing
    /// comes in any more. A target call under way completes either way. Safe when not started.
    void Stop(Backlog backlog);
    /// Records that may wait before further ones are reported as lost. Any thread.
    std::size_t MaxWaiting() const { return maxWaiting; }
    /// Records waiting to be handed on, the batch being handed on included. Any thread.
    std::size_t Waiting() const;
    /// True from the moment Stop is asked for until the next Start. Any thread.
    bool Stopping() const;
    /// Waits until everything given to the queue so far was handed on (or dropped by Stop);
    /// false when timeout passed first. Any thread but the handing one.
    bool WaitUntilHandedOn(std::chrono::milliseconds timeout);

    // The source's side: one thread at a time; none waits for the target.
    void OnBatch(const ChangeBatch& batch) override;
    void OnArming(std::size_t watchedFolders) override;
    void OnReady() override;
    void OnOverflow() override;
    void OnWarning(WatchWarning warning, const std::string& path) override;
    void OnEnded() override;

  private:
    enum class Kind { Batch, Arming, Ready, Overflow, Warning, Ended };
    struct Entry {
        explicit Entry(Kind k, ChangeBatch b = {}) : kind(k), batch(std::move(b)) {}
        Kind kind;
        ChangeBatch batch;
        std::size_t count = 0;
        WatchWarning warning = WatchWarning::UnreadableFolder;
        std::string path;
    };

    void Push(Entry&& entry);
    void Run();
    void HandOn(std::deque<Entry>& entries);
    void HandOnBatch(ChangeBatch& batch);
    void Replay(const Entry& entry);

    ChangeSink& target;
    const std::size_t maxWaiting;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable handedOn;  // entries and the batch in hand are all gone
    std::deque<Entry> entries;
    std::size_t waiting = 0;
    bool busy = false;      // the handing thread holds entries taken from the queue
    bool dropping = false;  // the batch before was dropped and its loss already reported
    bool stopping = false;
    std::atomic<bool> discard{false};
    std::thread thread;
};

}  // namespace qzx
