// The inotify change source against real temporary folders.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "tests/support/CollectingSink.h"
#include "tests/support/InotifyWatches_linux.h"
#include "tests/watch/ChangeSourceContract.h"
#include "tests/watch/ChangeSourceContract_posix.h"
#include "watch/ChangeSource.h"
#include "watch/InotifySource.h"
#include "watch/TreeLister.h"

namespace qzx {
namespace {

namespace fs = std::filesystem;

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/qzx-inotify-XXXXXX";
        if (::mkdtemp(pattern)) path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) {
            ::chmod(path.c_str(), 0700);
            fs::remove_all(path, ignored);
        }
    }
    std::string path;  // without a trailing "/"
};

using test::Touch;

class InotifySource : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        ASSERT_FALSE(outside.path.empty());
        source = CreateInotifySource();
    }
    void TearDown() override { source->Stop(); }

    std::string At(const std::string& name) const { return dir.path + "/" + name; }
    bool StartWatching() { return source->Start(dir.path + "/", sink); }

    TempDir dir;
    TempDir outside;
    CollectingSink sink;
    std::unique_ptr<ChangeSource> source;
};

TEST_F(InotifySource, CreateModifyDeleteInOrder) {
    ASSERT_TRUE(StartWatching());
    Touch(At("a.txt"));
    ASSERT_TRUE(sink.Has(1, "a.txt"));
    Touch(At("a.txt"), "more");
    ASSERT_TRUE(sink.Has(3, "a.txt"));
    ASSERT_EQ(::unlink(At("a.txt").c_str()), 0);
    ASSERT_TRUE(sink.Has(2, "a.txt"));
    auto s = sink.Snapshot();
    EXPECT_EQ(s.texts.front(), "1 a.txt");
    EXPECT_EQ(s.texts.back(), "2 a.txt");
    EXPECT_EQ(s.overflows, 0);
}

// Changes of attributes and ownership, and a new time set without writing, are modifications,
// of files and of folders alike.
TEST_F(InotifySource, AttributeAndOwnerChangesAreModifications) {
    Touch(At("a.txt"));
    ASSERT_EQ(::mkdir(At("d").c_str(), 0755), 0);
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ready > 0; }));
    ASSERT_EQ(::chmod(At("a.txt").c_str(), 0600), 0);
    ASSERT_TRUE(sink.Has(3, "a.txt"));
    ASSERT_EQ(::chown(At("d").c_str(), ::getuid(), ::getgid()), 0);
    ASSERT_TRUE(sink.Has(3, "d"));
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, At("a.txt").c_str(), times, 0), 0);
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) {
        return std::count(s.texts.begin(), s.texts.end(), "3 a.txt") == 2;
    }));
    EXPECT_THAT(sink.Snapshot().texts, ::testing::ElementsAre("3 a.txt", "3 d", "3 a.txt"));
}

// A rename inside the tree is one old-name record directly followed by its new name.
TEST_F(InotifySource, RenameWithinTreeIsOnePair) {
    Touch(At("a.txt"));
    ASSERT_TRUE(StartWatching());
    ASSERT_EQ(::rename(At("a.txt").c_str(), At("b.txt").c_str()), 0);
    ASSERT_TRUE(sink.Has(5, "b.txt"));
    auto s = sink.Snapshot();
    EXPECT_THAT(s.texts, ::testing::ElementsAre("4 a.txt", "5 b.txt"));
    EXPECT_EQ(s.batches.size(), 1u);
}

TEST_F(InotifySource, MovesAcrossTheEdgeAreAddAndRemove) {
    Touch(outside.path + "/in.txt");
    Touch(At("out.txt"));
    ASSERT_TRUE(StartWatching());
    ASSERT_EQ(::rename((outside.path + "/in.txt").c_str(), At("in.txt").c_str()), 0);
    ASSERT_TRUE(sink.Has(1, "in.txt"));
    ASSERT_EQ(::rename(At("out.txt").c_str(), (outside.path + "/out.txt").c_str()), 0);
    ASSERT_TRUE(sink.Has(2, "out.txt"));
    EXPECT_THAT(sink.Snapshot().texts, ::testing::ElementsAre("1 in.txt", "2 out.txt"));
}

// A tree moved in is reported entry by entry, each once, and is watched to its bottom.
TEST_F(InotifySource, TreeMovedInIsReportedAsAdded) {
    fs::create_directories(outside.path + "/t/s/u");
    Touch(outside.path + "/t/a.txt");
    Touch(outside.path + "/t/s/b.txt");
    Touch(outside.path + "/t/s/u/c.txt");
    ASSERT_TRUE(StartWatching());
    ASSERT_EQ(::rename((outside.path + "/t").c_str(), At("t").c_str()), 0);
    ASSERT_TRUE(sink.Has(1, "t/s/u/c.txt"));
    Touch(At("t/s/u/d.txt"));
    ASSERT_TRUE(sink.Has(1, "t/s/u/d.txt"));
    auto s = sink.Snapshot();
    EXPECT_THAT(s.texts,
                ::testing::UnorderedElementsAre("1 t", "1 t/a.txt", "1 t/s", "1 t/s/b.txt",
                                                "1 t/s/u", "1 t/s/u/c.txt", "1 t/s/u/d.txt"));
}

