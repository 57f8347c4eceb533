// Start, Stop and the status line, over a fake change source and fake message boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "app/MonitorController.h"
#include "app/StatusTexts.h"
#include "app/Texts.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/FakeSource.h"
#include "tests/support/TestPaths.h"
#include "watch/EngineTexts.h"

namespace qzx {
namespace {

using test::NativePath;

// The watched folder as typed, and as the controller hands it on.
const std::string kData = NativePath("/data");
const std::string kDataFolder = NativePath("/data/");

// Named after the unit, as every suite is; the controller itself is qzx::MonitorController here.
struct MonitorController : ::testing::Test {
    EventList list;
    test::FakeClock clock;
    EventRecorder recorder{list, clock};
    test::FakePrompts prompts;
    test::FakeSourceState source;
    qzx::MonitorController controller{
        recorder, [this] { return std::make_unique<test::FakeSource>(source); }, prompts};

    void SetUp() override { controller.SetOptions(DefaultOptions()); }
    // Polls as the window does until done() holds; false after five seconds.
    bool PollUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            controller.Poll();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
    }
    // The status as the window words it.
    StatusTexts Shown() const { return WindowStatusTexts(controller.Status()); }
    bool PollUntilStatus(const char* status) {
        return PollUntil([&] { return Shown().line == status; });
    }
    int Stops() {
        std::lock_guard<std::mutex> lock(source.mutex);
        return source.stops;
    }
    bool WaitForRows(std::size_t rows) {
        return PollUntil([&] { return list.Size() >= rows; });
    }
    static int Lines(const std::string& text) {
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    void ExpectStates(bool start, bool stop, const char* status) {
        const ControlStates s = controller.States();
        EXPECT_EQ(s.startEnabled, start);
        EXPECT_EQ(s.browseEnabled, start);
        EXPECT_EQ(s.pathEnabled, start);
        EXPECT_EQ(s.stopEnabled, stop);
        EXPECT_EQ(Shown().line, status);
    }
};

TEST_F(MonitorController, StartAndStopFollowTheStateTable) {
    ExpectStates(true, false, "监控状态");
    ASSERT_TRUE(controller.StartMonitor(kData));
    EXPECT_EQ(source.folder, kDataFolder) << "a trailing separator is added";
    EXPECT_EQ(controller.FolderPath(), kDataFolder);
    ExpectStates(false, true, "准备中..");
    ASSERT_TRUE(PollUntilStatus("监控中.."));
    ExpectStates(false, true, "监控中..");
    controller.StopMonitor();
    ExpectStates(true, false, "已停止..");
    EXPECT_EQ(source.stops, 1);
    ASSERT_TRUE(controller.StartMonitor(kDataFolder));
    EXPECT_EQ(source.folder, kDataFolder) << "no second separator";
    EXPECT_TRUE(prompts.messages.empty());
}

// Refused paths give the message and leave everything as it was, also when the folder cannot
// be watched (the original showed "监控中.." for a folder it could never open).
TEST_F(MonitorController, BadPathsAreRefusedWithTheMessage) {
    for (const char* path : {"", "/", "x", "data", "relative/dir"}) {
        SCOPED_TRACE(path);
        prompts.messages.clear();
        EXPECT_FALSE(controller.StartMonitor(path));
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, "监控路径不正确，请选择正确的路径！");
        EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Information);
        ExpectStates(true, false, "监控状态");
    }
    source.refuse = true;
    prompts.messages.clear();
    EXPECT_FALSE(controller.StartMonitor(NativePath("/missing")));
    EXPECT_EQ(prompts.messages.size(), 1u);
    ExpectStates(true, false, "监控状态");
}

