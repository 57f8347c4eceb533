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

}  // namespace
}  // namespace qzx
