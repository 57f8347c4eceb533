// The log folder and the export's file name with the paths a Windows user has: drive letters,
// shares and "\".
#include <gtest/gtest.h>

#include "records/DailyLog.h"
#include "records/RecordExport.h"

namespace qzx {
namespace {

TEST(DailyLog, WindowsLogFolderBesideProgram) {
    EXPECT_EQ(LogDirectoryBeside("C:\\Tools\\"), "C:\\Tools\\log\\");
    EXPECT_EQ(LogDirectoryBeside("C:\\Tools"), "C:\\Tools\\log\\");
    EXPECT_EQ(LogDirectoryBeside("C:\\"), "C:\\log\\");
    EXPECT_EQ(LogDirectoryBeside("\\\\server\\share\\QzxFile\\"),
              "\\\\server\\share\\QzxFile\\log\\");
    EXPECT_EQ(LogDirectoryBeside(""), "");
}

TEST(RecordExport, WindowsExportExtensionLooksAtFileNameOnly) {
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

}  // namespace
}  // namespace qzx
