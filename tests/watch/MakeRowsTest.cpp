// The recording rules as one step: a batch, the settings and the state in; rows, log texts and
// the next state out. No recorder, no list, no thread.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <optional>

#include "watch/MakeRows.h"

// The case tables' `{}` states make i686 MinGW's g++ 12 warn that their strings may be used
// uninitialised in the tables' destructors; they are value-initialised, and no other target
// warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace qzx {
namespace {

struct Case {
    const char* proves;
    ChangeBatch batch;
    RecordingState before;
    std::vector<std::string> rows;  // each row as its log text
    RecordingState after;
    void (*adjust)(RecordingSettings&) = nullptr;
    bool cleared = false;
    // The log texts when they are not the rows' (rows cleared away still have their lines).
    std::optional<std::vector<std::string>> log = std::nullopt;
};

RecordingSettings AllKindsLogged() {
    RecordingSettings s;
    s.options = DefaultOptions();
    s.options.optOther = 1;
    s.options.optAutoClear = 0;
    s.options.optRecordLog = 1;
    s.folderPath = "/w/";
    return s;
}

TEST(MakeRows, Rules) {
    const Case cases[] = {
        {"an empty batch changes nothing", {}, {7, "a", 3}, {}, {7, "a", 3}},
        {"IDs go on from the state's count and the listed rows add up",
         {{1, "a"}, {2, "b"}},
         {41, "", 3},
         {"42\t新增\t/w/a", "43\t删除\t/w/b"},
         {43, "", 5}},
        {"the ID after the largest int is 1",
         {{2, "a"}},
         {INT_MAX, "", 0},
         {"1\t删除\t/w/a"},
         {1, "", 1}},
        {"a rename's halves make one row and leave the new name in the window",
         {{4, "a"}, {5, "sub/b"}},
         {},
         {"1\t命名\t/w/a 命名为 /w/sub/b"},
         {1, "sub/b", 1}},
        {"a half without its partner still makes a row",
         {{5, "c"}, {4, "d"}, {1, "e"}},
         {},
         {"1\t命名\t/w/c 命名为 /w/", "2\t命名\t/w/d 命名为 /w/", "3\t新增\t/w/e"},
         {3, "e", 3}},
        {"a repeat of the window's name takes no ID",
         {{3, "a"}, {1, "a"}, {1, "b"}},
         {5, "a", 0},
         {"6\t新增\t/w/b"},
         {6, "b", 1}},
        {"without the window a repeat is a row",
         {{1, "a"}, {3, "a"}},
         {},
         {"1\t新增\t/w/a", "2\t修改\t/w/a"},
         {2, "a", 2},
         [](RecordingSettings& s) { s.duplicateWindow = false; }},
        {"an unticked kind takes no ID and leaves the window as it was",
         {{2, "a"}, {3, "a"}},
         {5, "a", 0},
         {},
         {5, "a", 0},
         [](RecordingSettings& s) { s.options.optDeleted = 0; }},
        {"a number that names no kind is other, and other leaves the window as it was",
         {{77, "x"}, {0, "y"}},
         {0, "a", 0},
         {"1\t其他\t/w/x", "2\t其他\t/w/y"},
         {2, "a", 2}},
        {"a deletion empties the window, so the name coming back shows",
         {{2, "a"}, {1, "a"}},
         {0, "a", 0},
         {"1\t删除\t/w/a", "2\t新增\t/w/a"},
         {2, "a", 2}},
        {"the row past the limit clears the list, itself included, and the IDs start again",
         {{2, "a"}, {2, "b"}, {2, "c"}},
         {9999, "", kAutoClearLimit - 1},
         {"1\t删除\t/w/c"},
         {1, "", 1},
         [](RecordingSettings& s) { s.options.optAutoClear = 1; },
         true,
         std::vector<std::string>{"10000\t删除\t/w/a", "10001\t删除\t/w/b", "1\t删除\t/w/c"}},
        {"without automatic clearing the list grows past the limit",
         {{2, "a"}},
         {10000, "", kAutoClearLimit},
         {"10001\t删除\t/w/a"},
         {10001, "", kAutoClearLimit + 1}},
        {"without the log there are no log texts",
         {{2, "a"}},
         {},
         {"1\t删除\t/w/a"},
         {1, "", 1},
         [](RecordingSettings& s) { s.options.optRecordLog = 0; },
         false,
         std::vector<std::string>{}},
    };
    const LocalTime now{2026, 12, 8, 14, 7, 9};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        RecordingSettings settings = AllKindsLogged();
        if (c.adjust) c.adjust(settings);
        const MadeRows made = MakeRows(c.batch, settings, c.before, now);

        std::vector<std::string> rows;
        for (const EventRow& row : made.rows) {
            rows.push_back(LogText(row));
            EXPECT_EQ(TimeText(row), "14:7:9");
            EXPECT_EQ(row.year, 2026);
        }
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(made.logTexts, c.log.value_or(c.rows));
        EXPECT_EQ(made.made, c.log && !c.log->empty() ? c.log->size() : c.rows.size());
        EXPECT_EQ(made.listCleared, c.cleared);
        EXPECT_EQ(made.next.eventCount, c.after.eventCount);
        EXPECT_EQ(made.next.lastName, c.after.lastName);
        EXPECT_EQ(made.next.listed, c.after.listed);
    }
}

// The row keeps which half of a rename came first, and an unknown number is stored as other,
// since the export and qzxwatch read the number back.
TEST(MakeRows, RowsCarryTheNormalisedActionNumber) {
    const MadeRows made =
        MakeRows({{5, "a"}, {4, "b"}, {5, "c"}, {9, "d"}}, AllKindsLogged(), {}, LocalTime{});
    ASSERT_EQ(made.rows.size(), 3u);
    EXPECT_EQ(made.rows[0].action, kActionRenamedNew);
    EXPECT_EQ(made.rows[1].action, kActionRenamedOld);
    EXPECT_EQ(made.rows[2].action, kActionOther);
}