// "监控中.." shows only once the source has every existing folder watched; until then the
// status says the set-up is under way and the tooltip counts the folders done.
TEST_F(MonitorController, ArmingLastsUntilTheSourceIsReady) {
    source.readyAtStart = false;
    ASSERT_TRUE(controller.StartMonitor(kData));
    EXPECT_EQ(controller.State(), MonitorState::Arming);
    source.WithSink([](ChangeSink& s) { s.OnArming(42); });
    ASSERT_TRUE(PollUntil([&] { return Shown().toolTip.find(" 42 ") != std::string::npos; }));
    ExpectStates(false, true, "准备中..");
    source.WithSink([](ChangeSink& s) { s.OnWarning(WatchWarning::UnreadableFolder, "x"); });
    source.Deliver({{kActionModified, "found-while-arming"}});
    ASSERT_TRUE(WaitForRows(1));
    ExpectStates(false, true, "准备中..");
    source.WithSink([](ChangeSink& s) { s.OnReady(); });
    ASSERT_TRUE(PollUntil([&] { return controller.State() == MonitorState::Monitoring; }));
    ExpectStates(false, true, texts::kStatusPartial);
    EXPECT_EQ(Shown().toolTip.find("42"), std::string::npos);
    controller.StopMonitor();
    ExpectStates(true, false, "已停止..");
}

TEST_F(MonitorController, WatchingThatEndsByItselfReturnsToStopped) {
    ASSERT_TRUE(controller.StartMonitor(kData));
    ASSERT_TRUE(PollUntilStatus("监控中.."));
    EXPECT_FALSE(controller.Poll());
    source.WithSink([](ChangeSink& s) { s.OnEnded(); });
    ASSERT_TRUE(PollUntilStatus("已停止.."));
    ExpectStates(true, false, "已停止..");
    EXPECT_FALSE(Shown().toolTip.empty());
    EXPECT_EQ(source.stops, 1) << "the finished watcher is joined";
}

// The tooltip keeps one line per kind of trouble, with its count and when it was last seen,
// however often the trouble comes back.
TEST_F(MonitorController, LostChangesAndUnwatchedPartsShowInTheStatusLine) {
    ASSERT_TRUE(controller.StartMonitor(kData));
    ASSERT_TRUE(PollUntilStatus("监控中.."));
    source.WithSink([](ChangeSink& s) { s.OnWarning(WatchWarning::UnreadableFolder, "secret"); });
    ASSERT_TRUE(PollUntilStatus(texts::kStatusPartial));
    EXPECT_NE(Shown().toolTip.find(NativePath("/data/secret")), std::string::npos);
    source.WithSink([](ChangeSink& s) { s.OnOverflow(); });
    ASSERT_TRUE(PollUntilStatus(texts::kStatusLost));
    EXPECT_EQ(list.Size(), 0u) << "an overflow never makes up a row";

    clock.Set({2026, 12, 8, 14, 7, 9});
    for (int i = 0; i < 400; ++i) {
        source.WithSink([&](ChangeSink& s) {
            s.OnOverflow();
            s.OnWarning(WatchWarning::UnreadableFolder, "other" + std::to_string(i % 3));
        });
        controller.Poll();
    }
    source.WithSink([](ChangeSink& s) { s.OnWarning(WatchWarning::WatchLimit, "deep"); });
    ASSERT_TRUE(PollUntil([&] {
        const std::string detail = Shown().toolTip;
        return detail.find("401 次") != std::string::npos &&
               detail.find("401 处") != std::string::npos &&
               detail.find(NativePath("/data/deep")) != std::string::npos;
    }));
    const std::string detail = Shown().toolTip;
    EXPECT_EQ(Lines(detail), 3) << detail;
    EXPECT_NE(detail.find("最近一次 14:7:9"), std::string::npos) << detail;
    EXPECT_NE(detail.find(NativePath("/data/other")), std::string::npos)
        << "the last place is named";
    controller.StopMonitor();
    ExpectStates(true, false, "已停止..");
    EXPECT_TRUE(Shown().toolTip.empty());
}

