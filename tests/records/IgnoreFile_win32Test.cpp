// The ignore list on Windows: in the roaming application data, written in one step with CR LF,
// and read back through the wide-character calls, Chinese folder names included.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/WideText_win32.h"
#include "records/IgnoreFile.h"
#include "tests/support/ScopedVariable_win32.h"
#include "tests/support/TempFolder_win32.h"

namespace qzx {
namespace {

using test::EntryCount;
using test::ReadBytes;
using test::ScopedVariable;
using test::TempFolder;
using test::WriteBytes;

TEST(IgnoreFileWin32, ListLivesInTheRoamingAppData) {
    TempFolder temp;
    ScopedVariable roaming(L"APPDATA", Widen(temp.Sub("漫游")));
    const IgnoreFilePlace place = SystemIgnoreFile();
    EXPECT_EQ(place.path, temp.Sub("漫游\\QzxFile\\ignore.txt"));
    EXPECT_EQ(place.lineEnd, "\r\n");

    // The first write makes QzxFile\ below it; each write leaves exactly the one file.
    ASSERT_EQ(WritePatternFile(SystemFileSystem(), place, {"*.tmp", "~$*", "/build/"}), 1);
    EXPECT_EQ(ReadBytes(place.path), "*.tmp\r\n~$*\r\n/build/\r\n");
    ASSERT_EQ(WritePatternFile(SystemFileSystem(), place, {"*.swp"}), 1);
    EXPECT_EQ(EntryCount(temp.Sub("漫游\\QzxFile")), 1);
    const PatternFileText back = ReadPatternFile(SystemFileSystem(), place.path);
    EXPECT_EQ(back.result, ReadResult::kRead);
    EXPECT_EQ(back.lines, std::vector<std::string>{"*.swp"});
}

// A relative value is no folder; the shell's own answer is used instead.
TEST(IgnoreFileWin32, RelativeAppDataIsIgnored) {
    ScopedVariable roaming(L"APPDATA", L"relative\\folder");
    const std::string path = SystemIgnoreFile().path;
    ASSERT_GE(path.size(), 3u);
    EXPECT_EQ(path.substr(1, 2), ":\\");
    EXPECT_EQ(path.find("relative"), std::string::npos);
}

TEST(IgnoreFileWin32, ReadingOddFilesIsAResult) {
    TempFolder temp;
    const FileSystem& fs = SystemFileSystem();
    EXPECT_EQ(ReadPatternFile(fs, temp.Sub("none.txt")).result, ReadResult::kMissing);
    EXPECT_EQ(ReadPatternFile(fs, temp.Sub("no\\such\\folder.txt")).result, ReadResult::kMissing);
    EXPECT_EQ(ReadPatternFile(fs, temp.path).result, ReadResult::kFailed);
    ASSERT_TRUE(WriteBytes(temp.Sub("big.txt"), std::string(kMaxPatternFileBytes + 1, '#')));
    EXPECT_EQ(ReadPatternFile(fs, temp.Sub("big.txt")).result, ReadResult::kTooLarge);

    // A read-only list cannot be replaced, and stays as it was.
    const IgnoreFilePlace place{temp.Sub("ignore.txt"), "\r\n"};
    ASSERT_TRUE(WriteBytes(place.path, "*.tmp\r\n"));
    ::SetFileAttributesW(test::W(place.path).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(WritePatternFile(SystemFileSystem(), place, {"*.log"}), 0);
    EXPECT_EQ(ReadBytes(place.path), "*.tmp\r\n");
}

}  // namespace
}  // namespace qzx
