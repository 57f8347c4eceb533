// The queue between a change source and the recorder.
//
// How it works. Two threads meet here: the change source's, which calls the ChangeSink
// functions, and the queue's own handing thread, which Start starts. The source's calls copy
// what they are given into entries under the mutex and wake the handing thread when the list
// was empty; they never wait for the target. The handing thread sleeps until something waits,
// lets a small backlog gather for kGatherTime, takes the whole list and replays it to the target
// outside the lock, joining consecutive batches (never across the two halves of a rename, never
// beyond kMaxRecordsPerBatch). After each hand-off that leaves the list empty it signals
// handedOn, which WaitUntilHandedOn waits for. Records beyond maxWaiting are dropped on the
// source's side and become one OnOverflow in their place. Stop sets stopping (and discard for
// Backlog::Discard) and wakes the handing thread: with Discard it returns at its next look,
// between two target calls; with Finish it hands on what waits and returns once the list is
// empty. Stop then joins it.
#include "watch/ChangeQueue.h"

#include <system_error>
#include <utility>

namespace qzx {

ChangeQueue::ChangeQueue(ChangeSink& t, std::size_t max) : target(t), maxWaiting(max) {}

ChangeQueue::~ChangeQueue() { Stop(Backlog::Discard); }

bool ChangeQueue::Start() {
    Stop(Backlog::Discard);
    {
        std::lock_guard<std::mutex> lock(mutex);
        entries.clear();
        waiting = 0;
        dropping = false;
        stopping = false;
        discard = false;
    }
    try {
        thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ChangeQueue::Stop(Backlog backlog) {
    if (!thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        if (backlog == Backlog::Discard) discard = true;
    }
    wake.notify_all();
    thread.join();
    {
        std::lock_guard<std::mutex> lock(mutex);
        entries.clear();
        waiting = 0;
        busy = false;
    }
    handedOn.notify_all();
}

bool ChangeQueue::WaitUntilHandedOn(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    return handedOn.wait_for(lock, timeout, [this] { return entries.empty() && !busy; });
}

std::size_t ChangeQueue::Waiting() const {
    std::lock_guard<std::mutex> lock(mutex);
    return waiting;
}

bool ChangeQueue::Stopping() const {
    std::lock_guard<std::mutex> lock(mutex);
    return stopping;
}

void ChangeQueue::OnBatch(const ChangeBatch& batch) {
    if (batch.empty()) return;
    // The copy is made before the lock, so the handing thread never waits for it.
    Entry entry(Kind::Batch, batch);
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (waiting + batch.size() > maxWaiting) {
            if (dropping) return;
            // One report per run of dropped batches, in its place among the others.
            dropping = true;
            entry = Entry(Kind::Overflow);
        } else {
            dropping = false;
            waiting += batch.size();
        }
        wasEmpty = entries.empty();
        entries.push_back(std::move(entry));
    }
    if (wasEmpty) wake.notify_one();
}

void ChangeQueue::OnArming(std::size_t watchedFolders) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Only the latest count matters; a backlog of them would tell nothing new.
        if (!entries.empty() && entries.back().kind == Kind::Arming) {
            entries.back().count = watchedFolders;
            return;
        }
    }
    Entry entry(Kind::Arming);
    entry.count = watchedFolders;
    Push(std::move(entry));
}

void ChangeQueue::OnReady() { Push(Entry(Kind::Ready)); }

void ChangeQueue::OnOverflow() { Push(Entry(Kind::Overflow)); }

void ChangeQueue::OnWarning(WatchWarning warning, const std::string& path) {
    Entry entry(Kind::Warning);
    entry.warning = warning;
    entry.path = path;
    Push(std::move(entry));
}

void ChangeQueue::OnEnded() { Push(Entry(Kind::Ended)); }

void ChangeQueue::Push(Entry&& entry) {
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        wasEmpty = entries.empty();
        entries.push_back(std::move(entry));
    }
    if (wasEmpty) wake.notify_one();
}

void ChangeQueue::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return !entries.empty() || stopping; });
        if (discard || entries.empty()) return;  // stopping, with nothing (more) to hand on
        if (!stopping && waiting < kMaxRecordsPerBatch) {
            // In a burst a moment's wait turns many small batches into one, and the recorder
            // and the log pay once per batch; a lone change waits a few milliseconds nobody sees.
            wake.wait_for(lock, kGatherTime, [this] { return stopping; });
            if (discard) return;
        }
        std::deque<Entry> taken;
        taken.swap(entries);
        busy = true;
        lock.unlock();
        HandOn(taken);
        lock.lock();
        busy = false;
        if (entries.empty()) handedOn.notify_all();
    }
}

void ChangeQueue::HandOn(std::deque<Entry>& taken) {
    ChangeBatch joined;
    for (Entry& entry : taken) {
        if (discard) return;
        if (entry.kind != Kind::Batch) {
            HandOnBatch(joined);
            if (discard) return;
            Replay(entry);
            continue;
        }
        // A lone first half of a rename must not meet a lone second half from the next batch.
        const bool splitsRename = !joined.empty() && joined.back().action == kActionRenamedOld &&
                                  entry.batch.front().action == kActionRenamedNew;
        if (splitsRename || joined.size() + entry.batch.size() > kMaxRecordsPerBatch) {
            HandOnBatch(joined);
            if (discard) return;
        }
        if (joined.empty()) {
            joined = std::move(entry.batch);
        } else {
            joined.insert(joined.end(), std::make_move_iterator(entry.batch.begin()),
                          std::make_move_iterator(entry.batch.end()));
        }
    }
    if (!discard) HandOnBatch(joined);
}

void ChangeQueue::HandOnBatch(ChangeBatch& batch) {
    if (batch.empty()) return;
    target.OnBatch(batch);
    {
        std::lock_guard<std::mutex> lock(mutex);
        waiting -= batch.size();
    }
    batch.clear();
}

void ChangeQueue::Replay(const Entry& entry) {
    switch (entry.kind) {
        case Kind::Arming:
            target.OnArming(entry.count);
            break;
        case Kind::Ready:
            target.OnReady();
            break;
        case Kind::Overflow:
            target.OnOverflow();
            break;
        case Kind::Warning:
            target.OnWarning(entry.warning, entry.path);
            break;
        case Kind::Ended:
            target.OnEnded();
            break;
        case Kind::Batch:
            break;
    }
}

}  // namespace qzx
