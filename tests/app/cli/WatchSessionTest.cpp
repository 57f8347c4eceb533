// qzxwatch's status on standard error, from the controller's data: what is printed, when it is
// printed again, and the priorities the journal reads.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/StatusTexts.h"
#include "app/cli/StatusPrinter.h"
#include "app/cli/WatchSession.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSource.h"
#include "tests/support/TestPaths.h"
#include "watch/EventList.h"

namespace qzx::cli {
namespace {

using test::NativePath;

const char* const kLostLine =
    "变化来得太快（系统的变化队列溢出，或等待记录的变化过多），有些变化没能记录下来。"
    "（1 次，最近一次 14:7:9）";

Trouble Seen(TroubleKind kind, int count, std::string path = {}) {
    return {kind, count, {2026, 12, 8, 14, 7, 9}, std::move(path)};
}

MonitorStatus Running(MonitorState state, std::vector<Trouble> troubles = {}) {
    MonitorStatus s;
    s.state = state;
    s.troubles = std::move(troubles);
    return s;
}

struct Printed {
    std::vector<std::string> lines;
    StatusPrinter printer;
    explicit Printed(bool journal)
        : printer([this](const std::string& line) { lines.push_back(line); }, journal) {}
    std::vector<std::string> Show(const MonitorStatus& status) {
        lines.clear();
        printer.Show(status);
        return lines;
    }
};

using Lines = std::vector<std::string>;

// A line is printed when its fact is new or its text changed (a count grew), never again for
// the same text; the set-up's progress is no line at all.
TEST(StatusPrinter, PrintsEachFactWhenItChanges) {
    Printed p(false);
    MonitorStatus arming = Running(MonitorState::Arming);
    arming.armedFolders = 42;
    EXPECT_EQ(p.Show(arming), Lines{"准备中.."});
    arming.armedFolders = 43;
    EXPECT_EQ(p.Show(arming), Lines{});
    EXPECT_EQ(p.Show(Running(MonitorState::Monitoring)), Lines{"监控中.."});
    const MonitorStatus lost =
        Running(MonitorState::Monitoring, {Seen(TroubleKind::LostChanges, 1)});
    EXPECT_EQ(p.Show(lost), (Lines{"有变化丢失!", kLostLine}));
    EXPECT_EQ(p.Show(lost), Lines{});
    const MonitorStatus more = Running(
        MonitorState::Monitoring,
        {Seen(TroubleKind::LostChanges, 1), Seen(TroubleKind::UnreadableFolder, 2, "/d/x")});
    EXPECT_EQ(p.Show(more), Lines{"无法读取的子文件夹未被监控：/d/x（2 处，最近一次 14:7:9）"})
        << "the worse trouble keeps the status line";
    MonitorStatus ended;
    ended.state = MonitorState::Stopped;
    ended.endedByItself = true;
    EXPECT_EQ(p.Show(ended),
              (Lines{"已停止..", "监控的文件夹已被删除、移走或无法再读取，监控已停止。"}));
}

// Into the journal, losses are warnings (<4>) and everything else news (<6>), so that
// `journalctl -p warning` finds every loss and nothing else.
TEST(StatusPrinter, JournalLinesCarryTheirPriority) {
    Printed p(true);
    EXPECT_EQ(p.Show(Running(MonitorState::Arming)), Lines{"<6>准备中.."});
    const Trouble limit = Seen(TroubleKind::WatchLimit, 1, "/d/y");
    EXPECT_EQ(p.Show(Running(MonitorState::Monitoring, {limit})),
              (Lines{"<4>部分未监控!", "<4>" + TroubleText(limit)}));
    MonitorStatus failing =
        Running(MonitorState::Monitoring, {limit, Seen(TroubleKind::LogLines, 3)});
    failing.logFailing = true;
    EXPECT_EQ(
        p.Show(failing),
        (Lines{"<6>日志写入失败!",
               "<6>日志文件无法写入，记录的变化没有写进日志。（3 行未写入，最近一次 14:7:9）"}));
    EXPECT_EQ(p.Show(Running(MonitorState::Monitoring, {Seen(TroubleKind::LostChanges, 1)})),
              (Lines{"<4>有变化丢失!", std::string("<4>") + kLostLine}));
}
// The ignored count grows with every batch of a busy ignored folder: it goes out only with a
// line printed anyway, the stop's included, so standard error stays quiet while all is well.
TEST(StatusPrinter, IgnoredCountOnlyGoesWithOtherNews) {
    Printed p(false);
    MonitorStatus s = Running(MonitorState::Monitoring);
    EXPECT_EQ(p.Show(s), Lines{"监控中.."});
    s.ignoredChanges = 5;
    EXPECT_EQ(p.Show(s), Lines{});
    s.ignoredChanges = 9;
    EXPECT_EQ(p.Show(s), Lines{});
    s.troubles = {Seen(TroubleKind::LostChanges, 1)};
    EXPECT_EQ(p.Show(s),
              (Lines{"有变化丢失!", kLostLine, "已忽略 9 个变化（符合忽略列表，未记录）"}));
    EXPECT_EQ(p.Show(s), Lines{});
    s.ignoredChanges = 12;
    EXPECT_EQ(p.Show(s), Lines{});
    MonitorStatus stopped;
    stopped.state = MonitorState::Stopped;
    stopped.ignoredChanges = 12;
    EXPECT_EQ(p.Show(stopped), (Lines{"已停止..", "已忽略 12 个变化（符合忽略列表，未记录）"}));
}

// A session whose waits for a stop each run the next step of a script on the loop's thread;
// past the last step, the stop comes.
struct ScriptedSession {
    EventList list;
    test::FakeClock clock{{2026, 12, 8, 14, 7, 9}};
    EventRecorder recorder{list, clock};
    test::FakeSourceState source;
    std::vector<std::function<void()>> steps;
    std::vector<std::string> err;
    std::string out;