// Files made in a folder straight after the folder itself, before it can be watched, still
// arrive, and each once.
TEST_F(InotifySource, NewFoldersLoseNothing) {
    ASSERT_TRUE(StartWatching());
    std::set<std::string> expected;
    for (int i = 0; i < 20; ++i) {
        std::string folder = "n" + std::to_string(i);
        ASSERT_EQ(::mkdir(At(folder).c_str(), 0755), 0);
        expected.insert("1 " + folder);
        for (int j = 0; j < 5; ++j) {
            std::string file = folder + "/f" + std::to_string(j);
            Touch(At(file));
            expected.insert("1 " + file);
        }
    }
    ASSERT_TRUE(sink.WaitFor([&](const CollectingSink::State& s) {
        std::set<std::string> seen(s.texts.begin(), s.texts.end());
        return std::includes(seen.begin(), seen.end(), expected.begin(), expected.end());
    }));
    auto s = sink.Snapshot();
    for (const std::string& text : expected) EXPECT_EQ(CountOf(s, text), 1) << text;
}

TEST_F(InotifySource, RenamedFolderReportsNewPaths) {
    ASSERT_TRUE(StartWatching());
    fs::create_directories(At("d/e"));
    ASSERT_TRUE(sink.Has(1, "d/e"));
    ASSERT_EQ(::rename(At("d").c_str(), At("d2").c_str()), 0);
    Touch(At("d2/e/x.txt"));
    ASSERT_TRUE(sink.Has(1, "d2/e/x.txt"));
    auto s = sink.Snapshot();
    auto old = std::find(s.texts.begin(), s.texts.end(), "4 d");
    ASSERT_NE(old, s.texts.end());
    ASSERT_NE(old + 1, s.texts.end());
    EXPECT_EQ(*(old + 1), "5 d2");
}

TEST_F(InotifySource, RawByteNamesArriveWhole) {
    ASSERT_TRUE(StartWatching());
    ASSERT_EQ(::mkdir(At("sub").c_str(), 0755), 0);
    ASSERT_TRUE(sink.Has(1, "sub"));
    const std::string invalid = "bad\xff\xfe\xc3(name";
    const std::string longest(255, 'L');
    Touch(At("sub/" + invalid));
    Touch(At("sub/" + longest));
    EXPECT_TRUE(sink.Has(1, "sub/" + invalid));
    EXPECT_TRUE(sink.Has(1, "sub/" + longest));
}

TEST_F(InotifySource, StartRefusesUnreadableFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    ASSERT_EQ(::mkdir(At("locked").c_str(), 0), 0);
    EXPECT_FALSE(source->Start(At("locked") + "/", sink));
}

// An unreadable subfolder is left out with a warning; the rest of the tree is watched.
TEST_F(InotifySource, UnreadableSubfolderWarnsAndRestIsWatched) {
    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    ASSERT_EQ(::mkdir(At("locked").c_str(), 0), 0);
    ASSERT_EQ(::mkdir(At("open").c_str(), 0755), 0);
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return !s.warnings.empty(); }));
    auto s = sink.Snapshot();
    EXPECT_EQ(s.warnings[0].first, WatchWarning::UnreadableFolder);
    EXPECT_EQ(s.warnings[0].second, "locked");
    // The walk may reach "open" a moment after the warning; a later probe is then seen.
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        Touch(At("open/probe" + std::to_string(i)));
        seen = sink.WaitFor([](const CollectingSink::State& s) { return !s.texts.empty(); },
                            std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(seen);
}

std::shared_ptr<const IgnoreRules> RulesOf(const std::vector<std::string>& lines) {
    auto rules = std::make_shared<IgnoreRules>();
    EXPECT_TRUE(rules->AddLines(lines).empty());
    return rules;
}

