// The path rules of the log, the export and the folder check with the paths a Windows user
// has: drive letters, shares and "\".
#include <gtest/gtest.h>

#include "base/PathRules.h"
#include "records/DailyLog.h"
#include "records/RecordExport.h"
#include "tests/records/FakeRecords.h"

namespace qzx {
namespace {

TEST(WindowsPathRules, LogFolderBesideProgram) {
    EXPECT_EQ(LogDirectoryBeside("C:\\Tools\\"), "C:\\Tools\\log\\");
    EXPECT_EQ(LogDirectoryBeside("C:\\Tools"), "C:\\Tools\\log\\");
    EXPECT_EQ(LogDirectoryBeside("C:\\"), "C:\\log\\");
    EXPECT_EQ(LogDirectoryBeside("\\\\server\\share\\QzxFile\\"),
              "\\\\server\\share\\QzxFile\\log\\");
    EXPECT_EQ(LogDirectoryBeside(""), "");
}

TEST(WindowsPathRules, ExportExtensionLooksAtFileNameOnly) {
    struct Case {
        const char* chosen;
        const char* path;
    } cases[] = {
        {"D:\\data\\records", "D:\\data\\records.log"},
        {"D:\\data\\records.txt", "D:\\data\\records.txt"},
        {"D:\\old.files\\out", "D:\\old.files\\out.log"},
        {"D:\\data\\.hidden", "D:\\data\\.hidden"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithExportExtension(c.chosen), c.path) << c.chosen;
}

TEST(WindowsPathRules, AbsoluteFoldersAndTrailingSeparator) {
    for (const char* path : {"C:\\data", "c:", "\\\\server\\share"}) {
        EXPECT_TRUE(IsAbsolutePath(path)) << path;
    }
    for (const char* path : {"data", "", "\\data"}) EXPECT_FALSE(IsAbsolutePath(path)) << path;
    EXPECT_EQ(WithTrailingSeparator("D:\\data"), "D:\\data\\");
    EXPECT_EQ(WithTrailingSeparator("D:\\data\\"), "D:\\data\\");
}

}  // namespace
}  // namespace qzx
