// The thread's life that every change source shares, with a source whose body the test writes
// and whose wait is a condition variable.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "tests/support/CollectingSink.h"
#include "watch/SourceThread.h"

namespace qzx {
namespace {

class ScriptedSource final : public ThreadedChangeSource<> {
  public:
    using Body = std::function<bool(ScriptedSource&, ChangeSink&)>;
    using SourceThread::Arming;
    using SourceThread::DrainAsked;
    using SourceThread::StopAsked;

    ScriptedSource(Arming arming, Body body) : arming(arming), body(std::move(body)) {}
    ~ScriptedSource() override { Stop(); }

    bool Start(const std::string&, ChangeSink& sink) override {
        Stop();
        return StartThread(sink, arming);
    }
    /// True when the body had called Armed by the time Start returned.
    bool ArmedSeen() {
        std::lock_guard<std::mutex> lock(mutex);
        return armedSeen;
    }

    /// For bodies: Armed, noted for ArmedSeen.
    void MarkArmed() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            armedSeen = true;
        }
        Armed();
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
        armedSeen = false;
        ++closes;
    }

    Arming arming;
    Body body;
    std::mutex mutex;
    std::condition_variable changed;
    bool woken = false;
    bool armedSeen = false;
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
        source.MarkArmed();
        source.WaitUntilWoken();
        std::lock_guard<std::mutex> lock(seen.mutex);
        ++seen.runs;
        seen.stopAsked = source.StopAsked();
        seen.drainAsked = source.DrainAsked();
        return source.StopAsked();
    };
}

// Stop and StopAfterDraining wake the thread, which sees which of them was asked for; once they
// return the thread is gone, the run's resources are closed and the sink heard no end. With
// the set-up on the thread, Start returns only once the thread is armed. Stopping what never
// started only closes.
TEST(SourceThread, StopWakesTheThreadWhichSeesWhetherToDrain) {
    for (Arming arming : {Arming::InStart, Arming::OnThread}) {
        Seen seen;
        CollectingSink sink;
        ScriptedSource source(arming, WaitForStop(seen));
        source.Stop();
        EXPECT_EQ(source.Closes(), 1);
        for (bool drain : {false, true, false}) {
            ASSERT_TRUE(source.Start("", sink));
            if (arming == Arming::OnThread) {
                EXPECT_TRUE(source.ArmedSeen());
            }
            const int closesBefore = source.Closes();
            drain ? source.StopAfterDraining() : source.Stop();
            std::lock_guard<std::mutex> lock(seen.mutex);
            EXPECT_TRUE(seen.stopAsked);
            EXPECT_EQ(seen.drainAsked, drain);
            EXPECT_FALSE(source.StopAsked());
            EXPECT_EQ(source.Closes(), closesBefore + 1);
        }
        EXPECT_EQ(seen.runs, 3);
        EXPECT_EQ(sink.Snapshot().ended, 0);
    }
}

// A run that ends by itself, by returning or by throwing, tells the sink once; the stop that
// follows adds nothing. Before it is armed, the same is Start's failure and the sink hears
// nothing.
TEST(SourceThread, RunEndingByItselfTellsTheSinkOnceUnlessNotArmed) {
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

        CollectingSink unarmed;
        ScriptedSource failing(Arming::OnThread, [&body](ScriptedSource& f, ChangeSink&) {
            CollectingSink elsewhere;  // what the body says must not reach the real sink
            return body(f, elsewhere);
        });
        EXPECT_FALSE(failing.Start("", unarmed));
        // One for the Stop that begins every Start, one for the failure.
        EXPECT_EQ(failing.Closes(), 2);
        EXPECT_EQ(unarmed.Snapshot().ended, 0);
    }
}

}  // namespace
}  // namespace qzx
