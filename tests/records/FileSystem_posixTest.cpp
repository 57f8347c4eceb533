// The POSIX file operations on real folders: what they do when the disk is full, read-only or
// in the way.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "records/FileSystem.h"
#include "tests/support/TempFolder_posix.h"

namespace qzx {
namespace {

using test::EntryCount;
using test::ReadBytes;
using test::TempFolder;
using test::TmpfsMount;
using test::WriteBytes;

// A folder this process cannot write: permissions for a user, a read-only mount for root.
struct ReadOnlyFolder {
    std::unique_ptr<TmpfsMount> mount;
    std::string path;
    bool ok = false;
    explicit ReadOnlyFolder(const TempFolder& temp) : path(temp.Sub("ro")) {
        if (::geteuid() != 0) {
            ok = ::mkdir(path.c_str(), 0755) == 0 && ::chmod(path.c_str(), 0555) == 0;
            return;
        }
        mount = std::make_unique<TmpfsMount>(path, "size=64k");
        ok = mount->MakeReadOnly();
    }
};

TEST(FileSystemPosix, ExistenceByKind) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    WriteBytes(temp.Sub("f"), "x");
    for (bool asFolder : {true, false}) {
        EXPECT_EQ(fs.PathExistsAs(temp.path, asFolder), asFolder);
        EXPECT_EQ(fs.PathExistsAs(temp.Sub("f"), asFolder), !asFolder);
        EXPECT_FALSE(fs.PathExistsAs(temp.Sub("none"), asFolder));
    }
    EXPECT_FALSE(fs.PathExists(""));

    EXPECT_EQ(fs.MakeFolders(temp.Sub("a/b/c/")), 1);
    EXPECT_TRUE(fs.IsWritableFolder(temp.Sub("a/b/c")));
    EXPECT_EQ(fs.MakeFolders(temp.Sub("f/sub")), 0);
}

// The replaced file changes all at once; nothing of the temporary file stays behind.
TEST(FileSystemPosix, ReplaceSwapsWholeFile) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    const std::string target = temp.Sub("中文.log");
    WriteBytes(target, std::string(1000, 'o'));
    ::chmod(target.c_str(), 0640);
    EXPECT_EQ(fs.ReplaceFile(target, "new\r\n"), 1);
    EXPECT_EQ(ReadBytes(target), "new\r\n");
    EXPECT_EQ(EntryCount(temp.path), 1u);
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (::geteuid() == 0) {
        // Root replacing a user's file hands the new one back to that user.
        ASSERT_EQ(::chown(target.c_str(), 1234, 1234), 0);
        EXPECT_EQ(fs.ReplaceFile(target, "again"), 1);
        ::stat(target.c_str(), &st);
        EXPECT_EQ(st.st_uid, 1234u);
    }

    // A link chosen as the target still leads to its file.
    const std::string link = temp.Sub("link.log");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(fs.ReplaceFile(link, "via link"), 1);
    EXPECT_EQ(ReadBytes(target), "via link");

    EXPECT_EQ(fs.ReplaceFile("", "x"), 0);
}

TEST(FileSystemPosix, ReplaceRefusesFolderAndReadOnlyFolder) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    ::mkdir(temp.Sub("dir").c_str(), 0755);
    EXPECT_EQ(fs.ReplaceFile(temp.Sub("dir"), "x"), 0);
    EXPECT_TRUE(fs.PathExistsAs(temp.Sub("dir"), true));

    ReadOnlyFolder ro(temp);
    if (!ro.ok) GTEST_SKIP() << "no read-only folder can be made here";
    EXPECT_FALSE(fs.IsWritableFolder(ro.path));
    EXPECT_EQ(fs.ReplaceFile(ro.path + "/out.log", "x"), 0);
    EXPECT_EQ(fs.AppendToFile(ro.path + "/out.log", "x"), 0);
    EXPECT_EQ(fs.MakeFolders(ro.path + "/log/"), 0);
}

// A full disk: the export fails and leaves the old file; the log takes back the partial line.
TEST(FileSystemPosix, FullDiskFailsWithoutDamage) {
    TempFolder temp;
    TmpfsMount small(temp.Sub("small"), "size=64k");
    if (!small.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    FileSystem& fs = SystemFileSystem();
    const std::string target = temp.Sub("small/records.log");
    const std::string old(8000, 'o');
    WriteBytes(target, old);

    EXPECT_EQ(fs.ReplaceFile(target, std::string(200000, 'n')), 0);
    EXPECT_EQ(ReadBytes(target), old);
    EXPECT_EQ(EntryCount(temp.Sub("small")), 1u);

    const std::string log = temp.Sub("small/2026-12-7.log");
    EXPECT_EQ(fs.AppendToFile(log, "first line\r\n"), 1);
    EXPECT_EQ(fs.AppendToFile(log, std::string(200000, 'x')), 0);
    EXPECT_EQ(ReadBytes(log), "first line\r\n");
}

}  // namespace
}  // namespace qzx
