// The export's text, its path rule and its dialogue with the user, without a disk.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/ExportPrompts.h"
#include "records/RecordExport.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestRows.h"
#include "watch/EventRecorder.h"

namespace qzx {
namespace {

using test::Row;

using test::CopyUtf8;
using test::FakeFileSystem;
using test::FakePrompts;
using test::NativePath;

constexpr LocalTime kExportDay{2026, 12, 8, 15, 0, 0};

// The process a row may carry stays out of the export and the log: their four fields are relied
// on.
TEST(RecordExport, ExampleTextOldestFirstWithExportDay) {
    std::vector<EventRow> rows = {Row(1, 9, 5, 3, 1, "D:\\data\\a.txt"),
                                  Row(2, 9, 6, 10, 2, "D:\\data\\a.txt")};
    rows[0].process = std::make_shared<const ProcessInfo>(ProcessInfo{42, "editor", "/bin/ed"});
    EXPECT_EQ(LogText(rows[0]), "1\t新增\tD:\\data\\a.txt");
    EXPECT_EQ(BuildExportText(rows, kExportDay),
              "ID\t时间\t事件\t路径\n\n"
              "1\t2026-12-8 9:5:3\t新增\tD:\\data\\a.txt\n"
              "2\t2026-12-8 9:6:10\t删除\tD:\\data\\a.txt\n");
    EXPECT_EQ(BuildExportText({}, kExportDay), "ID\t时间\t事件\t路径\n\n");
}

// A list kept across midnight: each row is exported with the day on which it was recorded, not
// the day of the export, and across a month and a year as well.
TEST(RecordExport, RowsKeepTheDayTheyWereRecorded) {
    EventList list;
    test::FakeClock clock({2026, 12, 31, 23, 59, 59});
    EventRecorder recorder(list, clock);
    recorder.SetOptions(DefaultOptions());
    const int run = recorder.BeginRun("/d/");
    recorder.RecordBatch(run, {{kActionAdded, "a.txt"}});
    clock.Set({2027, 1, 1, 0, 0, 1});
    recorder.RecordBatch(run, {{kActionRemoved, "a.txt"}});
    clock.Set({2027, 1, 2, 8, 0, 0});
    recorder.RecordBatch(run, {{kActionAdded, "b.txt"}});

    const std::vector<EventRow> rows = list.Snapshot();
    ASSERT_EQ(rows.size(), 3u);
    const LocalTime first = RecordedAt(rows[0]);
    EXPECT_EQ(first.year * 10000 + first.month * 100 + first.day, 20261231);
    EXPECT_EQ(BuildExportText(rows, {2027, 1, 3, 12, 0, 0}),
              "ID\t时间\t事件\t路径\n\n"
              "1\t2026-12-31 23:59:59\t新增\t/d/a.txt\n"
              "2\t2027-1-1 0:0:1\t删除\t/d/a.txt\n"
              "3\t2027-1-2 8:0:0\t新增\t/d/b.txt\n");
    EXPECT_EQ(BuildExportBytes(rows, {2027, 1, 3, 12, 0, 0}, CopyUtf8),
              EncodeFileText(BuildExportText(rows, {2027, 1, 3}), CopyUtf8));
}

// The fast formatting must say what the list shows, for every kind of change.
TEST(RecordExport, FieldsMatchTheListColumns) {
    std::vector<EventRow> rows;
    for (int action : {0, 1, 2, 3, 4, 5, 6, 200}) {
        rows.push_back(Row(123456 + action, 23, 59, 0, action, "/d/x"));
    }
    const std::string text = BuildExportText(rows, kExportDay);
    std::string expected = "ID\t时间\t事件\t路径\n\n";
    for (const EventRow& row : rows) {
        expected += ColumnText(row, 0) + "\t2026-12-8 " + ColumnText(row, 1) + "\t" +
                    ColumnText(row, 2) + "\t" + ColumnText(row, 3) + "\n";
    }
    EXPECT_EQ(text, expected);
}

// A rename stays one field; a name holding TAB, CR or LF cannot break a row into more lines or
// fields.
TEST(RecordExport, EveryRowIsOneLineOfFourFields) {
    const std::vector<EventRow> rows = {
        Row(1, 1, 2, 3, 4, "/d/old.txt 命名为 /d/new.txt"),
        Row(2, 1, 2, 3, 1, "/d/a\tb\r\nc.txt"),
        Row(3, 1, 2, 3, 1, "/d/中文\n名.txt"),
    };
    const std::string text = BuildExportText(rows, kExportDay);
    EXPECT_NE(text.find("\t命名\t/d/old.txt 命名为 /d/new.txt\n"), std::string::npos);
    EXPECT_NE(text.find("\t新增\t/d/a\\tb\\r\\nc.txt\n"), std::string::npos);
    EXPECT_NE(text.find("\t新增\t/d/中文\\n名.txt\n"), std::string::npos);
    size_t lines = 0;
    size_t start = text.find("\n\n") + 2;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos);
        ++lines;
    }
    EXPECT_EQ(lines, rows.size());
}

