// The recording rules on synthetic batches: no folder, no thread of the platform.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <memory>
#include <thread>

#include "tests/support/FakeClock.h"
#include "watch/EventRecorder.h"
#include "watch/EventRow.h"

namespace qzx::test {
namespace {

// Waits up to five seconds for done(); true when it came true.
template <class Done>
bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// Named after the unit, so that the suite is EventRecorder; the recorder itself is qzx's.
struct EventRecorder : ::testing::Test {
    EventList list;
    FakeClock clock;
    qzx::EventRecorder recorder{list, clock};
    std::vector<std::string> logLines;
    int run = 0;

    void SetUp() override {
        MonitorOptions all = DefaultOptions();
        all.optOther = 1;
        all.optAutoClear = 0;
        all.optRecordLog = 1;
        recorder.SetOptions(all);
        recorder.SetLogWriter([this](const std::vector<std::string>& texts, const LocalTime&) {
            logLines.insert(logLines.end(), texts.begin(), texts.end());
            return texts.size();
        });
        run = recorder.BeginRun("/data/");
    }
    std::size_t Record(ChangeBatch batch) { return recorder.RecordBatch(run, batch); }
    EventRow Newest() {
        auto rows = list.Snapshot();
        return rows.empty() ? EventRow{} : rows.back();
    }
    void SetOption(int MonitorOptions::*opt, int value) {
        MonitorOptions o = recorder.Options();
        o.*opt = value;
        recorder.SetOptions(o);
    }
};

// Every row of the change-kind table: type name, gate, details and what the duplicate window
// remembers afterwards.
TEST_F(EventRecorder, ChangeKindTable) {
    struct Case {
        int action;
        int MonitorOptions::*gate;
        const char* type;
        const char* details;
        const char* lastName;  // nullptr: unchanged
    };
    const Case cases[] = {
        {1, &MonitorOptions::optAdded, "新增", "/data/a.txt", "a.txt"},
        {2, &MonitorOptions::optDeleted, "删除", "/data/a.txt", ""},
        {3, &MonitorOptions::optModified, "修改", "/data/a.txt", "a.txt"},
        {4, &MonitorOptions::optRenamed, "命名", "/data/a.txt 命名为 /data/", ""},
        {5, &MonitorOptions::optRenamed, "命名", "/data/a.txt 命名为 /data/", ""},
        {6, &MonitorOptions::optOther, "其他", "/data/a.txt", nullptr},
        {77, &MonitorOptions::optOther, "其他", "/data/a.txt", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        recorder.EndDuplicateWindow();
        Record({{kActionModified, "before"}});
        const std::size_t before = list.Size();

        SetOption(c.gate, 0);
        EXPECT_EQ(Record({{c.action, "a.txt"}}), 0u) << "gate closed";
        EXPECT_EQ(recorder.LastName(), "before");
        SetOption(c.gate, 1);

        ASSERT_EQ(Record({{c.action, "a.txt"}}), 1u);
        ASSERT_EQ(list.Size(), before + 1);
        const EventRow row = Newest();
        EXPECT_EQ(ColumnText(row, 2), c.type);
        EXPECT_EQ(ColumnText(row, 3), c.details);
        EXPECT_EQ(row.id, recorder.EventCount());
        EXPECT_EQ(recorder.LastName(), c.lastName ? c.lastName : "before");
        EXPECT_EQ(logLines.back(), std::to_string(row.id) + "\t" + c.type + "\t" + c.details);
    }
}

TEST_F(EventRecorder, RenamePairMakesOneRowAndLoneHalvesStillShow) {
    EXPECT_EQ(Record({{4, "a.txt"}, {5, "sub/b.txt"}}), 1u);
    EXPECT_EQ(Newest().details, "/data/a.txt 命名为 /data/sub/b.txt");
    EXPECT_EQ(recorder.LastName(), "sub/b.txt");
    // The new name is the last name, so its modification right after is a duplicate.
    EXPECT_EQ(Record({{3, "sub/b.txt"}}), 0u);

    // A new name without its old half, then an old half followed by something else.
    EXPECT_EQ(Record({{5, "c.txt"}, {4, "d.txt"}, {1, "e.txt"}}), 3u);
    auto rows = list.Snapshot();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].details, "/data/c.txt 命名为 /data/");
    EXPECT_EQ(rows[2].details, "/data/d.txt 命名为 /data/");
    EXPECT_EQ(rows[3].details, "/data/e.txt");

