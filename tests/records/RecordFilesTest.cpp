// The log and the export as bytes on a real disk, in GBK.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ExportPrompts.h"
#include "records/DailyLog.h"
#include "records/RecordExport.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/TempFolder_posix.h"
#include "tests/support/TestRows.h"

namespace qzx {
namespace {

using test::Row;

using test::FakeClock;
using test::FakePrompts;
using test::ReadBytes;
using test::TempFolder;
using test::TmpfsMount;
using test::WriteBytes;

// GBK of the Chinese words the files hold.
const std::string kAdded = "\xD0\xC2\xD4\xF6";    // 新增
const std::string kDeleted = "\xC9\xBE\xB3\xFD";  // 删除
const std::string kChinese = "\xD6\xD0\xCE\xC4";  // 中文
const std::string kHeader =
    "ID\t\xCA\xB1\xBC\xE4\t\xCA\xC2\xBC\xFE\t\xC2\xB7\xBE\xB6\r\n\r\n";  // ID 时间 事件 路径

struct LogRig {
    TempFolder temp;
    FakeClock clock{{2026, 12, 7, 9, 5, 3}};
    std::string program = temp.Sub("程序") + "/";
    std::string user = temp.Sub("state/qzxfile/log/");
    DailyLog log{clock, SystemFileSystem(), {program, user}, AppendGbk};
    LogRig() { ::mkdir(program.c_str(), 0755); }
};

TEST(RecordFiles, LogLineBytesInGbk) {
    LogRig s;
    ASSERT_EQ(s.log.CreateLogDirectory(), 1);
    EXPECT_EQ(s.log.LogDirectory(), s.program + "log/");
    EXPECT_EQ(s.log.AppendLines({"7\t新增\tD:\\data\\a.txt"}, s.clock.Now()), 1u);
    // Outside GBK becomes "?"; Chinese names become their GBK bytes.
    EXPECT_EQ(s.log.AppendLines({"8\t删除\t/数据/中文😀.txt"}, s.clock.Now()), 1u);
    EXPECT_EQ(ReadBytes(s.program + "log/2026-12-7.log"),
              "2026-12-07 09:05:03\t7\t" + kAdded + "\tD:\\data\\a.txt\r\n" +
                  "2026-12-07 09:05:03\t8\t" + kDeleted + "\t/\xCA\xFD\xBE\xDD/" + kChinese +
                  "?.txt\r\n");

    s.clock.Set({2027, 1, 1, 0, 0, 0});
    EXPECT_EQ(s.log.AppendLines({"9\t新增\t/a"}, s.clock.Now()), 1u);
    EXPECT_EQ(ReadBytes(s.program + "log/2027-1-1.log"),
              "2027-01-01 00:00:00\t9\t" + kAdded + "\t/a\r\n");
}

// Descriptors of this process open on path.
int OpenDescriptorsOn(const std::string& path) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == path) ++count;
    }
    return count;
}

// A batch on disk is the bytes of its lines one by one, and the file is free between batches:
// moved away or deleted, the next batch starts it again.
TEST(RecordFiles, BatchOnDiskAndFileFreeBetweenBatches) {
    LogRig s;
    ASSERT_EQ(s.log.CreateLogDirectory(), 1);
    const std::string file = s.program + "log/2026-12-7.log";
    const std::vector<std::string> texts = {"7\t新增\tD:\\data\\a.txt", "8\t删除\t/数据/中文😀.txt"};
    EXPECT_EQ(s.log.AppendLines(texts, s.clock.Now()), 2u);
    const std::string batch = ReadBytes(file);
    std::filesystem::remove(file);
    for (const std::string& text : texts) EXPECT_EQ(s.log.AppendLines({text}, s.clock.Now()), 1u);
    EXPECT_EQ(ReadBytes(file), batch);
    EXPECT_EQ(OpenDescriptorsOn(file), 0);

    std::filesystem::rename(file, s.program + "log/moved.log");
    EXPECT_EQ(s.log.AppendLines({"9\t新增\t/a"}, s.clock.Now()), 1u);
    EXPECT_EQ(ReadBytes(file), "2026-12-07 09:05:03\t9\t" + kAdded + "\t/a\r\n");
    EXPECT_EQ(ReadBytes(s.program + "log/moved.log"), batch);
    EXPECT_EQ(OpenDescriptorsOn(file), 0);
}

TEST(RecordFiles, LogFolderRemovedOrReplacedByFile) {
    LogRig s;
    ASSERT_EQ(s.log.CreateLogDirectory(), 1);
    const std::string folder = s.program + "log";
    std::filesystem::remove_all(folder);
    EXPECT_EQ(s.log.AppendLines({"1\t新增\t/a"}, s.clock.Now()), 1u);
    EXPECT_TRUE(s.log.PathExistsAs(folder, true));

    std::filesystem::remove_all(folder);
    WriteBytes(folder, "in the way");
    EXPECT_EQ(s.log.AppendLines({"2\t新增\t/a"}, s.clock.Now()), 0u);
    EXPECT_EQ(s.log.FailedLineCount(), 1);
    EXPECT_EQ(ReadBytes(folder), "in the way");
}