// The troubles reach the front ends as data, each kind once in a fixed order, whatever order
// they came in; a Stop forgets them.
TEST_F(MonitorController, TroublesAreHandedOutAsData) {
    clock.Set({2026, 12, 8, 14, 7, 9});
    ASSERT_TRUE(controller.StartMonitor(kData));
    ASSERT_TRUE(PollUntilStatus("监控中.."));
    source.WithSink([](ChangeSink& s) {
        s.OnWarning(WatchWarning::UnreadableFolder, "x");
        s.OnOverflow();
        s.OnOverflow();
    });
    ASSERT_TRUE(PollUntil([&] { return controller.Status().troubles.size() == 2; }));
    const MonitorStatus status = controller.Status();
    EXPECT_EQ(status.state, MonitorState::Monitoring);
    EXPECT_EQ(Headline(status), StatusHeadline::Lost);
    const Trouble& lost = status.troubles[0];
    EXPECT_EQ(lost.kind, TroubleKind::LostChanges);
    EXPECT_EQ(lost.count, 2);
    EXPECT_EQ(lost.lastSeen.minute, 7);
    EXPECT_EQ(lost.path, "");
    const Trouble& unreadable = status.troubles[1];
    EXPECT_EQ(unreadable.kind, TroubleKind::UnreadableFolder);
    EXPECT_EQ(unreadable.count, 1);
    EXPECT_EQ(unreadable.path, NativePath("/data/x"));
    controller.StopMonitor();
    EXPECT_TRUE(controller.Status().troubles.empty());
    EXPECT_EQ(Headline(controller.Status()), StatusHeadline::Stopped);
}

// "日志写入失败!" shows while lines fail and goes once a line is written again; the tooltip
// keeps the count of lines lost.
TEST_F(MonitorController, FailingLogLinesShowWhileTheyFail) {
    std::atomic<bool> writable{false};
    recorder.SetLogWriter([&](const std::vector<std::string>& texts, const LocalTime&) {
        return writable ? texts.size() : std::size_t{0};
    });
    MonitorOptions o = DefaultOptions();
    o.optRecordLog = 1;
    controller.SetOptions(o);
    ASSERT_TRUE(controller.StartMonitor(kData));
    ASSERT_TRUE(PollUntilStatus("监控中.."));
    source.Deliver({{kActionAdded, "a"}, {kActionAdded, "b"}});
    ASSERT_TRUE(PollUntilStatus(texts::kStatusLogFailing));
    EXPECT_NE(Shown().toolTip.find("2 行未写入"), std::string::npos);

    writable = true;
    source.Deliver({{kActionAdded, "c"}});
    ASSERT_TRUE(PollUntilStatus("监控中.."));
    EXPECT_NE(Shown().toolTip.find("2 行未写入"), std::string::npos);

    writable = false;
    source.Deliver({{kActionAdded, "d"}});
    ASSERT_TRUE(PollUntilStatus(texts::kStatusLogFailing));
    o.optRecordLog = 0;
    controller.SetOptions(o);
    ASSERT_TRUE(PollUntilStatus("监控中..")) << "nothing fails while logging is off";
}

