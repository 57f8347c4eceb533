// The ignore list on a real disk: where Linux keeps it, the one-step write, and what reading
// odd files gives.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "records/IgnoreFile.h"
#include "records/UserFolders_linux.h"
#include "tests/support/TempFolder_posix.h"

namespace qzx {
namespace {

using test::EntryCount;
using test::ReadBytes;
using test::TempFolder;
using test::TmpfsMount;
using test::WriteBytes;

// Sets an environment variable for the test's length and puts the old value back.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::string& value) : name(name) {
        const char* old = ::getenv(name);
        had = old != nullptr;
        if (had) oldValue = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (had) {
            ::setenv(name, oldValue.c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

  private:
    const char* name;
    bool had = false;
    std::string oldValue;
};

TEST(IgnoreFileLinux, SettingsFolderFollowsTheConfigDirectory) {
    EXPECT_EQ(UserConfigFolder("/x/config", "/home/u"), "/x/config/qzxfile/");
    EXPECT_EQ(UserConfigFolder("/x/config/", "/home/u"), "/x/config/qzxfile/");
    EXPECT_EQ(UserConfigFolder("", "/home/u"), "/home/u/.config/qzxfile/");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(UserConfigFolder("config", "/home/u/"), "/home/u/.config/qzxfile/");
    EXPECT_EQ(UserConfigFolder("", "relative"), "");

    ScopedVariable config("XDG_CONFIG_HOME", "/x/设置");
    EXPECT_EQ(SystemIgnoreFile().path, "/x/设置/qzxfile/ignore");
    EXPECT_EQ(SystemIgnoreFile().lineEnd, "\n");
    ScopedVariable unset("XDG_CONFIG_HOME", "");
    ScopedVariable home("HOME", "/home/用户");
    EXPECT_EQ(SystemIgnoreFile().path, "/home/用户/.config/qzxfile/ignore");
}

// The folder is made on the first write, and each write leaves exactly the one file.
TEST(IgnoreFileLinux, WritesInOneStepAndReadsBack) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    const IgnoreFilePlace place{temp.Sub("config/qzxfile/ignore"), "\n"};
    ASSERT_EQ(WritePatternFile(fs, place, {"*.tmp", "build/"}), 1);
    EXPECT_EQ(ReadBytes(place.path), "*.tmp\nbuild/\n");
    ASSERT_EQ(WritePatternFile(fs, place, {"*.swp"}), 1);
    EXPECT_EQ(ReadBytes(place.path), "*.swp\n");
    EXPECT_EQ(EntryCount(temp.Sub("config/qzxfile")), 1u);

    const PatternFileText back = ReadPatternFile(fs, place.path);
    EXPECT_EQ(back.result, ReadResult::kRead);
    EXPECT_EQ(back.lines, std::vector<std::string>{"*.swp"});
}

TEST(IgnoreFileLinux, ReadingOddFilesIsAResult) {
    TempFolder temp;
    const FileSystem& fs = SystemFileSystem();
    EXPECT_EQ(ReadPatternFile(fs, temp.Sub("none")).result, ReadResult::kMissing);
    EXPECT_EQ(ReadPatternFile(fs, temp.path).result, ReadResult::kFailed);
    EXPECT_EQ(ReadPatternFile(fs, "").result, ReadResult::kFailed);

    WriteBytes(temp.Sub("big"), std::string(kMaxPatternFileBytes + 1, '#'));
    EXPECT_EQ(ReadPatternFile(fs, temp.Sub("big")).result, ReadResult::kTooLarge);
    WriteBytes(temp.Sub("exact"), std::string(kMaxPatternFileBytes, '#'));
    EXPECT_EQ(ReadPatternFile(fs, temp.Sub("exact")).result, ReadResult::kRead);
    // A device that never ends is refused once the limit is passed.
    EXPECT_EQ(ReadPatternFile(fs, "/dev/zero").result, ReadResult::kTooLarge);

    WriteBytes(temp.Sub("secret"), "*.tmp\n");
    ::chmod(temp.Sub("secret").c_str(), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(ReadPatternFile(fs, temp.Sub("secret")).result, ReadResult::kFailed);
    }
}

// A settings folder that cannot be written (for root: a read-only mount): the write fails and
// the old list stays.
TEST(IgnoreFileLinux, FailedWriteKeepsTheOldList) {
    TempFolder temp;
    FileSystem& fs = SystemFileSystem();
    // A file where the settings folder should be.
    WriteBytes(temp.Sub("blocked"), "x");
    EXPECT_EQ(WritePatternFile(fs, {temp.Sub("blocked/qzxfile/ignore"), "\n"}, {"*.tmp"}), 0);

    const std::string folder = temp.Sub("qzxfile");
    const IgnoreFilePlace place{folder + "/ignore", "\n"};
    std::unique_ptr<TmpfsMount> mount;
    if (::geteuid() == 0) {
        mount = std::make_unique<TmpfsMount>(folder, "size=64k");
        if (!mount->Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    ASSERT_EQ(WritePatternFile(fs, place, {"*.tmp"}), 1);
    if (mount) {
        ASSERT_TRUE(mount->MakeReadOnly());
    } else {
        ::chmod(folder.c_str(), 0555);
    }
    EXPECT_EQ(WritePatternFile(fs, place, {"*.log"}), 0);
    EXPECT_EQ(ReadBytes(place.path), "*.tmp\n");
    if (!mount) ::chmod(folder.c_str(), 0755);
}

}  // namespace
}  // namespace qzx
