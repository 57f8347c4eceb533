// The texts and rules of one row, apart from how rows are recorded.
#include <gtest/gtest.h>

#include <string>

#include "watch/EventRow.h"

namespace qzx {
namespace {

TEST(EventRow, FolderOfPathDropsTheName) {
    struct Case {
        const char* path;
        const char* folder;
    };
    const Case cases[] = {
        {"D:/data/sub/a.txt", "D:/data/sub"},      {"D:/a.txt", "D:"}, {"a.txt", "a.txt"},
        {"/home/u/文件/报告.txt", "/home/u/文件"}, {"/a.txt", "/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOfPath(c.path, '/'), c.folder) << c.path;
    }
    EXPECT_EQ(FolderOfPath("D:\\data\\sub\\a.txt", '\\'), "D:\\data\\sub");
}

// A rename's paths come from where the new one starts, so a name holding the marker is whole,
// and the text shown and logged stays the joined one.
TEST(EventRow, RenameKeepsBothPathsWhateverTheNamesHold) {
    struct Case {
        const char* oldName;
        const char* newName;
        const char* details;
    };
    const Case cases[] = {
        {"old.txt", "sub/new.txt", "/d/old.txt 命名为 /d/sub/new.txt"},
        {"x 命名为 y", "z", "/d/x 命名为 y 命名为 /d/z"},
        {"a", "b 命名为 /d/c", "/d/a 命名为 /d/b 命名为 /d/c"},
        // The half whose partner never came: the folder alone after the marker.
        {"gone", "", "/d/gone 命名为 /d/"},
    };
    for (const Case& c : cases) {
        EventRow row;
        SetRenameDetails(row, "/d/", c.oldName, c.newName);
        EXPECT_EQ(row.details, c.details);
        EXPECT_EQ(OldPathOf(row), "/d/" + std::string(c.oldName)) << c.details;
        EXPECT_EQ(NewPathOf(row), "/d/" + std::string(c.newName)) << c.details;
        EXPECT_EQ(FolderOfRow(row, '/'), FolderOfPath(OldPathOf(row), '/')) << c.details;
    }
    // A row of one path is that path, marker or not; an offset past the text names one path.
    EventRow one;
    one.details = "/d/a 命名为 b";
    EXPECT_EQ(OldPathOf(one), one.details);
    EXPECT_EQ(NewPathOf(one), "");
    EXPECT_EQ(FolderOfRow(one, '/'), "/d");
    one.newPathAt = 99;
    EXPECT_FALSE(HasNewPath(one));
    EXPECT_EQ(OldPathOf(one), one.details);
}

}  // namespace
}  // namespace qzx