// The patterns reach the recorder and the source, before Start and while running; the tooltip
// counts what they left out since Start, and says nothing while it is none.
TEST_F(MonitorController, IgnoreRulesReachRecorderAndSourceAndAreCounted) {
    auto rules = std::make_shared<IgnoreRules>();
    ASSERT_FALSE(rules->AddLine("*.tmp"));
    controller.SetIgnoreRules(rules);
    ASSERT_TRUE(controller.StartMonitor(kData));
    EXPECT_EQ(source.ignoreRules, rules) << "the set-up walk needs them";
    ASSERT_TRUE(PollUntilStatus("监控中.."));
    source.Deliver({{kActionAdded, "a"}});
    EXPECT_TRUE(WaitForRows(1));
    EXPECT_EQ(Shown().toolTip.find("已忽略"), std::string::npos);
    source.Deliver({{kActionAdded, "b.tmp"}, {kActionModified, "c.tmp"}});
    ASSERT_TRUE(PollUntil([&] { return controller.Status().ignoredChanges == 2; }));
    EXPECT_NE(Shown().toolTip.find("已忽略 2 个变化"), std::string::npos);
    EXPECT_EQ(Shown().line, "监控中..") << "leaving changes out is no trouble";

    controller.SetIgnoreRules(nullptr);
    EXPECT_EQ(source.ignoreRules, nullptr);
    source.Deliver({{kActionAdded, "d.tmp"}});
    EXPECT_TRUE(WaitForRows(2));
    controller.StopMonitor();
    EXPECT_EQ(controller.Status().ignoredChanges, 2u) << "the run's count stays after Stop";
    ASSERT_TRUE(controller.StartMonitor(kData));
    EXPECT_EQ(controller.Status().ignoredChanges, 0u);
}

// The tooltip names the engine of the run, with the reason when the whole-tree one was refused,
// on one line while the run is on, below the other news; a source that says nothing adds none.
TEST_F(MonitorController, TheToolTipNamesTheEngineWhileARunIsOn) {
    const std::string fallback = std::string(texts::kEngineInotify) + "（未用 fanotify：why）";
    const struct {
        EngineStatus engine;
        std::string line;
    } cases[] = {
        {{ChangeEngine::Fanotify, true, texts::kEngineFanotify, ""}, texts::kEngineFanotify},
        {{ChangeEngine::Inotify, false, fallback, "why"}, fallback},
        {{ChangeEngine::Inotify, false, texts::kEngineInotify, "why"}, fallback},
        {{ChangeEngine::Inotify, false, texts::kEngineInotify, ""}, texts::kEngineInotify},
        {{}, ""},
    };
    for (const auto& c : cases) {
        source.engine = c.engine;
        ASSERT_TRUE(controller.StartMonitor(kData));
        ASSERT_TRUE(PollUntilStatus("监控中.."));
        source.WithSink([](ChangeSink& s) { s.OnOverflow(); });
        ASSERT_TRUE(PollUntilStatus(texts::kStatusLost));
        const std::string tip = Shown().toolTip;
        const std::string last = c.line.empty() ? "" : c.line + "\n";
        EXPECT_EQ(Lines(tip), c.line.empty() ? 1 : 2) << tip;
        EXPECT_EQ(tip.substr(tip.size() - last.size()), last) << tip;
        controller.StopMonitor();
        EXPECT_TRUE(Shown().toolTip.empty()) << "a stopped run is not watching by anything";
    }
}

// After Stop returns no row appears, even with the watcher delivering at full speed.
TEST_F(MonitorController, NoRowAfterStopReturns) {
    ASSERT_TRUE(controller.StartMonitor(kData));
    std::atomic<bool> quit{false};
    std::atomic<int> refused{0};
    std::thread watcher([&] {
        int i = 0;
        while (!quit) {
            if (!source.Deliver({{kActionRemoved, "f" + std::to_string(i++)}})) ++refused;
        }
    });
    while (list.Size() < 100) std::this_thread::yield();
    controller.StopMonitor();
    const std::size_t atStop = list.Size();
    const int idsAtStop = recorder.EventCount();
    // The watcher goes on trying for a while after Stop.
    const int refusedAtStop = refused;
    while (refused < refusedAtStop + 1000) std::this_thread::yield();
    quit = true;
    watcher.join();
    EXPECT_EQ(list.Size(), atStop);

    // IDs run on across Stop and Start.
    ASSERT_TRUE(controller.StartMonitor(kData));
    source.Deliver({{kActionRemoved, "next"}});
    ASSERT_TRUE(WaitForRows(atStop + 1));
    EXPECT_EQ(list.Snapshot().back().id, idsAtStop + 1);
}

