// The queue between a change source and the recorder, with a sink that can hold it up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/CollectingSink.h"
#include "watch/ChangeQueue.h"

namespace qzx {
namespace {

using ::testing::ElementsAre;

// Collects like CollectingSink, but can hold the first batch until let go; every other call
// is also written into one list of events, to check the order.
class HoldingSink : public CollectingSink {
  public:
    void OnBatch(const ChangeBatch& batch) override {
        {
            std::unique_lock<std::mutex> lock(gateMutex);
            ++entered;
            gate.notify_all();
            gate.wait(lock, [this] { return !held; });
        }
        CollectingSink::OnBatch(batch);
        Note("batch:" + std::to_string(batch.size()));
    }
    void OnArming(std::size_t folders) override { Note("arming:" + std::to_string(folders)); }
    void OnReady() override { Note("ready"); }
    void OnOverflow() override {
        CollectingSink::OnOverflow();
        Note("overflow");
    }
    void OnEnded() override {
        CollectingSink::OnEnded();
        Note("ended");
    }

    bool WaitEntered() {
        std::unique_lock<std::mutex> lock(gateMutex);
        return gate.wait_for(lock, std::chrono::seconds(5), [this] { return entered > 0; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(gateMutex);
        held = false;
        gate.notify_all();
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(gateMutex);
        return events;
    }
    bool held = true;

  private:
    void Note(const std::string& text) {
        std::lock_guard<std::mutex> lock(gateMutex);
        events.push_back(text);
    }

    std::mutex gateMutex;
    std::condition_variable gate;
    int entered = 0;
    std::vector<std::string> events;
};

ChangeBatch Removals(int count, const std::string& prefix) {
    ChangeBatch batch;
    for (int i = 0; i < count; ++i) batch.push_back({kActionRemoved, prefix + std::to_string(i)});
    return batch;
}

// While the recorder is held up, the source's calls return at once; afterwards everything
// arrives in order, waiting batches joined, progress counts merged, the end last.
TEST(ChangeQueue, SourceNeverWaitsAndOrderIsKept) {
    HoldingSink target;
    ChangeQueue queue(target);
    ASSERT_TRUE(queue.Start());
    queue.OnBatch(Removals(1, "first"));
    ASSERT_TRUE(target.WaitEntered());
    for (int i = 0; i < 3; ++i) queue.OnBatch(Removals(10, "b" + std::to_string(i)));
    queue.OnArming(5);
    queue.OnArming(9);
    queue.OnReady();
    queue.OnBatch(Removals(2, "c"));
    queue.OnEnded();
    EXPECT_EQ(queue.Waiting(), 33u);
    target.Release();
    ASSERT_TRUE(target.WaitFor([](const CollectingSink::State& s) { return s.ended > 0; }));
    queue.Stop(Backlog::Discard);
    EXPECT_THAT(target.Events(),
                ElementsAre("batch:1", "batch:30", "arming:9", "ready", "batch:2", "ended"));
    EXPECT_EQ(queue.Waiting(), 0u);
    const auto texts = target.Snapshot().texts;
    ASSERT_EQ(texts.size(), 33u);
    EXPECT_EQ(texts[1], "2 b00");
    EXPECT_EQ(texts[30], "2 b29");
}

// Joining never pairs the lone first half of a rename with a lone second half of the next
// batch, and never makes a batch larger than the limit.
TEST(ChangeQueue, JoinedBatchesKeepRenameHalvesApartAndStaySmall) {
    HoldingSink target;
    ChangeQueue queue(target);
    ASSERT_TRUE(queue.Start());
    queue.OnBatch(Removals(1, "first"));
    ASSERT_TRUE(target.WaitEntered());
    queue.OnBatch({{kActionRenamedOld, "a"}});
    queue.OnBatch({{kActionRenamedNew, "b"}});
    queue.OnBatch(Removals(ChangeQueue::kMaxRecordsPerBatch, "x"));
    target.Release();
    ASSERT_TRUE(target.WaitFor([](const CollectingSink::State& s) {
        return s.texts.size() == 3 + ChangeQueue::kMaxRecordsPerBatch;
    }));
    queue.Stop(Backlog::Discard);
    EXPECT_THAT(target.Events(),
                ElementsAre("batch:1", "batch:1", "batch:1",
                            "batch:" + std::to_string(ChangeQueue::kMaxRecordsPerBatch)));
}

// Past the bound, batches are dropped and the loss is reported once, in its place; once there
// is room again, batches are taken again.
TEST(ChangeQueue, BeyondTheBoundChangesAreReportedLost) {
    HoldingSink target;
    ChangeQueue queue(target, 100);
    ASSERT_TRUE(queue.Start());
    queue.OnBatch(Removals(60, "a"));
    ASSERT_TRUE(target.WaitEntered());
    queue.OnBatch(Removals(30, "b"));
    queue.OnBatch(Removals(20, "dropped"));
    queue.OnBatch(Removals(20, "dropped too"));
    queue.OnBatch(Removals(10, "c"));
    EXPECT_EQ(queue.Waiting(), 100u);
    target.Release();
    ASSERT_TRUE(
        target.WaitFor([](const CollectingSink::State& s) { return s.texts.size() == 100; }));
    queue.Stop(Backlog::Discard);
    EXPECT_THAT(target.Events(), ElementsAre("batch:60", "batch:30", "overflow", "batch:10"));
}

// Stopping drops what waits, or hands it all on first; no call comes after Stop returns.
TEST(ChangeQueue, StopDiscardsOrFinishes) {
    for (Backlog backlog : {Backlog::Discard, Backlog::Finish}) {
        HoldingSink target;
        ChangeQueue queue(target);
        ASSERT_TRUE(queue.Start());
        queue.OnBatch(Removals(1, "first"));
        ASSERT_TRUE(target.WaitEntered());
        queue.OnBatch(Removals(50, "more"));
        queue.OnOverflow();
        std::thread stopper([&] { queue.Stop(backlog); });
        while (!queue.Stopping()) std::this_thread::yield();
        target.Release();
        stopper.join();
        target.Close();
        auto s = target.Snapshot();
        EXPECT_EQ(s.texts.size(), backlog == Backlog::Finish ? 51u : 1u);
        EXPECT_EQ(s.overflows, backlog == Backlog::Finish ? 1 : 0);
        EXPECT_EQ(queue.Waiting(), 0u);
        queue.OnBatch(Removals(1, "late"));
        EXPECT_EQ(target.Snapshot().callsAfterClose, 0);
    }
}

}  // namespace
}  // namespace qzx