    // Unticked, a whole pair is dropped and the duplicate window keeps its name.
    SetOption(&MonitorOptions::optRenamed, 0);
    EXPECT_EQ(Record({{4, "x"}, {5, "y"}}), 0u);
    EXPECT_EQ(recorder.LastName(), "e.txt");
}

// A batch may carry hundreds of records: each one is a row, not only the first.
TEST_F(EventRecorder, EveryRecordOfABatchIsRecorded) {
    ChangeBatch batch;
    for (int i = 0; i < 500; ++i) batch.push_back({1, "f" + std::to_string(i)});
    EXPECT_EQ(Record(batch), 500u);
    auto rows = list.Snapshot();
    ASSERT_EQ(rows.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(rows[i].id, i + 1);
        EXPECT_EQ(rows[i].details, "/data/f" + std::to_string(i));
    }
    EXPECT_EQ(logLines.size(), 500u);
}

TEST_F(EventRecorder, DuplicateWindowSuppressesAddedAndModifiedUntilATick) {
    EXPECT_EQ(Record({{1, "a.txt"}}), 1u);
    EXPECT_EQ(Record({{3, "a.txt"}}), 0u) << "added then modified in one window";
    EXPECT_EQ(Record({{3, "a.txt"}, {3, "a.txt"}}), 0u);
    EXPECT_EQ(Record({{3, "A.txt"}}), 1u) << "letter case counts";
    recorder.EndDuplicateWindow();
    EXPECT_EQ(Record({{3, "A.txt"}}), 1u) << "a tick came between";
    EXPECT_EQ(Record({{2, "A.txt"}, {2, "A.txt"}}), 2u) << "deletions are never suppressed";
    EXPECT_EQ(recorder.EventCount(), 5);
}

// A file deleted and made again at once must not seem gone: the deletion leaves no name for
// the window, while a rename still leaves its new name.
TEST_F(EventRecorder, DeletionDoesNotHideTheNameComingBack) {
    EXPECT_EQ(Record({{1, "a.txt"}, {2, "a.txt"}, {1, "a.txt"}}), 3u);
    EXPECT_EQ(Record({{3, "a.txt"}}), 0u) << "a modification right after the addition";
    EXPECT_EQ(Record({{2, "a.txt"}}), 1u);
    EXPECT_EQ(Record({{3, "a.txt"}}), 1u) << "modified after its deletion";
    EXPECT_EQ(Record({{1, "b.txt"}, {2, "c.txt"}, {3, "b.txt"}}), 3u)
        << "another name's deletion still ends the window, as any recorded change does";
    EXPECT_EQ(Record({{4, "b.txt"}, {5, "d.txt"}, {1, "d.txt"}}), 1u)
        << "a rename still arms the window with its new name";
    SetOption(&MonitorOptions::optDeleted, 0);
    EXPECT_EQ(Record({{2, "d.txt"}, {3, "d.txt"}}), 0u) << "an unticked deletion changes nothing";
}

TEST_F(EventRecorder, TimeTextHasNoLeadingZeros) {
    clock.Set({2026, 12, 8, 0, 0, 5});
    Record({{1, "a"}});
    EXPECT_EQ(ColumnText(Newest(), 1), "0:0:5");
    clock.Set({2026, 12, 8, 14, 7, 9});
    Record({{1, "b"}});
    EXPECT_EQ(ColumnText(Newest(), 1), "14:7:9");
}

// The list's columns as every front end shows them, each with its text, and no text past them.
TEST_F(EventRecorder, ListColumnsAndTheirTexts) {
    const char* titles[] = {"ID", "时间", "类型", "详细"};
    const int widths[] = {40, 60, 40, 393};
    ASSERT_EQ(std::size(kEventColumns), std::size(titles));
    for (std::size_t i = 0; i < std::size(titles); ++i) {
        EXPECT_STREQ(kEventColumns[i].title, titles[i]) << i;
        EXPECT_EQ(kEventColumns[i].width, widths[i]) << i;
    }
    clock.Set({2026, 12, 8, 9, 5, 3});
    Record({{1, "a.txt"}});
    const EventRow row = Newest();
    const std::string texts[] = {std::to_string(row.id), "9:5:3", "新增", "/data/a.txt"};
    for (int column = 0; column < 4; ++column) EXPECT_EQ(ColumnText(row, column), texts[column]);
    EXPECT_EQ(ColumnText(row, -1), "");
    EXPECT_EQ(ColumnText(row, 4), "");
}

TEST_F(EventRecorder, AutomaticClearingAtTheRowPastTheLimit) {
    SetOption(&MonitorOptions::optAutoClear, 1);
    ChangeBatch batch;
    for (int i = 0; i < 9999; ++i) batch.push_back({2, "f"});
    Record(batch);
    Record({{2, "g"}});
    EXPECT_EQ(list.Size(), 10000u);
    const auto generation = list.Generation();
    Record({{2, "h"}});
    EXPECT_EQ(list.Size(), 0u) << "the 10,001st row is removed with the others";
    EXPECT_NE(list.Generation(), generation);
    EXPECT_EQ(logLines.back(), "10001\t删除\t/data/h") << "its log line was written";
    Record({{2, "i"}});
    EXPECT_EQ(Newest().id, 1);

    // Crossing the limit in the middle of one batch keeps the rows after it.
    batch.resize(10003);
    Record(batch);
    EXPECT_EQ(list.Size(), 3u);
    EXPECT_EQ(Newest().id, 3);

    SetOption(&MonitorOptions::optAutoClear, 0);
    Record(batch);
    Record(batch);
    EXPECT_EQ(list.Size(), 20009u);
}

TEST_F(EventRecorder, IdsRunOnAcrossRunsAndRestartAfterAClear) {
    Record({{1, "a"}, {1, "b"}});
    recorder.EndRun();
    EXPECT_EQ(Record({{1, "late"}}), 0u) << "a batch of an ended run adds nothing";
    run = recorder.BeginRun("/other/");
    Record({{1, "c"}});
    EXPECT_EQ(Newest().id, 3);
    EXPECT_EQ(Newest().details, "/other/c");
    recorder.ClearEvents();
    EXPECT_EQ(list.Size(), 0u);
    Record({{1, "d"}});
    EXPECT_EQ(Newest().id, 1);
}

// A list-wide operation makes the watcher wait: the batch is recorded afterwards, not lost;
// ending the run releases a waiting batch without recording it.
TEST_F(EventRecorder, PauseHoldsBatchesInsteadOfDroppingThem) {
    std::atomic<int> made{-1};
    recorder.Pause();
    std::thread watcher([&] { made = static_cast<int>(Record({{1, "a"}})); });
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchesWaiting() == 1; }));
    EXPECT_EQ(made.load(), -1) << "still waiting while paused";
    EXPECT_EQ(list.Size(), 0u);
    recorder.Resume();
    watcher.join();
    EXPECT_EQ(made.load(), 1);

    recorder.Pause();
    std::thread late([&] { made = static_cast<int>(Record({{1, "b"}})); });
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchesWaiting() == 1; }));
    recorder.EndRun();
    late.join();
    EXPECT_EQ(made.load(), 0);
    recorder.Resume();
    EXPECT_EQ(list.Size(), 1u);
}

