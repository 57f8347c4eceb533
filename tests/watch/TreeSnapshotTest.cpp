#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "watch/TreeSnapshot.h"

namespace qzx {
namespace {

SnapshotEntry File(std::string path, std::uint64_t id, std::uint64_t size = 1, StampNs time = 100) {
    SnapshotEntry e;
    e.path = std::move(path);
    e.fileId = id;
    e.size = size;
    e.modified = time;
    e.changed = time;
    return e;
}

SnapshotEntry Folder(std::string path, std::uint64_t id, bool listed = true) {
    SnapshotEntry e = File(std::move(path), id, 0);
    e.kind = EntryKind::kFolder;
    e.listed = listed;
    return e;
}

EncodedTree Encode(const std::vector<SnapshotEntry>& entries) {
    TreeEncoder encoder('/');
    for (const SnapshotEntry& e : entries) EXPECT_TRUE(encoder.Add(e)) << e.path;
    return encoder.Take();
}

std::vector<std::string> Texts(const ChangeBatch& changes) {
    std::vector<std::string> out;
    for (const ChangeRecord& r : changes) out.push_back(std::to_string(r.action) + " " + r.name);
    return out;
}

// Each difference of two trees becomes the record a live watch would have made.
TEST(TreeSnapshot, CompareTellsEachChange) {
    struct Case {
        const char* what;
        std::vector<SnapshotEntry> before;
        std::vector<SnapshotEntry> after;
        std::vector<std::string> records;
    };
    const std::vector<Case> cases = {
        {"unchanged", {File("a", 1)}, {File("a", 1)}, {}},
        {"made", {File("a", 1)}, {File("a", 1), File("b", 2)}, {"1 b"}},
        {"same size, new time", {File("a", 1, 5, 100)}, {File("a", 1, 5, 200)}, {"3 a"}},
        {"new inode at the path", {File("a", 1)}, {File("a", 9)}, {"3 a"}},
        {"deleted, deepest first",
         {Folder("d", 1), File("d/x", 2), File("e", 3)},
         {File("e", 3)},
         {"2 d/x", "2 d"}},
        {"renamed", {File("a", 1)}, {File("b", 1)}, {"4 a", "5 b"}},
        {"moved to another folder",
         {Folder("p", 1), File("p/f", 5), Folder("q", 2)},
         {Folder("p", 1), Folder("q", 2), File("q/f", 5)},
         {"4 p/f", "5 q/f"}},
        {"a folder renamed carries what it holds",
         {Folder("d", 1), File("d/x", 2), File("d/y", 3, 1, 100)},
         {Folder("e", 1), File("e/x", 2), File("e/y", 3, 7, 300)},
         {"4 d", "5 e", "3 e/y"}},
        {"a deleted file's number given to a new one",
         {File("a", 1, 1, 100)},
         {File("b", 1, 2, 200)},
         {"2 a", "1 b"}},
        {"a folder replaced by a file of its name",
         {Folder("n", 1), File("n/x", 2)},
         {File("n", 3)},
         {"2 n/x", "2 n", "1 n"}},
        {"a folder's own times are no change",
         {Folder("d", 1), File("d/x", 2)},
         {[] {
              SnapshotEntry f = Folder("d", 1);
              f.modified = 999;
              return f;
          }(),
          File("d/x", 2)},
         {}},
        {"nothing is told below a folder that could not be listed",
         {Folder("d", 1), File("d/x", 2)},
         {Folder("d", 1, false)},
         {}},
        {"tree order: a/x before a.b",
         {Folder("a", 1), File("a/x", 2), File("a.b", 3)},
         {Folder("a", 1), File("a.b", 3)},
         {"2 a/x"}},
    };
    for (const Case& c : cases) {
        const TreeDifference d = CompareTrees(Encode(c.before), Encode(c.after), '/');
        EXPECT_EQ(Texts(d.changes), c.records) << c.what;
    }
}

TEST(TreeSnapshot, EncoderRefusesWhatIsOutOfOrder) {
    TreeEncoder encoder('/');
    EXPECT_TRUE(encoder.Add(File("a/x", 1)));
    EXPECT_FALSE(encoder.Add(File("a", 2)));
    EXPECT_FALSE(encoder.Add(File("a/x", 3)));
    EXPECT_FALSE(encoder.Add(File("", 3)));
    EXPECT_TRUE(encoder.Add(File("a.b", 3)));
    EXPECT_EQ(encoder.Count(), 2u);
}

// A damaged file is refused with its reason and never yields an entry; a good one comes back
// whole.
TEST(TreeSnapshot, FileIsCheckedBeforeUse) {
    SnapshotHeader header;
    header.folder = "/w/";
    header.takenAt = 1234;
    header.savedAt = {2026, 12, 10, 9, 5, 3};
    const EncodedTree tree = Encode(
        {Folder("d", 7), File("d/f", 8, 12345, 1'700'000'000'000), File("z", 2, 0, kNoStamp)});
    const std::string good = SnapshotFileBytes(header, tree);

    const LoadedSnapshot loaded = ParseSnapshotFile(good, "/w/", '/');
    ASSERT_EQ(loaded.problem, SnapshotProblem::kNone);
    EXPECT_EQ(loaded.header.takenAt, 1234);
    EXPECT_EQ(loaded.header.savedAt.minute, 5);
    EXPECT_EQ(loaded.tree.bytes, tree.bytes);
    EXPECT_TRUE(CompareTrees(loaded.tree, tree, '/').changes.empty());

    std::string newer = good;
    newer[8] = 2;
    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x10;
    struct Case {
        const char* what;
        std::string bytes;
        std::string folder;
        SnapshotProblem problem;
    };
    const std::vector<Case> cases = {
        {"empty", "", "/w/", SnapshotProblem::kTruncated},
        {"not a snapshot", "hello world, not a snapshot", "/w/", SnapshotProblem::kCorrupt},
        {"another folder", good, "/v/", SnapshotProblem::kOtherFolder},
        {"newer format", newer, "/w/", SnapshotProblem::kNewerFormat},
        {"a byte flipped", flipped, "/w/", SnapshotProblem::kCorrupt},
        {"bytes after the end", good + "x", "/w/", SnapshotProblem::kCorrupt},
    };
    for (const Case& c : cases) {
        const LoadedSnapshot l = ParseSnapshotFile(c.bytes, c.folder, '/');
        EXPECT_EQ(l.problem, c.problem) << c.what;
        EXPECT_EQ(l.tree.count, 0u) << c.what;
    }
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        const SnapshotProblem p = ParseSnapshotFile(good.substr(0, cut), "/w/", '/').problem;
        EXPECT_TRUE(p == SnapshotProblem::kTruncated || p == SnapshotProblem::kCorrupt) << cut;
    }
}

}  // namespace
}  // namespace qzx
