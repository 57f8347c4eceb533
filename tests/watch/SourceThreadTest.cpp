// The thread's life that every change source shares, with a source whose body the test writes
// and whose wait is a condition variable.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "tests/watch/CollectingSink.h"
#include "watch/SourceThread.h"

namespace qzx {
namespace {

class ScriptedSource final : public ThreadedChangeSource<> {
  public:
    using Body = std::function<bool(ScriptedSource&, ChangeSink&)>;
    using SourceThread::Armed;
    using SourceThread::Arming;
    using SourceThread::DrainAsked;
    using SourceThread::StopAsked;

    ScriptedSource(Arming arming, Body body) : arming(arming), body(std::move(body)) {}
    ~ScriptedSource() override { Stop(); }

    bool Start(const std::string&, ChangeSink& sink) override {
        Stop();
        return StartThread(sink, arming);
    }

    /// For bodies: the source's wait, until Wake.
    void WaitUntilWoken() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return woken; });
    }
    int Closes() {
        std::lock_guard<std::mutex> lock(mutex);
        return closes;
    }

  private:
    bool Watch(ChangeSink& sink) override { return body(*this, sink); }
    void Wake() override {
        std::lock_guard<std::mutex> lock(mutex);
        woken = true;
        changed.notify_all();
    }
    void CloseRun() override {
        std::lock_guard<std::mutex> lock(mutex);
        woken = false;
        ++closes;
    }

    Arming arming;
    Body body;
    std::mutex mutex;
    std::condition_variable changed;
    bool woken = false;
    int closes = 0;
};

using Arming = ScriptedSource::Arming;

// What a body that waits for its stop saw when it was woken.
struct Seen {
    std::mutex mutex;
    int runs = 0;
    bool stopAsked = false;
    bool drainAsked = false;
};

ScriptedSource::Body WaitForStop(Seen& seen) {
    return [&seen](ScriptedSource& source, ChangeSink&) {
        source.Armed();
        source.WaitUntilWoken();
        std::lock_guard<std::mutex> lock(seen.mutex);
        ++seen.runs;
        seen.stopAsked = source.StopAsked();
        seen.drainAsked = source.DrainAsked();
        return source.StopAsked();
    };
}

// Stop and StopAfterDraining wake the thread, which sees which of them was asked for; once they
// return the thread is gone, the run's resources are closed and the sink heard no end.
TEST(SourceThread, StopWakesTheThreadWhichSeesWhetherToDrain) {
    for (bool drain : {false, true}) {
        for (Arming arming : {Arming::InStart, Arming::OnThread}) {
            Seen seen;
            CollectingSink sink;
            ScriptedSource source(arming, WaitForStop(seen));
            ASSERT_TRUE(source.Start("", sink));
            const int closesBefore = source.Closes();
            drain ? source.StopAfterDraining() : source.Stop();
            std::lock_guard<std::mutex> lock(seen.mutex);
            EXPECT_EQ(seen.runs, 1);
            EXPECT_TRUE(seen.stopAsked);
            EXPECT_EQ(seen.drainAsked, drain);
            EXPECT_FALSE(source.StopAsked());
            EXPECT_FALSE(source.DrainAsked());
            EXPECT_EQ(source.Closes(), closesBefore + 1);
            EXPECT_EQ(sink.Snapshot().ended, 0);
        }
    }
}

// A run that ends by itself, by returning or by throwing, tells the sink once; the stop that
// follows adds nothing.
TEST(SourceThread, RunEndingByItselfTellsTheSinkOnce) {
    const ScriptedSource::Body bodies[] = {
        [](ScriptedSource&, ChangeSink& sink) {
            sink.OnBatch({{kActionAdded, "a"}});
            return false;
        },
        [](ScriptedSource&, ChangeSink& sink) -> bool {
            sink.OnBatch({{kActionAdded, "a"}});
            throw std::runtime_error("read failed");
        },
    };
    for (const auto& body : bodies) {
        CollectingSink sink;
        ScriptedSource source(Arming::InStart, body);
        ASSERT_TRUE(source.Start("", sink));
        EXPECT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ended == 1; }));
        source.Stop();
        const CollectingSink::State s = sink.Snapshot();
        EXPECT_EQ(s.ended, 1);
        EXPECT_EQ(s.texts, std::vector<std::string>{"1 a"});
    }
}

// With the set-up on the thread, Start returns only after it: whatever the thread did before
// Armed is done by then.
TEST(SourceThread, ArmingOnTheThreadHoldsStartUntilArmed) {
    bool setUp = false;  // written by the thread before Armed, read after Start
    CollectingSink sink;
    ScriptedSource source(Arming::OnThread, [&setUp](ScriptedSource& s, ChangeSink&) {
        setUp = true;
        s.Armed();
        s.WaitUntilWoken();
        return true;
    });
    ASSERT_TRUE(source.Start("", sink));
    EXPECT_TRUE(setUp);
    source.Stop();
    EXPECT_EQ(sink.Snapshot().ended, 0);
}

// A run that ends before it is armed, by returning or by throwing, is Start's failure: the
// sink hears nothing, the run's resources are closed, and the source can start again.
TEST(SourceThread, RunEndingBeforeArmedFailsStartSilently) {
    const ScriptedSource::Body bodies[] = {
        [](ScriptedSource&, ChangeSink&) { return false; },
        [](ScriptedSource&, ChangeSink&) -> bool { throw std::runtime_error("no read"); },
    };
    for (const auto& body : bodies) {
        CollectingSink sink;
        bool fail = true;
        Seen seen;
        const ScriptedSource::Body waits = WaitForStop(seen);
        ScriptedSource source(Arming::OnThread, [&](ScriptedSource& s, ChangeSink& c) {
            return fail ? body(s, c) : waits(s, c);
        });
        const int closesBefore = source.Closes();
        EXPECT_FALSE(source.Start("", sink));
        // One for the Stop that begins every Start, one for the failure.
        EXPECT_EQ(source.Closes(), closesBefore + 2);
        const CollectingSink::State s = sink.Snapshot();
        EXPECT_EQ(s.ended, 0);
        EXPECT_TRUE(s.batches.empty());

        fail = false;
        ASSERT_TRUE(source.Start("", sink));
        source.Stop();
        EXPECT_EQ(seen.runs, 1);
    }
}

// Stopping what never started only closes; a source runs again after each stop.
TEST(SourceThread, StopWithoutStartAndStartAgain) {
    Seen seen;
    CollectingSink sink;
    ScriptedSource source(Arming::InStart, WaitForStop(seen));
    source.Stop();
    source.StopAfterDraining();
    EXPECT_EQ(source.Closes(), 2);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(source.Start("", sink));
        source.Stop();
    }
    EXPECT_EQ(seen.runs, 3);
    EXPECT_EQ(sink.Snapshot().ended, 0);
}

}  // namespace
}  // namespace qzx
