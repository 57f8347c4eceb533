// The Windows file operations on real folders: long paths, the export swapped in whole, and
// what happens when the target is protected, locked or a folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "records/FileSystem.h"
#include "tests/support/TempFolder_win32.h"

namespace qzx {
namespace {

using test::EntryCount;
using test::ReadBytes;
using test::TempFolder;
using test::W;
using test::WriteBytes;

// A folder chain whose full path is far past the 260-character limit.
std::string DeepFolder(const TempFolder& temp) {
    std::string path = temp.path;
    for (int level = 0; level < 6; ++level) path += "\\" + std::string(60, char('a' + level));
    return path;
}

TEST(FileSystemWin32, ExistenceByKindAndFolderMaking) {
    TempFolder temp;
    ASSERT_FALSE(temp.path.empty());
    FileSystem& fs = SystemFileSystem();
    ASSERT_TRUE(WriteBytes(temp.Sub("f"), "x"));
    for (bool asFolder : {true, false}) {
        EXPECT_EQ(fs.PathExistsAs(temp.path, asFolder), asFolder);
        EXPECT_EQ(fs.PathExistsAs(temp.path + "\\", asFolder), asFolder);
        EXPECT_EQ(fs.PathExistsAs(temp.Sub("f"), asFolder), !asFolder);
        EXPECT_FALSE(fs.PathExistsAs(temp.Sub("none"), asFolder));
    }
    EXPECT_FALSE(fs.PathExists(""));
    EXPECT_TRUE(fs.PathExists(temp.Sub("f")));

    EXPECT_EQ(fs.MakeFolders(temp.Sub("a\\b/c\\")), 1);
    EXPECT_TRUE(fs.IsWritableFolder(temp.Sub("a\\b\\c")));
    EXPECT_EQ(EntryCount(temp.Sub("a\\b\\c")), 0);  // the probe file is gone again
    EXPECT_EQ(fs.MakeFolders(temp.Sub("f\\sub")), 0);
    EXPECT_FALSE(fs.IsWritableFolder(temp.Sub("f")));
    EXPECT_FALSE(fs.IsWritableFolder(temp.Sub("none")));
}

// Every operation works where the full path needs more than 260 characters.
TEST(FileSystemWin32, LongPathsWork) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    const std::string deep = DeepFolder(temp);
    ASSERT_GT(deep.size(), 300u);
    ASSERT_EQ(fs.MakeFolders(deep), 1);
    EXPECT_TRUE(fs.PathExistsAs(deep, true));
    EXPECT_TRUE(fs.IsWritableFolder(deep));
    const std::string file = deep + "\\2026-12-7.log";
    EXPECT_EQ(fs.AppendToFile(file, "one\r\n"), 1);
    EXPECT_EQ(fs.AppendToFile(file, "two\r\n"), 1);
    EXPECT_EQ(ReadBytes(file), "one\r\ntwo\r\n");
    EXPECT_EQ(fs.ReplaceFile(file, "whole"), 1);
    EXPECT_EQ(ReadBytes(file), "whole");
    EXPECT_EQ(EntryCount(deep), 1);
}

// The replaced file changes all at once; nothing of the temporary file stays behind.
TEST(FileSystemWin32, ReplaceSwapsWholeFile) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    const std::string target = temp.Sub("中文.log");
    ASSERT_TRUE(WriteBytes(target, std::string(1000, 'o')));
    EXPECT_EQ(fs.ReplaceFile(target, "new\r\n"), 1);
    EXPECT_EQ(ReadBytes(target), "new\r\n");
    EXPECT_EQ(fs.ReplaceFile(temp.Sub("fresh.log"), ""), 1);
    EXPECT_EQ(ReadBytes(temp.Sub("fresh.log")), "");
    // Made piece by piece, as the export writes: every piece, in order, an empty one included.
    const std::vector<std::string> pieces = {"a\r\n", "", std::string(70000, 'b'), "c"};
    size_t given = 0;
    EXPECT_EQ(fs.ReplaceFileInPieces(target,
                                     [&](std::string& out) {
                                         out += pieces[given++];
                                         return given < pieces.size();
                                     }),
              1);
    EXPECT_EQ(ReadBytes(target), "a\r\n" + std::string(70000, 'b') + "c");
    EXPECT_EQ(EntryCount(temp.path), 2);
}