// The program folder on a read-only mount, as an installed copy sees it.
TEST(RecordFiles, ReadOnlyProgramFolderLogsIntoUserFolder) {
    LogRig s;
    TmpfsMount mount(s.program, "size=64k");
    if (!mount.Mounted() || !mount.MakeReadOnly()) GTEST_SKIP() << "cannot mount a tmpfs here";
    ASSERT_EQ(s.log.CreateLogDirectory(), 1);
    EXPECT_TRUE(s.log.UsesUserDirectory());
    EXPECT_EQ(s.log.LogDirectory(), s.user);
    EXPECT_EQ(s.log.AppendLines({"1\t新增\t/a"}, s.clock.Now()), 1u);
    EXPECT_EQ(ReadBytes(s.user + "2026-12-7.log"),
              "2026-12-07 09:05:03\t1\t" + kAdded + "\t/a\r\n");
}

TEST(RecordFiles, SystemLocationsFromExecutableAndEnvironment) {
    ::setenv("XDG_STATE_HOME", "/var/tmp/qzx-state", 1);
    const LogLocations places = SystemLogLocations();
    ::unsetenv("XDG_STATE_HOME");
    ASSERT_FALSE(places.moduleDirectory.empty());
    EXPECT_EQ(places.moduleDirectory.back(), '/');
    EXPECT_TRUE(
        SystemFileSystem().PathExistsAs(places.moduleDirectory + "records_platform", false));
    EXPECT_EQ(places.userLogDirectory, "/var/tmp/qzx-state/qzxfile/log/");
}

TEST(RecordFiles, ExportExampleBytesInGbk) {
    TempFolder temp;
    const std::vector<EventRow> rows = {Row(1, 9, 5, 3, 1, "D:\\data\\a.txt"),
                                        Row(2, 9, 6, 10, 2, "D:\\data\\a.txt")};
    const std::string path = temp.Sub("记录.log");
    ASSERT_EQ(WriteExportFile(SystemFileSystem(), path, rows, {2026, 12, 8}, AppendGbk), 1);
    EXPECT_EQ(ReadBytes(path), kHeader + "1\t2026-12-8 9:5:3\t" + kAdded + "\tD:\\data\\a.txt\r\n" +
                                   "2\t2026-12-8 9:6:10\t" + kDeleted + "\tD:\\data\\a.txt\r\n");

    const std::vector<EventRow> odd = {Row(3, 1, 2, 3, 1, "/中文\t😀.txt")};
    ASSERT_EQ(WriteExportFile(SystemFileSystem(), path, odd, {2026, 12, 8}, AppendGbk), 1);
    EXPECT_EQ(ReadBytes(path),
              kHeader + "3\t2026-12-8 1:2:3\t" + kAdded + "\t/" + kChinese + "\\t?.txt\r\n");

    // A list of many pieces' worth reaches the file whole, in order, each row once.
    std::vector<EventRow> many;
    for (int i = 1; i <= 30000; ++i) {
        many.push_back(Row(i, i % 24, i % 60, i % 60, i % 5 + 1,
                           "/数据/第" + std::to_string(i) + "个/a\tb.txt"));
    }
    ASSERT_EQ(WriteExportFile(SystemFileSystem(), path, many, {2026, 12, 8}, AppendGbk), 1);
    EXPECT_TRUE(ReadBytes(path) == BuildExportBytes(many, {2026, 12, 8}, AppendGbk));
}

// Bad targets end in the failure message and leave what was there.
TEST(RecordFiles, FailedExportsShowFailureAndKeepOldFile) {
    TempFolder temp;
    FakePrompts prompts;
    const std::vector<EventRow> rows = {Row(1, 9, 5, 3, 1, "/a")};

    // An existing folder: the question first, then the failure.
    const std::string dir = temp.Sub("dir.log");
    ::mkdir(dir.c_str(), 0755);
    prompts.saveFiles.push_back(dir);
    prompts.answers.push_back(true);
    const auto chosen = ChooseExportPath(prompts, SystemFileSystem());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(prompts.questions.size(), 1u);
    ReportExportResult(
        prompts, *chosen,
        WriteExportFile(SystemFileSystem(), *chosen, rows, {2026, 12, 8}, AppendGbk));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "保存失败！位置[" + dir + "]。");

    TmpfsMount small(temp.Sub("small"), "size=64k");
    if (!small.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string target = temp.Sub("small/records.log");
    WriteBytes(target, "old content");
    std::vector<EventRow> many(5000, Row(1, 9, 5, 3, 1, "/some/longer/path/名字.txt"));
    EXPECT_EQ(WriteExportFile(SystemFileSystem(), target, many, {2026, 12, 8}, AppendGbk), 0);
    EXPECT_EQ(ReadBytes(target), "old content");

    ASSERT_TRUE(small.MakeReadOnly());
    EXPECT_EQ(WriteExportFile(SystemFileSystem(), temp.Sub("small/new.log"), rows, {2026, 12, 8},
                              AppendGbk),
              0);
    EXPECT_EQ(ReadBytes(target), "old content");
}

}  // namespace
}  // namespace qzx