// The source's thread applies a new list a moment after it is set; the kernel's count shows when.
bool WatchesBecome(int count) {
    for (int i = 0; i < 500; ++i) {
        if (InotifyWatches() == count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A folder the rules skip costs no watch, whether it was there at Start or made after it with
// files in it at once, while a kept folder beside it gives every row; a new list that keeps it
// watches it from then on (what it held before is no row), and one that skips a watched folder
// gives its watch back.
TEST_F(InotifySource, SkippedFoldersCostNoWatchUntilTheListKeepsThem) {
    fs::create_directories(At("pre/skip/deep"));
    Touch(At("pre/skip/old.txt"));
    source->SetIgnoreRules(RulesOf({"skip/"}));
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ready > 0; }));
    const int atStart = InotifyWatches();
    EXPECT_EQ(atStart, 2) << "the watched folder and pre";

    ASSERT_EQ(::mkdir(At("skip").c_str(), 0755), 0);
    for (int i = 0; i < 5; ++i) Touch(At("skip/f" + std::to_string(i)));
    ASSERT_EQ(::mkdir(At("keep").c_str(), 0755), 0);
    for (int i = 0; i < 5; ++i) Touch(At("keep/f" + std::to_string(i)));
    Touch(At("mark1"));
    ASSERT_TRUE(sink.Has(1, "mark1"));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(sink.Has(1, "keep/f" + std::to_string(i))) << i;
    EXPECT_EQ(InotifyWatches(), atStart + 1) << "keep only";

    // Nothing under a skipped folder was seen; the rest of the tree still is, once each.
    auto underSkip = [](const CollectingSink::State& s) {
        return std::count_if(s.texts.begin(), s.texts.end(), [](const std::string& t) {
            return t.find(" skip/") != std::string::npos || t.find("/skip/") != std::string::npos;
        });
    };
    EXPECT_EQ(underSkip(sink.Snapshot()), 0);

    // Kept again: skip, pre/skip and pre/skip/deep are watched, their old files no row.
    source->SetIgnoreRules(RulesOf({"*.tmp"}));
    ASSERT_TRUE(WatchesBecome(atStart + 4)) << InotifyWatches();
    Touch(At("skip/after.txt"));
    Touch(At("pre/skip/deep/after.txt"));
    Touch(At("mark2"));
    EXPECT_TRUE(sink.Has(1, "skip/after.txt"));
    EXPECT_TRUE(sink.Has(1, "pre/skip/deep/after.txt"));
    ASSERT_TRUE(sink.Has(1, "mark2"));
    EXPECT_EQ(underSkip(sink.Snapshot()), 2);

    // Skipped now: keep's watch goes, and so do its later changes.
    source->SetIgnoreRules(RulesOf({"/keep/"}));
    ASSERT_TRUE(WatchesBecome(atStart + 3)) << InotifyWatches();
    Touch(At("keep/late.txt"));
    Touch(At("mark3"));
    ASSERT_TRUE(sink.Has(1, "mark3"));
    auto s = sink.Snapshot();
    EXPECT_EQ(CountOf(s, "1 keep/late.txt"), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(CountOf(s, "1 keep/f" + std::to_string(i)), 1) << i;
}

// The set-up walk's listing, shared for a snapshot, is the one the snapshot's own listing makes
// of the same tree, entry for entry: kinds, sizes, times, inodes, the skipped folder left out.
TEST_F(InotifySource, SharedSetUpListingIsTheSnapshotListing) {
    fs::create_directories(At("a/b/c"));
    fs::create_directories(At("a/skip/deep"));
    Touch(At("a/skip/deep/x"));
    for (const char* name : {"top.txt", "a/one", "a/b/two", "a/b/c/three"}) Touch(At(name));
    ASSERT_EQ(::truncate(At("a/b/two").c_str(), 12345), 0);
    ASSERT_EQ(::symlink("a/b", At("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(At("a/pipe").c_str(), 0600), 0);
    const auto rules = RulesOf({"skip/"});
    std::mutex mutex;
    std::unique_ptr<GatheredTree> shared;
    source->SetIgnoreRules(rules);
    source->ShareSetUpListing([&](std::unique_ptr<GatheredTree> listing) {
        std::lock_guard<std::mutex> lock(mutex);
        shared = std::move(listing);
    });
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ready > 0; }));
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_TRUE(shared) << "handed over before OnReady";
    const std::atomic<bool> cancel{false};
    const TreeListing walked = shared->Take(rules.get(), '/', cancel);
    const TreeListing listed = ListTree(dir.path + "/", rules.get(), cancel);
    ASSERT_TRUE(walked.complete);
    ASSERT_TRUE(listed.complete);
    TreeReader a(walked.tree), b(listed.tree);
    SnapshotEntry x, y;
    std::size_t entries = 0;
    while (b.Next(y)) {
        ASSERT_TRUE(a.Next(x)) << "missing " << y.path;
        ++entries;
        EXPECT_EQ(x.path, y.path);
        EXPECT_EQ(x.kind, y.kind) << y.path;
        EXPECT_EQ(x.size, y.size) << y.path;
        EXPECT_EQ(x.modified, y.modified) << y.path;
        EXPECT_EQ(x.changed, y.changed) << y.path;
        EXPECT_EQ(x.fileId, y.fileId) << y.path;
        EXPECT_EQ(x.listed, y.listed) << y.path;
    }
    EXPECT_FALSE(a.Next(x)) << "more than listed: " << x.path;
    EXPECT_EQ(entries, 9u) << "top.txt link a a/one a/pipe a/b a/b/two a/b/c a/b/c/three, skip";
}

// The contract of every source, over a folder under /tmp.
struct InotifyContract : test::PosixContract {
    struct Place {
        TempDir dir;
        std::string problem = dir.path.empty() ? "no folder under /tmp" : "";
        std::string folder = dir.path;
    };
    using Source = ChangeSource;
    static std::unique_ptr<Source> Make() { return CreateInotifySource(); }
    static long QueueLimit() { return LimitIn("/proc/sys/fs/inotify/max_queued_events"); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(InotifySource, ChangeSourceContract, InotifyContract);

}  // namespace
}  // namespace qzx