// Clearing from the GUI thread while the watcher records: no row lost, none doubled, and the
// IDs in the list always run 1..n without a gap. The watcher waits halfway for the first clear,
// so at least one clear falls between its batches however the threads are scheduled.
TEST_F(EventRecorder, ClearWhileRecordingKeepsIdsConsistent) {
    std::atomic<bool> halfway{false};
    std::atomic<int> clears{0};
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        for (int i = 0; i < 1000; ++i) Record({{2, "x"}, {2, "y"}});
        halfway = true;
        while (clears.load() == 0) std::this_thread::yield();
        for (int i = 0; i < 1000; ++i) Record({{2, "x"}, {2, "y"}});
        done = true;
    });
    while (!done) {
        if (halfway || clears.load() > 0) {
            recorder.ClearEvents();
            ++clears;
        }
        std::this_thread::yield();
    }
    watcher.join();
    auto rows = list.Snapshot();
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].id, static_cast<int>(i + 1));
    EXPECT_EQ(recorder.EventCount(), static_cast<int>(rows.size()));
    EXPECT_EQ(logLines.size(), 4000u);
    EXPECT_GT(clears.load(), 0);
    EXPECT_LE(rows.size(), 2000u) << "the first half went with a clear";
}

TEST_F(EventRecorder, NamesOfAnyLengthAndBytesAreKeptWhole) {
    const std::string longName(5000, 'n');
    const std::string invalid = "bad\xff\xfe\x80name";
    Record({{1, longName}, {1, invalid}, {1, "tab\there"}});
    auto rows = list.Snapshot();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].details, "/data/" + longName);
    EXPECT_EQ(rows[1].details, "/data/" + invalid);
    EXPECT_EQ(logLines[2], "3\t新增\t/data/tab\\there") << "one log line stays one line";
}