// A log writer that holds the recording thread until let go, so that changes pile up behind it.
struct HeldWriter {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = true;
    int entered = 0;

    int Write() {
        std::unique_lock<std::mutex> lock(mutex);
        ++entered;
        changed.notify_all();
        changed.wait(lock, [this] { return !held; });
        return 1;
    }
    bool WaitEntered() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [this] { return entered > 0; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
        changed.notify_all();
    }
};

// The window's Stop drops what was read but not yet recorded; a clean exit records it all
// first. Either way nothing of the run comes after Stop returns.
TEST_F(MonitorController, StopDiscardsOrFinishesTheBacklog) {
    MonitorOptions o = DefaultOptions();
    o.optRecordLog = 1;
    controller.SetOptions(o);
    source.waitForRecording = false;
    for (Backlog backlog : {Backlog::Discard, Backlog::Finish}) {
        SCOPED_TRACE(backlog == Backlog::Discard ? "discard" : "finish");
        HeldWriter writer;
        recorder.SetLogWriter([&](const std::vector<std::string>& texts, const LocalTime&) {
            writer.Write();
            return texts.size();
        });
        const std::size_t before = list.Size();
        ASSERT_TRUE(controller.StartMonitor(kData));
        source.Deliver({{kActionRemoved, "first"}});
        ASSERT_TRUE(writer.WaitEntered());
        for (int i = 0; i < 100; ++i) source.Deliver({{kActionRemoved, std::to_string(i)}});
        const int stopsBefore = Stops();
        std::thread stopper([&] { controller.StopMonitor(backlog); });
        // Let go only once the source is stopped, which is after a discarding Stop ended the run.
        while (Stops() == stopsBefore) std::this_thread::yield();
        writer.Release();
        stopper.join();
        const std::size_t atStop = list.Size();
        EXPECT_EQ(atStop - before, backlog == Backlog::Discard ? 1u : 101u);
        source.Deliver({{kActionRemoved, "late"}});
        EXPECT_EQ(list.Size(), atStop);
    }
}

TEST_F(MonitorController, BrowseFillsThePathOnlyWhenAFolderIsChosen) {
    std::string path = "/old";
    EXPECT_FALSE(controller.Browse(path));
    EXPECT_EQ(path, "/old");
    EXPECT_EQ(prompts.lastFolderTitle, "请选择文件夹:");
    prompts.folders.push_back("/chosen");
    EXPECT_TRUE(controller.Browse(path));
    EXPECT_EQ(path, "/chosen");
}

// What the snapshot did is said in the status, one sentence a fact, and nothing while it is off.
TEST(StatusTexts, CatchUpSaysWhatTheSnapshotDid) {
    const auto with = [](auto change) {
        CatchUpStatus s;
        s.active = true;
        change(s);
        return s;
    };
    const struct {
        CatchUpStatus status;
        std::string text;
    } cases[] = {
        {CatchUpStatus{}, ""},
        {with([](CatchUpStatus& s) { s.comparing = true; }), "正在比较停止期间的变化..\n"},
        {with([](CatchUpStatus& s) {
             s.compared = true;
             s.found = 12;
             s.since = {2026, 12, 9, 18, 5, 3};
         }),
         "停止期间的变化：12 个（自 2026-12-9 18:5:3）\n"},
        {with([](CatchUpStatus& s) { s.problem = SnapshotProblem::kCorrupt; }),
         "此文件夹的快照已损坏，已另存为 .bad 并将重建；停止期间的变化本次无法得知。\n"},
        {with([](CatchUpStatus& s) {
             s.recoveries = 1;
             s.recovered = 7;
             s.saveFailed = true;
         }),
         "丢失后比较找回 7 个变化；期间新建又删除的文件与变化的先后无法找回。\n"
         "快照无法写入（磁盘已满或没有权限），保留了旧的快照。\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(CatchUpText(c.status), c.text);
}

}  // namespace
}  // namespace qzx