    int Run(bool journal = false) {
        std::string error;
        const std::optional<WatchArguments> arguments = ParseWatchArguments({"/data"}, error);
        long long now = 0;
        std::size_t next = 0;
        SessionIo io;
        io.writeOut = [&](const std::string& bytes) {
            out += bytes;
            return true;
        };
        io.writeErr = [&](const std::string& line) { err.push_back(line); };
        io.waitForStop = [&](int timeoutMs) {
            now += timeoutMs;
            if (next == steps.size()) return true;
            steps[next++]();
            return false;
        };
        io.utcOffsetMinutes = [](const LocalTime&) { return 0; };
        io.steadyMs = [&] { return now; };
        io.errIsJournal = journal;
        return RunWatchSession(
            *arguments, NativePath("/data"), recorder,
            [this] { return std::make_unique<test::FakeSource>(source); }, io);
    }
};

// The loop shows the status after every poll and once more at the end; lost changes come
// with their explanation.
TEST(WatchSession, StatusLinesOfARunThatLostChanges) {
    ScriptedSession s;
    s.steps.push_back([&] { s.source.WithSink([](ChangeSink& sink) { sink.OnOverflow(); }); });
    EXPECT_EQ(s.Run(), kExitStopped);
    EXPECT_EQ(s.err, (Lines{"准备中..", "有变化丢失!", kLostLine, "已停止.."}));
}

// A folder that goes away ends the session with code 3 and the reason, after the changes
// recorded before it were printed.
TEST(WatchSession, FolderGoneEndsWithTheReason) {
    ScriptedSession s;
    s.steps.push_back([&] { s.source.Deliver({{kActionAdded, "a.txt"}}); });
    s.steps.push_back([&] { s.source.WithSink([](ChangeSink& sink) { sink.OnEnded(); }); });
    EXPECT_EQ(s.Run(true), kExitFolderGone);
    EXPECT_EQ(s.out, "2026-12-08 14:07:09\t1\t新增\t" + NativePath("/data/a.txt") + "\n");
    EXPECT_EQ(s.err, (Lines{"<6>准备中..", "<6>监控中..", "<6>已停止..",
                            "<6>监控的文件夹已被删除、移走或无法再读取，监控已停止。"}));
}

}  // namespace
}  // namespace qzx::cli
