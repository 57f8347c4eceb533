// The pattern files through a file system kept in memory: what is written, read back and
// reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/IgnoreFile.h"
#include "tests/support/FakeFileSystem.h"

namespace qzx {
namespace {

using test::FakeFileSystem;
using test::NativePath;
using Lines = std::vector<std::string>;

struct IgnoreFileFixture : ::testing::Test {
    FakeFileSystem files;
    IgnoreFilePlace place{NativePath("/home/u/.config/qzxfile/ignore"), "\r\n"};

    void SetUp() override { files.folders.insert(NativePath("/home")); }
};

// The first write makes the settings folder; the lines come back as they went in.
TEST_F(IgnoreFileFixture, WriteMakesTheFolderAndReadsBack) {
    const Lines lines = {"# mine", "*.tmp", "", "!keep.tmp", "/build/"};
    ASSERT_EQ(WritePatternFile(files, place, lines), 1);
    EXPECT_TRUE(files.PathExistsAs(NativePath("/home/u/.config/qzxfile"), true));
    EXPECT_EQ(files.files[place.path], "# mine\r\n*.tmp\r\n\r\n!keep.tmp\r\n/build/\r\n");
    const PatternFileText back = ReadPatternFile(files, place.path);
    EXPECT_EQ(back.result, ReadResult::kRead);
    EXPECT_EQ(back.lines, lines);

    ASSERT_EQ(WritePatternFile(files, place, {}), 1);
    EXPECT_EQ(files.files[place.path], "");
    EXPECT_EQ(ReadPatternFile(files, place.path).lines, Lines{});
}

TEST_F(IgnoreFileFixture, FailuresAreResults) {
    EXPECT_EQ(ReadPatternFile(files, place.path).result, ReadResult::kMissing);
    ASSERT_EQ(WritePatternFile(files, place, {"*.tmp"}), 1);

    // A failed write leaves the list that was there.
    files.failWrites = true;
    EXPECT_EQ(WritePatternFile(files, place, {"*.log"}), 0);
    EXPECT_EQ(files.files[place.path], "*.tmp\r\n");
    files.failWrites = false;

    // The settings folder cannot be made where a file stands in its way.
    IgnoreFilePlace blocked{NativePath("/home/file/qzxfile/ignore"), "\n"};
    files.files[NativePath("/home/file")] = "x";
    EXPECT_EQ(WritePatternFile(files, blocked, {"*.tmp"}), 0);
    EXPECT_EQ(WritePatternFile(files, IgnoreFilePlace{"", "\n"}, {"*.tmp"}), 0);

    files.failReads = true;
    const PatternFileText unread = ReadPatternFile(files, place.path);
    EXPECT_EQ(unread.result, ReadResult::kFailed);
    EXPECT_TRUE(unread.lines.empty());
    files.failReads = false;

    files.files[place.path] = std::string(kMaxPatternFileBytes + 1, 'x');
    EXPECT_EQ(ReadPatternFile(files, place.path).result, ReadResult::kTooLarge);
}

// As --exclude-from reads a file: every usable line is added, the others come back numbered.
TEST_F(IgnoreFileFixture, LoadAddsRulesAndNumbersBadLines) {
    const std::string path = NativePath("/home/patterns.txt");
    files.files[path] = "\xEF\xBB\xBF# shared with the window\r\n*.tmp\r\nsrc/[gen\r\nbuild/\r\n";
    IgnoreRules rules({false, false});
    const PatternFileLoad load = LoadPatternFile(files, path, rules);
    EXPECT_EQ(load.result, ReadResult::kRead);
    ASSERT_EQ(load.errors.size(), 1u);
    EXPECT_EQ(load.errors[0].line, 3);
    EXPECT_EQ(load.errors[0].problem, PatternProblem::kUnclosedBracket);
    EXPECT_EQ(load.errors[0].text, "src/[gen");
    EXPECT_TRUE(rules.Ignores("a.tmp", PathKind::kFile));
    EXPECT_TRUE(rules.Ignores("x/build/y", PathKind::kFile));

    IgnoreRules none({false, false});
    const PatternFileLoad missing = LoadPatternFile(files, NativePath("/home/none.txt"), none);
    EXPECT_EQ(missing.result, ReadResult::kMissing);
    EXPECT_TRUE(none.Empty());
}

}  // namespace
}  // namespace qzx
