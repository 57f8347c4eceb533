// The log's rules over files kept in memory: formats, the day of each line, the folder in use
// and how lost lines are counted.
#include <gtest/gtest.h>

#include "records/DailyLog.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/TestPaths.h"
#include "watch/EventRecorder.h"

namespace qzx {
namespace {

using test::CopyUtf8;
using test::FakeClock;
using test::FakeFileSystem;
using test::NativePath;

constexpr LocalTime kSample{2026, 12, 7, 9, 5, 3};

LogLocations Places() {
    return {NativePath("/opt/qzx/"), NativePath("/home/u/.local/state/qzxfile/log/")};
}

struct LogRig {
    FakeClock clock{kSample};
    FakeFileSystem files;
    DailyLog log{clock, files, Places(), CopyUtf8};
    LogRig() {
        files.folders = {NativePath("/"), NativePath("/opt"), NativePath("/opt/qzx"),
                         NativePath("/home"), NativePath("/home/u")};
    }
};

TEST(DailyLog, TimestampHasLeadingZerosAndFileNameHasNone) {
    struct Case {
        LocalTime t;
        const char* timestamp;
        const char* day;
    } cases[] = {
        {{2026, 12, 7, 9, 5, 3}, "2026-12-07 09:05:03", "2026-12-7"},
        {{2027, 1, 1, 0, 0, 0}, "2027-01-01 00:00:00", "2027-1-1"},
        {{2026, 12, 31, 23, 7, 45}, "2026-12-31 23:07:45", "2026-12-31"},
        {{2026, 10, 10, 10, 10, 10}, "2026-10-10 10:10:10", "2026-10-10"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimestampText(c.t), c.timestamp);
        EXPECT_EQ(DayText(c.t), c.day);
    }
}

TEST(DailyLog, FolderBesideProgramAndUserFolder) {
    EXPECT_EQ(LogDirectoryBeside(NativePath("/opt/qzx/")), NativePath("/opt/qzx/log/"));
    EXPECT_EQ(LogDirectoryBeside(NativePath("/opt/qzx")), NativePath("/opt/qzx/log/"));
    EXPECT_EQ(LogDirectoryBeside(NativePath("/")), NativePath("/log/"));
    EXPECT_EQ(LogDirectoryBeside(""), "");
}

TEST(DailyLog, LineCarriesTimestampTextAndCrLf) {
    LogRig s;
    ASSERT_EQ(s.log.CreateLogDirectory(), 1);
    EXPECT_EQ(s.log.LogDirectory(), NativePath("/opt/qzx/log/"));
    EXPECT_EQ(s.log.TodayText(), "2026-12-7");
    EXPECT_EQ(s.log.TimestampText(), "2026-12-07 09:05:03");

    EXPECT_EQ(s.log.AppendLines({"7\t新增\t/data/a.txt"}, s.clock.Now()), 1u);
    // Repeats are written as often as they come.
    EXPECT_EQ(s.log.AppendLines({"7\t新增\t/data/a.txt"}, s.clock.Now()), 1u);
    const std::string line = "2026-12-07 09:05:03\t7\t新增\t/data/a.txt\r\n";
    EXPECT_EQ(s.files.files[NativePath("/opt/qzx/log/2026-12-7.log")], line + line);
    EXPECT_EQ(s.log.FailedLineCount(), 0);
}

// The last second of the year and the first of the next go to two files, each line with the
// date of its own file.
TEST(DailyLog, NewDayStartsNewFile) {
    LogRig s;
    s.log.CreateLogDirectory();
    s.clock.Set({2026, 12, 31, 23, 59, 59});
    s.log.AppendLines({"1\t新增\t/a"}, s.clock.Now());
    s.clock.Set({2027, 1, 1, 0, 0, 0});
    s.log.AppendLines({"2\t删除\t/a"}, s.clock.Now());
    EXPECT_EQ(s.files.files[NativePath("/opt/qzx/log/2026-12-31.log")],
              "2026-12-31 23:59:59\t1\t新增\t/a\r\n");
    EXPECT_EQ(s.files.files[NativePath("/opt/qzx/log/2027-1-1.log")],
              "2027-01-01 00:00:00\t2\t删除\t/a\r\n");
}

// The log in memory and a recorder that logs into it, wired as the program wires them.
struct LoggedRecorder {
    FakeFileSystem files;
    DailyLog log;
    EventList list;
    EventRecorder recorder;