// A failed export leaves the old file whole: read-only, locked by another program, a folder
// in the way, or a folder that does not exist.
TEST(FileSystemWin32, FailedReplaceKeepsOldFile) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    const std::string old(5000, 'k');

    const std::string protectedFile = temp.Sub("protected.log");
    ASSERT_TRUE(WriteBytes(protectedFile, old));
    ASSERT_TRUE(::SetFileAttributesW(W(protectedFile).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fs.ReplaceFile(protectedFile, "new"), 0);
    EXPECT_EQ(ReadBytes(protectedFile), old);

    const std::string locked = temp.Sub("locked.log");
    ASSERT_TRUE(WriteBytes(locked, old));
    HANDLE holder = ::CreateFileW(W(locked).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fs.ReplaceFile(locked, "new"), 0);
    ::CloseHandle(holder);
    EXPECT_EQ(ReadBytes(locked), old);

    ASSERT_EQ(fs.MakeFolders(temp.Sub("folder.log")), 1);
    EXPECT_EQ(fs.ReplaceFile(temp.Sub("folder.log"), "new"), 0);
    EXPECT_EQ(fs.ReplaceFile(temp.Sub("none\\x.log"), "new"), 0);
    EXPECT_EQ(fs.ReplaceFile("", "new"), 0);
    // Only the three files and the folder: no temporary file was left anywhere.
    EXPECT_EQ(EntryCount(temp.path), 3);
    EXPECT_EQ(EntryCount(temp.Sub("folder.log")), 0);
}

TEST(FileSystemWin32, AppendCreatesAndExtendsButNeverTruncates) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    const std::string file = temp.Sub("2026-12-7.log");
    EXPECT_EQ(fs.AppendToFile(file, "a\r\n"), 1);
    // Another program reading the day's file does not stop the next line.
    HANDLE reader = ::CreateFileW(W(file).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fs.AppendToFile(file, "b\r\n"), 1);
    ::CloseHandle(reader);
    EXPECT_EQ(ReadBytes(file), "a\r\nb\r\n");
    EXPECT_EQ(fs.AppendToFile(temp.Sub("none\\x.log"), "c"), 0);
    EXPECT_EQ(fs.AppendToFile(temp.path, "c"), 0);
}

// A day's log can outgrow what a 32-bit offset reaches: lines still go to its end, nothing of it
// is cut, and the 32-bit program (the one handed out) does the same as the 64-bit one.
TEST(FileSystemWin32, AppendGoesToTheEndOfAFilePastFourGiB) {
    TempFolder temp;
    const std::string file = temp.Sub("2026-12-8.log");
    LARGE_INTEGER big{};
    big.QuadPart = (4LL << 30) + 7;  // sparse: no disk space is used for the hole
    {
        HANDLE h = ::CreateFileW(W(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD ignored = 0;
        ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        ASSERT_TRUE(::SetFilePointerEx(h, big, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(h));
        ::CloseHandle(h);
    }
    ASSERT_EQ(SystemFileSystem().AppendToFile(file, "line\r\n"), 1);

    HANDLE h = ::CreateFileW(W(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size{};
    EXPECT_TRUE(::GetFileSizeEx(h, &size));
    EXPECT_EQ(size.QuadPart, big.QuadPart + 6);
    char tail[8] = {};
    DWORD n = 0;
    EXPECT_TRUE(::SetFilePointerEx(h, big, nullptr, FILE_BEGIN));
    EXPECT_TRUE(::ReadFile(h, tail, sizeof tail, &n, nullptr));
    ::CloseHandle(h);
    EXPECT_EQ(std::string(tail, n), "line\r\n");
}

}  // namespace
}  // namespace qzx
