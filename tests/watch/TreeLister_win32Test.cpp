// The Windows listing on a real folder: file IDs, sizes and times from the listing itself, so
// that a rename while stopped is told as one, and a skipped folder is left out.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/TempFolder_win32.h"
#include "watch/TreeLister.h"

namespace qzx {
namespace {

void Write(const std::string& path, const std::string& text) {
    HANDLE file = ::CreateFileW(test::W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::vector<std::string> Texts(const ChangeBatch& changes) {
    std::vector<std::string> out;
    for (const ChangeRecord& r : changes) out.push_back(std::to_string(r.action) + " " + r.name);
    return out;
}

TEST(TreeLister_win32, ListingTellsRenamesByFileId) {
    test::TempFolder temp;
    ASSERT_FALSE(temp.path.empty());
    const std::string root = temp.path + "\\";
    ::CreateDirectoryW(test::W(root + "sub").c_str(), nullptr);
    ::CreateDirectoryW(test::W(root + "skipped").c_str(), nullptr);
    Write(root + "sub\\old.txt", "12345");
    Write(root + "gone.txt", "1");
    Write(root + "skipped\\a", "1");
    IgnoreRules rules;
    ASSERT_FALSE(rules.AddLine("skipped/"));
    const std::atomic<bool> never{false};

    const TreeListing before = ListTree(root, &rules, never);
    ASSERT_TRUE(before.complete);
    ASSERT_EQ(before.tree.count, 3u);  // gone.txt, sub, sub\old.txt
    TreeReader reader(before.tree);
    SnapshotEntry entry;
    while (reader.Next(entry)) {
        EXPECT_NE(entry.fileId, 0u) << entry.path;
        EXPECT_NE(entry.modified, kNoStamp) << entry.path;
        if (entry.path == "sub\\old.txt") {
            EXPECT_EQ(entry.size, 5u);
        }
    }

    ASSERT_TRUE(
        ::MoveFileW(test::W(root + "sub\\old.txt").c_str(), test::W(root + "new.txt").c_str()));
    ::DeleteFileW(test::W(root + "gone.txt").c_str());
    const TreeListing after = ListTree(root, &rules, never);
    ASSERT_TRUE(after.complete);
    const std::vector<std::string> expected = {"2 gone.txt", "4 sub\\old.txt", "5 new.txt"};
    EXPECT_EQ(Texts(CompareTrees(before.tree, after.tree).changes), expected);
}

}  // namespace
}  // namespace qzx