// Lost and written lines are counted, and the log counts as failing only until a line is
// written again.
TEST_F(EventRecorder, FailedLogLinesAreCounted) {
    bool writable = false;
    recorder.SetLogWriter([&](const std::vector<std::string>& texts, const LocalTime&) {
        return writable ? texts.size() : std::size_t{0};
    });
    EXPECT_FALSE(recorder.LogFailing());
    Record({{1, "a"}, {1, "b"}});
    EXPECT_EQ(recorder.LogFailures(), 2);
    EXPECT_TRUE(recorder.LogFailing());
    writable = true;
    Record({{1, "c"}});
    EXPECT_FALSE(recorder.LogFailing());
    EXPECT_EQ(recorder.LogLinesWritten(), 1);
    EXPECT_EQ(recorder.LogFailures(), 2) << "the count of lost lines stays";
    writable = false;
    SetOption(&MonitorOptions::optRecordLog, 0);
    Record({{1, "d"}});
    EXPECT_EQ(recorder.LogFailures(), 2) << "nothing is written while logging is off";
    EXPECT_FALSE(recorder.LogFailing());
}

// A shell without a list takes each batch's rows with the batch's date and time; the list
// keeps none of them, and the log lines still follow.
TEST_F(EventRecorder, RowHandlerTakesTheRowsInsteadOfTheList) {
    std::vector<std::vector<EventRow>> handed;
    std::vector<LocalTime> times;
    recorder.SetRowHandler([&](std::vector<EventRow>&& rows, const LocalTime& when) {
        EXPECT_EQ(logLines.size(), 0u + handed.size() * 2) << "rows come before their log lines";
        handed.push_back(std::move(rows));
        times.push_back(when);
    });
    clock.Set({2027, 1, 1, 0, 0, 5});
    EXPECT_EQ(Record({{1, "a"}, {4, "a"}, {5, "b"}}), 2u);
    EXPECT_EQ(Record({{1, "b"}}), 0u) << "the rename made b the last name";
    EXPECT_EQ(list.Size(), 0u);
    ASSERT_EQ(handed.size(), 1u);
    ASSERT_EQ(handed[0].size(), 2u);
    EXPECT_EQ(handed[0][1].details, "/data/a 命名为 /data/b");
    EXPECT_EQ(handed[0][1].id, 2);
    EXPECT_EQ(times[0].year, 2027);
    EXPECT_EQ(logLines.size(), 2u);
}

