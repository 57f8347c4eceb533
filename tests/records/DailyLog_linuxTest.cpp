// The user's log folder as Linux finds it.
#include <gtest/gtest.h>

#include "records/DailyLog_linux.h"

namespace qzx {
namespace {

TEST(DailyLogLinux, UserFolderFollowsTheStateDirectory) {
    EXPECT_EQ(UserLogDirectory("/x/state", "/home/u"), "/x/state/qzxfile/log/");
    EXPECT_EQ(UserLogDirectory("/x/state/", "/home/u"), "/x/state/qzxfile/log/");
    EXPECT_EQ(UserLogDirectory("", "/home/u"), "/home/u/.local/state/qzxfile/log/");
    // A relative XDG_STATE_HOME is invalid and ignored.
    EXPECT_EQ(UserLogDirectory("state", "/home/u"), "/home/u/.local/state/qzxfile/log/");
    EXPECT_EQ(UserLogDirectory("", ""), "");
}

// An installed copy, root's included, never makes a log folder among the programs.
TEST(DailyLogLinux, ProgramFoldersLeaveTheLogToTheUser) {
    const struct {
        const char* executableFolder;
        const char* logModuleFolder;
    } cases[] = {
        {"/usr/bin/", ""},
        {"/usr/local/sbin/", ""},
        {"/home/u/.local/bin/", ""},
        {"/usr/bin", ""},
        {"/home/u/qzxfile/build/app/qt/", "/home/u/qzxfile/build/app/qt/"},
        {"/opt/bin-tools/", "/opt/bin-tools/"},
        {"/srv/cabin/", "/srv/cabin/"},
        {"/", "/"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogModuleFolder(c.executableFolder), c.logModuleFolder) << c.executableFolder;
    }
}

}  // namespace
}  // namespace qzx
