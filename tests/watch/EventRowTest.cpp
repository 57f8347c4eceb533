// The texts and rules of one row, apart from how rows are recorded.
#include <gtest/gtest.h>

#include "watch/EventRow.h"

namespace qzx {
namespace {

TEST(EventRow, FolderOfDetailsTakesOldPathAndDropsTheName) {
    struct Case {
        const char* details;
        const char* folder;
    };
    const Case cases[] = {
        {"D:/data/sub/a.txt", "D:/data/sub"},
        {"D:/a.txt", "D:"},
        {"D:/data/old.txt 命名为 D:/data/new.txt", "D:/data"},
        {"a.txt", "a.txt"},
        {"/home/u/文件/报告.txt", "/home/u/文件"},
        {"/a.txt", "/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOfDetails(c.details, '/'), c.folder) << c.details;
    }
    EXPECT_EQ(FolderOfDetails("D:\\data\\sub\\a.txt", '\\'), "D:\\data\\sub");
}

}  // namespace
}  // namespace qzx