    explicit LoggedRecorder(const Clock& clock)
        : files(Folders()), log(clock, files, Places(), CopyUtf8), recorder(list, clock) {
        log.CreateLogDirectory();
        MonitorOptions options = DefaultOptions();
        options.optRecordLog = 1;
        recorder.SetOptions(options);
        recorder.SetLogWriter([this](const std::vector<std::string>& texts, const LocalTime& when) {
            return log.AppendLines(texts, when);
        });
    }
    static FakeFileSystem Folders() {
        FakeFileSystem f;
        f.folders = {NativePath("/"), NativePath("/opt"), NativePath("/opt/qzx")};
        return f;
    }
};

// A clock that moves on at every reading, so that a line read twice would straddle midnight.
class SteppingClock final : public Clock {
  public:
    LocalTime Now() const override {
        return readings++ == 0 ? LocalTime{2026, 12, 31, 23, 59, 59}
                               : LocalTime{2027, 1, 1, 0, 0, 0};
    }
    mutable int readings = 0;
};

// Recorded as the program records it, the line and its file take the batch's one reading.
TEST(DailyLog, LineAndItsFileShareOneReadingOfTheClock) {
    SteppingClock clock;
    LoggedRecorder r(clock);
    auto& [files, log, list, recorder] = r;
    EXPECT_EQ(recorder.RecordBatch(recorder.BeginRun("/"), {{1, "a"}}), 1u);
    EXPECT_EQ(files.files[NativePath("/opt/qzx/log/2026-12-31.log")],
              "2026-12-31 23:59:59\t1\t新增\t/a\r\n");
    EXPECT_EQ(files.files.count(NativePath("/opt/qzx/log/2027-1-1.log")), 0u);
}

// A batch reaches its file in one append, every line stamped with the batch's time and filed
// under the batch's day, whatever the clock says by the time it is written.
TEST(DailyLog, BatchIsOneAppendStampedWithItsTime) {
    LogRig s;
    s.log.CreateLogDirectory();
    s.clock.Set({2027, 1, 1, 0, 0, 0});
    const LocalTime when{2026, 12, 31, 23, 59, 59};
    EXPECT_EQ(s.log.AppendLines({"1\t新增\t/a", "2\t删除\t/a", "3\t新增\t/b"}, when), 3u);
    EXPECT_EQ(s.files.appends, 1);
    EXPECT_EQ(s.files.files[NativePath("/opt/qzx/log/2026-12-31.log")],
              "2026-12-31 23:59:59\t1\t新增\t/a\r\n"
              "2026-12-31 23:59:59\t2\t删除\t/a\r\n"
              "2026-12-31 23:59:59\t3\t新增\t/b\r\n");
    EXPECT_EQ(s.files.files.count(NativePath("/opt/qzx/log/2027-1-1.log")), 0u);

    // An empty batch touches no file and no counter.
    EXPECT_EQ(s.log.AppendLines({}, when), 0u);
    EXPECT_EQ(s.files.appends, 1);
    EXPECT_EQ(s.log.FailedLineCount(), 0);
    EXPECT_EQ(s.log.LastResult(), 1);

    // The same lines for a terminal: UTF-8 as it is, LF only.
    EXPECT_EQ(LogLines({"1\ta", "2\tb"}, when, nullptr, "\n"),
              "2026-12-31 23:59:59\t1\ta\n2026-12-31 23:59:59\t2\tb\n");
}

// A batch that cannot be written loses every one of its lines, and each is counted; a gone
// folder is made again for the next batch.
TEST(DailyLog, LostBatchCountsEachLine) {
    LogRig s;
    s.log.CreateLogDirectory();
    s.files.failWrites = true;
    EXPECT_EQ(s.log.AppendLines({"1\t新增\t/a", "2\t新增\t/b", "3\t新增\t/c"}, kSample), 0u);
    EXPECT_EQ(s.log.FailedLineCount(), 3);
    EXPECT_EQ(s.log.LastResult(), 0);

    s.files.failWrites = false;
    s.files.folders.erase(NativePath("/opt/qzx/log"));
    EXPECT_EQ(s.log.AppendLines({"4\t新增\t/d", "5\t新增\t/e"}, kSample), 2u);
    EXPECT_EQ(s.log.FailedLineCount(), 3);
    EXPECT_EQ(s.log.LastResult(), 1);
    EXPECT_EQ(s.files.files[NativePath("/opt/qzx/log/2026-12-7.log")],
              "2026-12-07 09:05:03\t4\t新增\t/d\r\n2026-12-07 09:05:03\t5\t新增\t/e\r\n");
}

class CountingClock final : public Clock {
  public:
    LocalTime Now() const override {
        ++readings;
        return kSample;
    }
    mutable int readings = 0;
};

// The recorder and the log wired as the program wires them: per batch one reading of the clock
// and one append, the rows and their lines with the same time, and a lost batch counted by line.
TEST(DailyLog, RecorderWritesEachBatchAtOnce) {
    CountingClock clock;
    LoggedRecorder r(clock);
    auto& [files, log, list, recorder] = r;
    const int run = recorder.BeginRun("/d/");

    EXPECT_EQ(recorder.RecordBatch(run, {{1, "a"}, {2, "b"}, {4, "c"}, {5, "e"}}), 3u);
    EXPECT_EQ(clock.readings, 1);
    EXPECT_EQ(files.appends, 1);
    EXPECT_EQ(files.files[NativePath("/opt/qzx/log/2026-12-7.log")],
              "2026-12-07 09:05:03\t1\t新增\t/d/a\r\n"
              "2026-12-07 09:05:03\t2\t删除\t/d/b\r\n"
              "2026-12-07 09:05:03\t3\t命名\t/d/c 命名为 /d/e\r\n");
    EXPECT_EQ(TimestampText(RecordedAt(list.Snapshot().back())), "2026-12-07 09:05:03");

    files.failWrites = true;
    recorder.RecordBatch(run, {{1, "f"}, {1, "g"}});
    EXPECT_EQ(recorder.LogFailures(), 2);
    EXPECT_EQ(log.FailedLineCount(), 2);
    EXPECT_EQ(list.Size(), 5u) << "the rows stay when their lines are lost";
}

// An installed copy whose folder is read-only logs into the user's folder, made with its parents.
TEST(DailyLog, ReadOnlyProgramFolderFallsBackToUserFolder) {
    LogRig s;
    s.files.readOnly.insert(NativePath("/opt/qzx"));
    EXPECT_EQ(s.log.CreateLogDirectory(), 1);
    EXPECT_EQ(s.log.LogDirectory(), NativePath("/home/u/.local/state/qzxfile/log/"));
    EXPECT_TRUE(s.log.UsesUserDirectory());
    EXPECT_EQ(s.log.AppendLines({"1\t新增\t/a"}, s.clock.Now()), 1u);
    EXPECT_EQ(s.files.files.count(NativePath("/home/u/.local/state/qzxfile/log/2026-12-7.log")),
              1u);

    // An existing but read-only log folder beside the program is no better.
    LogRig t;
    t.files.folders.insert(NativePath("/opt/qzx/log"));
    t.files.readOnly.insert(NativePath("/opt/qzx/log"));
    EXPECT_EQ(t.log.CreateLogDirectory(), 1);
    EXPECT_TRUE(t.log.UsesUserDirectory());
}

TEST(DailyLog, LostLinesAreCountedAndReported) {
    LogRig s;
    s.files.readOnly = {NativePath("/opt/qzx"), NativePath("/home/u")};
    EXPECT_EQ(s.log.CreateLogDirectory(), 0);
    EXPECT_EQ(s.log.LogDirectory(), NativePath("/opt/qzx/log/"));
    EXPECT_EQ(s.log.LastResult(), 1);
    EXPECT_EQ(s.log.AppendLines({"1\t新增\t/a"}, s.clock.Now()), 0u);
    EXPECT_EQ(s.log.AppendLines({"2\t新增\t/a"}, s.clock.Now()), 0u);
    EXPECT_EQ(s.log.FailedLineCount(), 2);
    EXPECT_EQ(s.log.LastResult(), 0);
    EXPECT_TRUE(s.files.files.empty());

    // A write error after opening is a lost line too, and the next good line clears LastResult.
    LogRig t;
    t.log.CreateLogDirectory();
    t.files.failWrites = true;
    EXPECT_EQ(t.log.AppendLines({"1\t新增\t/a"}, t.clock.Now()), 0u);
    t.files.failWrites = false;
    EXPECT_EQ(t.log.AppendLines({"2\t新增\t/a"}, t.clock.Now()), 1u);
    EXPECT_EQ(t.log.FailedLineCount(), 1);
    EXPECT_EQ(t.log.LastResult(), 1);
}

TEST(DailyLog, DeletedFolderIsMadeAgainButFileInItsPlaceFails) {
    LogRig s;
    s.log.CreateLogDirectory();
    s.files.folders.erase(NativePath("/opt/qzx/log"));
    EXPECT_EQ(s.log.AppendLines({"1\t新增\t/a"}, s.clock.Now()), 1u);
    EXPECT_TRUE(s.files.PathExistsAs(NativePath("/opt/qzx/log/"), true));

    s.files.files.clear();
    s.files.folders.erase(NativePath("/opt/qzx/log"));
    s.files.files[NativePath("/opt/qzx/log")] = "not a folder";
    EXPECT_EQ(s.log.AppendLines({"2\t新增\t/a"}, s.clock.Now()), 0u);
    EXPECT_EQ(s.files.files[NativePath("/opt/qzx/log")], "not a folder");
}

}  // namespace
}  // namespace qzx
