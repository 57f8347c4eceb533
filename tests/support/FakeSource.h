// A change source that tests feed by hand, from their own thread if they like.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <utility>

#include "watch/ChangeQueue.h"
#include "watch/ChangeSource.h"

namespace qzx::test {

struct FakeSourceState {
    std::mutex mutex;
    ChangeSink* sink = nullptr;
    std::string folder;
    bool refuse = false;
    /// Reports every folder watched as soon as it starts, as a source with one watch for the
    /// whole tree does; clear it to play the set-up by hand.
    bool readyAtStart = true;
    int starts = 0;
    int stops = 0;
    /// The ignore patterns the source was last given, and how often it was given them.
    std::shared_ptr<const IgnoreRules> ignoreRules;
    int ignoreRulesSet = 0;
    /// What Engine() reports: nothing by default, as a source that does not say.
    EngineStatus engine;

    /// Waits, when the sink is a queue, until what was delivered is recorded (or reported), so
    /// that a test can look at once. Clear it to let deliveries pile up behind the queue.
    bool waitForRecording = true;

    /// Delivers a batch as the source's thread would; false when not running.
    bool Deliver(const ChangeBatch& batch) {
        return WithSink([&](ChangeSink& s) { s.OnBatch(batch); });
    }
    /// Calls f with the sink as the source's thread would; false when not running.
    template <class F>
    bool WithSink(F f) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!sink) return false;
        f(*sink);
        if (auto* queue = dynamic_cast<ChangeQueue*>(sink); queue && waitForRecording) {
            queue->WaitUntilHandedOn(std::chrono::seconds(5));
        }
        return true;
    }
};

class FakeSource final : public ChangeSource {
  public:
    explicit FakeSource(FakeSourceState& s) : state(s) {}
    ~FakeSource() override { Stop(); }
    bool Start(const std::string& folder, ChangeSink& sink) override {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.folder = folder;
        ++state.starts;
        if (state.refuse) return false;
        state.sink = &sink;
        if (state.readyAtStart) sink.OnReady();
        return true;
    }
    void Stop() override {
        // Taking the lock waits for a delivery under way, as joining a real thread would.
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.sink) ++state.stops;
        state.sink = nullptr;
    }

    EngineStatus Engine() const override {
        std::lock_guard<std::mutex> lock(state.mutex);
        return state.engine;
    }

    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) override {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.ignoreRules = std::move(rules);
        ++state.ignoreRulesSet;
    }

  private:
    FakeSourceState& state;
};

}  // namespace qzx::test
