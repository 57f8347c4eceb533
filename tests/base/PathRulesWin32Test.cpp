// The path rules of base/ with the paths a Windows user has: drive letters, shares and "\".
#include <gtest/gtest.h>

#include "base/PathRules.h"

namespace qzx {
namespace {

TEST(PathRules, WindowsAbsoluteFoldersAndTrailingSeparator) {
    for (const char* path : {"C:\\data", "c:", "\\\\server\\share"}) {
        EXPECT_TRUE(IsAbsolutePath(path)) << path;
    }
    for (const char* path : {"data", "", "\\data"}) EXPECT_FALSE(IsAbsolutePath(path)) << path;
    EXPECT_EQ(WithTrailingSeparator("D:\\data"), "D:\\data\\");
    EXPECT_EQ(WithTrailingSeparator("D:\\data\\"), "D:\\data\\");
}

}  // namespace
}  // namespace qzx
