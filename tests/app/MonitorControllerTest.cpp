// Start, Stop and the status line, over a fake change source and fake message boxes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/MonitorController.h"
#include "app/Texts.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/FakeSource.h"

namespace qzx {
namespace {

struct ControllerFixture : ::testing::Test {
    EventList list;
    test::FakeClock clock;
    EventRecorder recorder{list, clock};
    test::FakePrompts prompts;
    test::FakeSourceState source;
    MonitorController controller{
        recorder, [this] { return std::make_unique<test::FakeSource>(source); }, prompts};

    void SetUp() override { controller.SetOptions(DefaultOptions()); }
    void ExpectStates(bool start, bool stop, const char* status) {
        const ControlStates s = controller.States();
        EXPECT_EQ(s.startEnabled, start);
        EXPECT_EQ(s.browseEnabled, start);
        EXPECT_EQ(s.pathEnabled, start);
        EXPECT_EQ(s.stopEnabled, stop);
        EXPECT_EQ(s.status, status);
    }
};

TEST_F(ControllerFixture, StartAndStopFollowTheStateTable) {
    ExpectStates(true, false, "监控状态");
    ASSERT_TRUE(controller.StartMonitor("/data"));
    EXPECT_EQ(source.folder, "/data/") << "a trailing separator is added";
    EXPECT_EQ(controller.FolderPath(), "/data/");
    ExpectStates(false, true, "监控中..");
    controller.StopMonitor();
    ExpectStates(true, false, "已停止..");
    EXPECT_EQ(source.stops, 1);
    ASSERT_TRUE(controller.StartMonitor("/data/"));
    EXPECT_EQ(source.folder, "/data/") << "no second separator";
    EXPECT_TRUE(prompts.messages.empty());
}

// Refused paths give the message and leave everything as it was, also when the folder cannot
// be watched (the original showed "监控中.." for a folder it could never open).
TEST_F(ControllerFixture, BadPathsAreRefusedWithTheMessage) {
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
    EXPECT_FALSE(controller.StartMonitor("/missing"));
    EXPECT_EQ(prompts.messages.size(), 1u);
    ExpectStates(true, false, "监控状态");
}

TEST_F(ControllerFixture, WatchingThatEndsByItselfReturnsToStopped) {
    ASSERT_TRUE(controller.StartMonitor("/data"));
    EXPECT_FALSE(controller.Poll());
    source.WithSink([](ChangeSink& s) { s.OnEnded(); });
    EXPECT_TRUE(controller.Poll());
    ExpectStates(true, false, "已停止..");
    EXPECT_FALSE(controller.States().statusDetail.empty());
    EXPECT_EQ(source.stops, 1) << "the finished watcher is joined";
}

TEST_F(ControllerFixture, LostChangesAndUnwatchedPartsShowInTheStatusLine) {
    ASSERT_TRUE(controller.StartMonitor("/data"));
    source.WithSink([](ChangeSink& s) { s.OnWarning(WatchWarning::UnreadableFolder, "secret"); });
    EXPECT_TRUE(controller.Poll());
    EXPECT_EQ(controller.States().status, texts::kStatusPartial);
    EXPECT_NE(controller.States().statusDetail.find("/data/secret"), std::string::npos);
    source.WithSink([](ChangeSink& s) { s.OnOverflow(); });
    EXPECT_TRUE(controller.Poll());
    EXPECT_EQ(controller.States().status, texts::kStatusLost);
    EXPECT_EQ(list.Size(), 0u) << "an overflow never makes up a row";
    controller.StopMonitor();
    ExpectStates(true, false, "已停止..");
}

TEST_F(ControllerFixture, FailingLogLinesShowWhileLoggingIsTicked) {
    recorder.SetLogWriter(
        [](const std::vector<std::string>&, const LocalTime&) { return std::size_t{0}; });
    MonitorOptions o = DefaultOptions();
    o.optRecordLog = 1;
    controller.SetOptions(o);
    ASSERT_TRUE(controller.StartMonitor("/data"));
    source.Deliver({{kActionAdded, "a"}});
    EXPECT_TRUE(controller.Poll());
    EXPECT_EQ(controller.States().status, texts::kStatusLogFailing);
    o.optRecordLog = 0;
    controller.SetOptions(o);
    EXPECT_TRUE(controller.Poll());
    EXPECT_EQ(controller.States().status, "监控中..");
}

// After Stop returns no row appears, even with the watcher delivering at full speed.
TEST_F(ControllerFixture, NoRowAfterStopReturns) {
    ASSERT_TRUE(controller.StartMonitor("/data"));
    std::atomic<bool> quit{false};
    std::thread watcher([&] {
        int i = 0;
        while (!quit) source.Deliver({{kActionRemoved, "f" + std::to_string(i++)}});
    });
    while (list.Size() < 100) std::this_thread::yield();
    controller.StopMonitor();
    const std::size_t atStop = list.Size();
    const int idsAtStop = recorder.EventCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    quit = true;
    watcher.join();
    EXPECT_EQ(list.Size(), atStop);

    // IDs run on across Stop and Start.
    ASSERT_TRUE(controller.StartMonitor("/data"));
    source.Deliver({{kActionRemoved, "next"}});
    EXPECT_EQ(list.Snapshot().back().id, idsAtStop + 1);
}

TEST_F(ControllerFixture, BrowseFillsThePathOnlyWhenAFolderIsChosen) {
    std::string path = "/old";
    EXPECT_FALSE(controller.Browse(path));
    EXPECT_EQ(path, "/old");
    EXPECT_EQ(prompts.lastFolderTitle, "请选择文件夹:");
    prompts.folders.push_back("/chosen");
    EXPECT_TRUE(controller.Browse(path));
    EXPECT_EQ(path, "/chosen");
}

}  // namespace
}  // namespace qzx