TEST_F(EventRecorder, WithoutTheDuplicateWindowEveryChangeIsARow) {
    recorder.SetDuplicateWindow(false);
    EXPECT_EQ(Record({{1, "a"}, {3, "a"}, {3, "a"}}), 3u);
    recorder.SetDuplicateWindow(true);
    EXPECT_EQ(Record({{3, "a"}}), 0u);
}

// A change of the patterns acts from the next batch with the rows made staying; the count of
// what they left out runs over the run and starts again with the next one.
TEST_F(EventRecorder, IgnoreRulesApplyFromTheNextBatchAndAreCountedPerRun) {
    auto rules = std::make_shared<IgnoreRules>();
    ASSERT_FALSE(rules->AddLine("*.tmp"));
    EXPECT_EQ(Record({{1, "a.tmp"}}), 1u);
    recorder.SetIgnoreRules(rules);
    EXPECT_EQ(Record({{1, "b.tmp"}, {1, "c.tmp"}, {1, "d"}}), 1u);
    EXPECT_EQ(Record({{2, "e.tmp"}}), 0u);
    EXPECT_EQ(recorder.IgnoredChanges(), 3u);
    EXPECT_EQ(list.Size(), 2u);
    EXPECT_EQ(Newest().id, 2) << "the ignored changes took no ID";
    EXPECT_EQ(logLines.size(), 2u);
    recorder.EndRun();
    EXPECT_EQ(recorder.IgnoredChanges(), 3u) << "the last run's count stays until the next";
    run = recorder.BeginRun("/data/");
    EXPECT_EQ(recorder.IgnoredChanges(), 0u);
    recorder.SetIgnoreRules(nullptr);
    EXPECT_EQ(Record({{2, "f.tmp"}}), 1u);
}

// The list keeps a row's process as a number in a table of its own: every row must still show
// its own process, from a snapshot and from one row alike, and a clear must take the table
// with it without giving a later row the label of a process that has gone.
TEST_F(EventRecorder, EveryRowShowsItsOwnProcessFromTheListAcrossAClear) {
    const auto p7 = std::make_shared<const ProcessInfo>(ProcessInfo{7, "p7", "/bin/p7"});
    const auto p8 = std::make_shared<const ProcessInfo>(ProcessInfo{8, "", ""});
    const auto made = [](const char* path, std::shared_ptr<const ProcessInfo> process) {
        ChangeRecord record(kActionAdded, path);
        record.process = std::move(process);
        return record;
    };
    const auto labels = [&] {
        std::vector<std::string> texts;
        for (const EventRow& row : list.Snapshot())
            texts.push_back(ColumnText(row, kProcessColumn));
        return texts;
    };
    Record({made("a", p7), made("b", nullptr), made("c", p7), made("d", p8)});
    EXPECT_EQ(labels(), (std::vector<std::string>{"p7(7)", "", "p7(7)", "8"}));
    EXPECT_EQ(list.ProcessCount(), 2u) << "one entry a process, not one a row";
    EventRow one;
    ASSERT_TRUE(list.RowAt(list.Generation(), 0, one));
    EXPECT_EQ(one.process, p7) << "the record's own process, exe and all";
    ASSERT_TRUE(list.RowAt(list.Generation(), 1, one));
    EXPECT_FALSE(one.process) << "the row read before must not leave its process behind";

    list.Clear();
    EXPECT_EQ(list.ProcessCount(), 0u);
    Record({made("e", p8), made("f", nullptr)});
    EXPECT_EQ(labels(), (std::vector<std::string>{"8", ""}));
    EXPECT_EQ(list.ProcessCount(), 1u);
}

}  // namespace
}  // namespace qzx::test
