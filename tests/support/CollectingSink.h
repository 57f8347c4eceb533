// A change sink that keeps everything it is given, for tests; safe to read from the test's thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "watch/ChangeSource.h"

namespace qzx {

/// Collects batches, overflows, warnings and the end; WaitFor blocks until a condition holds.
class CollectingSink : public ChangeSink {
  public:
    struct State {
        std::vector<ChangeBatch> batches;
        std::vector<std::string> texts;  // every record as "<action> <name>", in order
        std::vector<std::pair<WatchWarning, std::string>> warnings;
        int overflows = 0;
        int ready = 0;
        std::vector<std::size_t> arming;  // every progress count, in order
        std::size_t recordsBeforeReady = 0;
        int ended = 0;
        int callsAfterClose = 0;
    };

    void OnBatch(const ChangeBatch& batch) override {
        Update([&](State& s) {
            s.batches.push_back(batch);
            for (const ChangeRecord& r : batch) s.texts.push_back(Text(r.action, r.name));
        });
    }
    void OnArming(std::size_t watchedFolders) override {
        Update([&](State& s) { s.arming.push_back(watchedFolders); });
    }
    void OnReady() override {
        Update([](State& s) {
            if (++s.ready == 1) s.recordsBeforeReady = s.texts.size();
        });
    }
    void OnOverflow() override {
        Update([](State& s) { ++s.overflows; });
    }
    void OnWarning(WatchWarning warning, const std::string& path) override {
        Update([&](State& s) { s.warnings.emplace_back(warning, path); });
    }
    void OnEnded() override {
        Update([](State& s) { ++s.ended; });
    }

    /// Waits up to timeout for done(state); returns its last value.
    bool WaitFor(const std::function<bool(const State&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return done(state); });
    }
    /// A copy of everything received so far.
    State Snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return state;
    }
    /// From now on every call counts as a call that should not have come.
    void Close() {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
    }
    /// Has the record "<action> <name>" arrived?
    bool Has(int action, const std::string& name) {
        return WaitFor([&](const State& s) {
            for (const std::string& t : s.texts) {
                if (t == Text(action, name)) return true;
            }
            return false;
        });
    }

    static std::string Text(int action, const std::string& name) {
        return std::to_string(action) + " " + name;
    }

  private:
    void Update(const std::function<void(State&)>& change) {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed) ++state.callsAfterClose;
        change(state);
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    State state;
    bool closed = false;
};

/// How many times the record "<action> <name>" arrived.
inline int CountOf(const CollectingSink::State& s, const std::string& text) {
    return static_cast<int>(std::count(s.texts.begin(), s.texts.end(), text));
}

// A sink that holds up its first batch until let go, so that the kernel queue fills meanwhile.
class StallingSink : public CollectingSink {
  public:
    void OnBatch(const ChangeBatch& batch) override {
        std::unique_lock<std::mutex> lock(gateMutex);
        stalled = true;
        gate.notify_all();
        gate.wait(lock, [this] { return released; });
        lock.unlock();
        CollectingSink::OnBatch(batch);
    }
    void WaitUntilStalled() {
        std::unique_lock<std::mutex> lock(gateMutex);
        gate.wait_for(lock, std::chrono::seconds(5), [this] { return stalled; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(gateMutex);
        released = true;
        gate.notify_all();
    }

  private:
    std::mutex gateMutex;
    std::condition_variable gate;
    bool stalled = false;
    bool released = false;
};

}  // namespace qzx
