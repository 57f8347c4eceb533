// The table of change kinds: every fact of a kind in one row, and the numbers sources report.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "watch/ChangeKind.h"
#include "watch/EventRow.h"

namespace qzx {
namespace {

TEST(ChangeKind, ActionNumbersMapToKindsAndTypeNames) {
    const struct {
        int action;
        ChangeKind kind;
        const char* typeName;
    } cases[] = {
        {kActionAdded, ChangeKind::Added, "新增"},
        {kActionRemoved, ChangeKind::Deleted, "删除"},
        {kActionModified, ChangeKind::Modified, "修改"},
        {kActionRenamedOld, ChangeKind::Renamed, "命名"},
        {kActionRenamedNew, ChangeKind::Renamed, "命名"},
        {kActionOther, ChangeKind::Other, "其他"},
        {0, ChangeKind::Other, "其他"},
        {-1, ChangeKind::Other, "其他"},
        {77, ChangeKind::Other, "其他"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        EXPECT_EQ(KindOfAction(c.action), c.kind);
        EXPECT_STREQ(ChangeTypeName(c.action), c.typeName);
    }
    for (const ChangeKindInfo& info : kChangeKinds) {
        EXPECT_EQ(KindOfAction(info.action), info.kind) << info.word;
    }
}

// A slip in the table (two kinds on one box or one --kinds word) would make one kind
// unrecordable; the two options that are no kind stay out of it.
TEST(ChangeKind, EachKindHasItsOwnOptionWordAndTypeName) {
    std::set<std::string> words;
    std::set<std::string> typeNames;
    for (const ChangeKindInfo& info : kChangeKinds) {
        words.insert(info.word);
        typeNames.insert(info.typeName);
        EXPECT_NE(info.option, &MonitorOptions::optAutoClear) << info.word;
        EXPECT_NE(info.option, &MonitorOptions::optRecordLog) << info.word;
        for (const ChangeKindInfo& other : kChangeKinds) {
            if (other.kind == info.kind) continue;
            EXPECT_NE(other.option, info.option) << info.word;
        }
    }
    EXPECT_EQ(words.size(), std::size(kChangeKinds));
    EXPECT_EQ(typeNames.size(), std::size(kChangeKinds));
}

// A fresh window's boxes, now that the kinds' part of them comes from the table.
TEST(ChangeKind, DefaultOptionsAreAFreshWindowsBoxes) {
    const MonitorOptions o = DefaultOptions();
    EXPECT_EQ(o.optAdded, 1);
    EXPECT_EQ(o.optDeleted, 1);
    EXPECT_EQ(o.optModified, 1);
    EXPECT_EQ(o.optRenamed, 1);
    EXPECT_EQ(o.optOther, 0);
    EXPECT_EQ(o.optAutoClear, 1);
    EXPECT_EQ(o.optRecordLog, 0);
}

}  // namespace
}  // namespace qzx
