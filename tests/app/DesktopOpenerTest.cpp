// The check that both shells' openers go through before the desktop's "open".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DesktopOpener.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/TestPaths.h"

namespace qzx {
namespace {

using test::NativePath;

// A row's folder that has since become a file, or is gone, reaches the desktop as nothing:
// "open" on a file would run it.
TEST(DesktopOpener, FolderReachesTheDesktopOnlyWhileItIsOne) {
    test::FakeFileSystem files;
    files.folders.insert(NativePath("/data/sub"));
    files.files[NativePath("/data/now-a-file")] = "#!/bin/sh\n";
    test::FakeOpener desktop;
    desktop.refused.insert("https://refused.example/");
    FolderCheckingOpener opener(desktop, files);
    for (const char* folder : {"/data/sub", "/data/now-a-file", "/data/gone"}) {
        opener.OpenFolder(NativePath(folder));
    }
    EXPECT_EQ(desktop.folders, std::vector<std::string>{NativePath("/data/sub")});
    EXPECT_TRUE(opener.OpenUrl("https://a.example/"));
    EXPECT_FALSE(opener.OpenUrl("https://refused.example/"));
    EXPECT_EQ(desktop.urls.size(), 2u);
}

}  // namespace
}  // namespace qzx