// The process rides from the record to the row; a rename takes it from whichever half has it.
TEST(MakeRows, RowsCarryTheProcessOfTheirRecord) {
    auto editor = std::make_shared<const ProcessInfo>(ProcessInfo{42, "vim", "/usr/bin/vim"});
    ChangeBatch batch{{1, "a"}, {4, "b"}, {5, "c"}, {3, "d"}};
    batch[0].process = editor;
    batch[2].process = editor;
    const MadeRows made = MakeRows(batch, AllKindsLogged(), {}, LocalTime{});
    ASSERT_EQ(made.rows.size(), 3u);
    EXPECT_EQ(made.rows[0].process, editor);
    EXPECT_EQ(made.rows[1].process, editor);
    EXPECT_EQ(made.rows[2].process, nullptr);
    EXPECT_EQ(made.logTexts[0], "1\t新增\t/w/a");
}

std::shared_ptr<const IgnoreRules> RulesOf(const std::vector<std::string>& lines) {
    auto rules = std::make_shared<IgnoreRules>(IgnoreSyntax{false, false});
    EXPECT_TRUE(rules->AddLines(lines).empty());
    return rules;
}

// The patterns decide before the duplicate window and the IDs: what they leave out takes no
// ID, no row, no log text, and leaves the window's name alone.
TEST(MakeRows, IgnorePatterns) {
    struct IgnoreCase {
        const char* proves;
        std::vector<std::string> patterns;
        ChangeBatch batch;
        RecordingState before;
        std::vector<std::string> rows;
        std::size_t ignored;
        RecordingState after;
        void (*adjust)(RecordingSettings&) = nullptr;
    };
    const IgnoreCase cases[] = {
        {"an ignored name takes no ID and a kept one beside it is a row",
         {"*.tmp", "build/"},
         {{1, "a.tmp"}, {1, "build/x.o"}, {3, "build"}, {1, "keep.txt"}},
         {4, "", 0},
         {"5\t新增\t/w/keep.txt"},
         3,
         {5, "keep.txt", 1}},
        {"a folder-only pattern goes by the kind the source saw, unknown taken for a folder",
         {"build/"},
         {{1, "build", PathKind::kFile},
          {2, "build", PathKind::kFolder},
          {2, "build", PathKind::kUnknown}},
         {},
         {"1\t新增\t/w/build"},
         2,
         {1, "build", 1}},
        {"an ignored change leaves the window's name, so the repeat after it is still dropped",
         {"*.tmp"},
         {{1, "a"}, {3, "x.tmp"}, {3, "a"}},
         {},
         {"1\t新增\t/w/a"},
         1,
         {1, "a", 1}},
        {"an exception later in the list keeps the name",
         {"*.tmp", "!keep.tmp"},
         {{1, "keep.tmp"}, {1, "other.tmp"}},
         {},
         {"1\t新增\t/w/keep.tmp"},
         1,
         {1, "keep.tmp", 1}},
        {"a rename out of an ignored name, or into one, is a row with both names",
         {"*.tmp"},
         {{4, "a.tmp"}, {5, "a.txt"}, {4, "b.txt"}, {5, "b.tmp"}},
         {},
         {"1\t命名\t/w/a.tmp 命名为 /w/a.txt", "2\t命名\t/w/b.txt 命名为 /w/b.tmp"},
         0,
         {2, "b.tmp", 2}},
        {"a rename between ignored names counts once",
         {"*.tmp", "*.swp"},
         {{4, "a.tmp"}, {5, "a.swp"}},
         {},
         {},
         1,
         {}},
        {"a lone half is decided by its one name",
         {"*.tmp"},
         {{5, "came.tmp"}, {5, "came.txt"}, {4, "gone.tmp"}},
         {},
         {"1\t命名\t/w/came.txt 命名为 /w/"},
         2,
         {1, "", 1}},
        {"an unticked kind is not counted as ignored",
         {"*.tmp"},
         {{2, "a.tmp"}, {1, "b.tmp"}},
         {},
         {},
         1,
         {},
         [](RecordingSettings& s) { s.options.optDeleted = 0; }},
        {"a folder's rule covers what is below it, by path from the watched folder",
         {"/docs/old/"},
         {{3, "docs/old/a/b.txt"}, {3, "x/docs/old/c.txt"}},
         {},
         {"1\t修改\t/w/x/docs/old/c.txt"},
         1,
         {1, "x/docs/old/c.txt", 1}},
        {"an empty list ignores nothing",
         {},
         {{1, "a.tmp"}},
         {},
         {"1\t新增\t/w/a.tmp"},
         0,
         {1, "a.tmp", 1}},
    };
    for (const IgnoreCase& c : cases) {
        SCOPED_TRACE(c.proves);
        RecordingSettings settings = AllKindsLogged();
        settings.ignoreRules = RulesOf(c.patterns);
        if (c.adjust) c.adjust(settings);
        const MadeRows made = MakeRows(c.batch, settings, c.before, LocalTime{});
        std::vector<std::string> rows;
        for (const EventRow& row : made.rows) rows.push_back(LogText(row));
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(made.logTexts, c.rows);
        EXPECT_EQ(made.ignored, c.ignored);
        EXPECT_EQ(made.next.eventCount, c.after.eventCount);
        EXPECT_EQ(made.next.lastName, c.after.lastName);
        EXPECT_EQ(made.next.listed, c.after.listed);
    }
}

}  // namespace
}  // namespace qzx