// The one-pass bytes and the text converted afterwards are the same file.
TEST(RecordExport, BytesAreTheTextWithCrLf) {
    const std::vector<EventRow> rows = {Row(1, 9, 5, 3, 1, "/数据/a.txt"),
                                        Row(2, 0, 0, 0, 3, "/d/tab\there")};
    const std::string bytes = BuildExportBytes(rows, kExportDay, CopyUtf8);
    EXPECT_EQ(bytes, EncodeFileText(BuildExportText(rows, kExportDay), CopyUtf8));
    EXPECT_EQ(bytes,
              "ID\t时间\t事件\t路径\r\n\r\n"
              "1\t2026-12-8 9:5:3\t新增\t/数据/a.txt\r\n"
              "2\t2026-12-8 0:0:0\t修改\t/d/tab\\there\r\n");
}

TEST(RecordExport, LogExtensionOnlyWhenTheFileNameHasNone) {
    struct Case {
        std::string chosen;
        std::string path;
    } cases[] = {
        {NativePath("/home/u/records"), NativePath("/home/u/records.log")},
        {NativePath("/home/u/records.txt"), NativePath("/home/u/records.txt")},
        {NativePath("/home/u/records.log"), NativePath("/home/u/records.log")},
        {NativePath("/home/u/old.files/out"), NativePath("/home/u/old.files/out.log")},
        {NativePath("/home/u/.hidden"), NativePath("/home/u/.hidden")},
        {"records", "records.log"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithExportExtension(c.chosen), c.path) << c.chosen;
}

// The whole flow as the window runs it, with a writer that succeeds and one that fails.
TEST(RecordExport, ResultMessages) {
    const std::string out = NativePath("/out/r.log");
    FakeFileSystem files;
    files.folders = {NativePath("/"), NativePath("/out")};
    FakePrompts prompts;
    const std::vector<EventRow> rows = {Row(1, 9, 5, 3, 1, "/a")};

    int result = WriteExportFile(files, out, rows, kExportDay, CopyUtf8);
    ReportExportResult(prompts, out, result);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "保存成功！位置[" + out + "]。");
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(files.files.count(out), 1u);

    files.failWrites = true;
    result = WriteExportFile(files, out, rows, kExportDay, CopyUtf8);
    ReportExportResult(prompts, out, result);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "保存失败！位置[" + out + "]。");
    EXPECT_EQ(prompts.messages[1].icon, MessageIcon::Exclamation);

    EXPECT_EQ(WriteExportFile(files, "", rows, kExportDay, CopyUtf8), 0);
    EXPECT_EQ(WriteTextFile(files, "", "x", CopyUtf8), 0);
}

}  // namespace
}  // namespace qzx
