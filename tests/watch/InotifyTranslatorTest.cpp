// The translation of inotify events, fed with made-up events and a made-up folder tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <cerrno>
#include <map>

#include "tests/support/CollectingSink.h"
#include "watch/InotifyTranslator.h"

namespace qzx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kRoot = 1;

// Folders by path; a path keeps its descriptor, as an inode keeps its watch.
class FakeDirectories : public DirectoryAccess {
  public:
    std::map<std::string, std::vector<DirectoryEntry>> listings;
    std::map<std::string, int> addErrors;
    std::map<std::string, int> wds;
    std::vector<int> removed;
    int next = 2;

    int AddWatch(const std::string& path) override {
        auto error = addErrors.find(path);
        if (error != addErrors.end()) return -error->second;
        auto it = wds.find(path);
        if (it != wds.end()) return it->second;
        return wds[path] = next++;
    }
    void RemoveWatch(int wd) override { removed.push_back(wd); }
    int ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries,
                      bool withTimes) override {
        auto it = listings.find(path);
        if (it != listings.end()) entries = it->second;
        if (!withTimes) {
            for (DirectoryEntry& entry : entries) entry.changed = entry.born = kNoTime;
        }
        timesAsked.push_back(withTimes);
        return 0;
    }
    FileTime Now() override { return now; }
    std::vector<bool> timesAsked;
    FileTime now = 0;
};

InotifyEvent Event(int wd, std::uint32_t mask, std::string_view name, std::uint32_t cookie = 0) {
    return InotifyEvent{wd, mask, cookie, name};
}

class InotifyTranslatorTest : public ::testing::Test {
  protected:
    InotifyTranslatorTest() { translator.Begin(kRoot); }

    void Settle() {
        while (translator.HasPendingWork()) translator.DoPendingWork(1000);
    }
    std::vector<std::string> Texts() { return sink.Snapshot().texts; }
    std::size_t Batches() { return sink.Snapshot().batches.size(); }

    FakeDirectories fs;
    CollectingSink sink;
    InotifyTranslator translator{fs, sink};
};

// Each kind of event becomes its action, named relative to the root and joined with "/".
TEST_F(InotifyTranslatorTest, KindsAndRelativeNames) {
    fs.listings[""] = {{"sub", true}};
    Settle();
    const int sub = fs.wds.at("sub");
    ASSERT_TRUE(translator.HandleEvents({
        Event(kRoot, IN_CREATE, "a.txt"),
        Event(sub, IN_MODIFY, "x.txt"),
        Event(sub, IN_ATTRIB, "x.txt"),
        Event(kRoot, IN_DELETE, "a.txt"),
        Event(kRoot, IN_ATTRIB, ""),  // the folder's own change is no entry below it
        Event(sub, IN_ATTRIB | IN_ISDIR, ""),
    }));
    EXPECT_THAT(Texts(), ElementsAre("1 a.txt", "3 sub/x.txt", "3 sub/x.txt", "2 a.txt"));
    EXPECT_EQ(Batches(), 1u);
}

TEST_F(InotifyTranslatorTest, MoveHalvesPairInOneReadOrAcrossTwo) {
    translator.HandleEvents(
        {Event(kRoot, IN_MOVED_FROM, "a", 7), Event(kRoot, IN_MOVED_TO, "b", 7)});
    EXPECT_THAT(Texts(), ElementsAre("4 a", "5 b"));

    translator.HandleEvents({Event(kRoot, IN_CREATE, "c"), Event(kRoot, IN_MOVED_FROM, "c", 8)});
    EXPECT_TRUE(translator.HasHeldMove());
    translator.HandleEvents({Event(kRoot, IN_MOVED_TO, "d", 8)});
    EXPECT_FALSE(translator.HasHeldMove());
    auto state = sink.Snapshot();
    ASSERT_EQ(state.batches.size(), 3u);
    EXPECT_EQ(state.batches[2].size(), 2u);  // both halves travel together
    EXPECT_THAT(state.texts, ElementsAre("4 a", "5 b", "1 c", "4 c", "5 d"));
}

// An unpaired first half becomes a removal, and stays in order before what follows it.
TEST_F(InotifyTranslatorTest, UnpairedHalvesAreRemovalAndAddition) {
    translator.HandleEvents({Event(kRoot, IN_MOVED_FROM, "a", 5)});
    translator.HandleEvents({Event(kRoot, IN_CREATE, "a"), Event(kRoot, IN_MOVED_TO, "b", 6)});
    translator.HandleEvents({Event(kRoot, IN_MOVED_FROM, "c", 9)});
    translator.ReleaseHeldMove();
    EXPECT_THAT(Texts(), ElementsAre("2 a", "1 a", "1 b", "2 c"));
}

// A renamed folder keeps its watches; what happens inside it carries the new path.
TEST_F(InotifyTranslatorTest, RenamedFolderPathsFollow) {
    fs.listings[""] = {{"d", true}};
    fs.listings["d"] = {{"e", true}};
    Settle();
    const int d = fs.wds.at("d");
    const int e = fs.wds.at("d/e");
    translator.HandleEvents({Event(kRoot, IN_MOVED_FROM | IN_ISDIR, "d", 3),
                             Event(kRoot, IN_MOVED_TO | IN_ISDIR, "d2", 3),
                             Event(e, IN_CREATE, "x"), Event(d, IN_DELETE, "y")});
    EXPECT_THAT(Texts(), ElementsAre("4 d", "5 d2", "1 d2/e/x", "2 d2/y"));
    EXPECT_EQ(translator.PathOf(e), "d2/e/");
}

// A folder moved out is no longer watched: its watches go and its late events are ignored.
TEST_F(InotifyTranslatorTest, FolderMovedOutIsForgotten) {
    fs.listings[""] = {{"d", true}};
    fs.listings["d"] = {{"e", true}};
    Settle();
    const int d = fs.wds.at("d");
    const int e = fs.wds.at("d/e");
    translator.HandleEvents(
        {Event(kRoot, IN_MOVED_FROM | IN_ISDIR, "d", 3), Event(e, IN_CREATE, "late")});
    EXPECT_THAT(Texts(), ElementsAre("2 d"));
    EXPECT_THAT(fs.removed, ::testing::UnorderedElementsAre(d, e));
    EXPECT_EQ(translator.WatchedCount(), 1u);
}

// What a new folder holds is reported once, whether its listing or its own events see it first.
TEST_F(InotifyTranslatorTest, NewFolderContentsReportedOnce) {
    fs.listings["n"] = {{"early.txt", false}, {"both.txt", false}, {"s", true}};
    fs.listings["n/s"] = {{"deep.txt", false}};
    translator.HandleEvents({Event(kRoot, IN_CREATE | IN_ISDIR, "n")});
    const int n = fs.wds.at("n");
    // An event read before the listing ran.
    translator.HandleEvents({Event(n, IN_CREATE, "early.txt")});
    Settle();
    // Events queued while the listing ran: a repeat, a new file, and a removal.
    translator.HandleEvents({Event(n, IN_CREATE, "both.txt"), Event(n, IN_CREATE | IN_ISDIR, "s"),
                             Event(n, IN_CREATE, "late.txt"), Event(n, IN_DELETE, "both.txt")});
    translator.OnQueueEmpty();
    // Once the queue was seen empty, a name may come and go again.
    translator.HandleEvents({Event(n, IN_CREATE, "both.txt")});
    EXPECT_THAT(Texts(),
                ElementsAre("1 n", "1 n/early.txt", "1 n/both.txt", "1 n/s", "1 n/s/deep.txt",
                            "1 n/late.txt", "2 n/both.txt", "1 n/both.txt"));
}

// A folder the set-up walk already watched is still reported in full when its creation is read.
TEST_F(InotifyTranslatorTest, FolderCreatedDuringSetUpIsReported) {
    fs.listings[""] = {{"n", true}};
    fs.listings["n"] = {{"f", false}};
    Settle();
    EXPECT_THAT(Texts(), IsEmpty());
    translator.HandleEvents({Event(kRoot, IN_CREATE | IN_ISDIR, "n")});
    Settle();
    EXPECT_THAT(Texts(), ElementsAre("1 n", "1 n/f"));
}

// A new folder renamed before its watch could be set up is watched, and reported, where it went.
TEST_F(InotifyTranslatorTest, NewFolderRenamedBeforeItsWatch) {
    fs.addErrors["d"] = ENOENT;
    fs.listings["e"] = {{"f", false}};
    translator.HandleEvents({Event(kRoot, IN_CREATE | IN_ISDIR, "d"),
                             Event(kRoot, IN_MOVED_FROM | IN_ISDIR, "d", 2),
                             Event(kRoot, IN_MOVED_TO | IN_ISDIR, "e", 2)});
    Settle();
    EXPECT_THAT(Texts(), ElementsAre("1 d", "4 d", "5 e", "1 e/f"));
    EXPECT_EQ(translator.PathOf(fs.wds.at("e")), "e/");
}

TEST_F(InotifyTranslatorTest, OverflowIsReportedBetweenBatchesWithoutRecords) {
    translator.HandleEvents(
        {Event(kRoot, IN_CREATE, "a"), Event(-1, IN_Q_OVERFLOW, ""), Event(kRoot, IN_CREATE, "b")});
    auto state = sink.Snapshot();
    EXPECT_EQ(state.overflows, 1);
    ASSERT_EQ(state.batches.size(), 2u);
    EXPECT_THAT(state.texts, ElementsAre("1 a", "1 b"));
    // Folders missed while events were lost get their watches on the walk that follows.
    fs.listings[""] = {{"missed", true}};
    Settle();
    EXPECT_EQ(translator.PathOf(fs.wds.at("missed")), "missed/");
}

TEST_F(InotifyTranslatorTest, RootGoneEndsAfterFlushingRecords) {
    EXPECT_FALSE(
        translator.HandleEvents({Event(kRoot, IN_DELETE, "a"), Event(kRoot, IN_MOVED_FROM, "b", 4),
                                 Event(kRoot, IN_DELETE_SELF, "")}));
    EXPECT_THAT(Texts(), ElementsAre("2 a", "2 b"));
}

// Folders that cannot be watched are skipped with a warning; the watch limit warns only once.
TEST_F(InotifyTranslatorTest, UnwatchableFoldersWarnAndAreSkipped) {
    fs.listings[""] = {
        {"locked", true}, {"full1", true}, {"full2", true}, {"ok", true}, {"gone", true}};
    fs.addErrors["locked"] = EACCES;
    fs.addErrors["full1"] = ENOSPC;
    fs.addErrors["full2"] = ENOSPC;
    fs.addErrors["gone"] = ENOENT;
    Settle();
    auto state = sink.Snapshot();
    ASSERT_EQ(state.warnings.size(), 2u);
    EXPECT_EQ(
        state.warnings[0].second == "locked" ? state.warnings[1].first : state.warnings[0].first,
        WatchWarning::WatchLimit);
    bool lockedWarned = false;
    for (const auto& warning : state.warnings) {
        if (warning.first == WatchWarning::UnreadableFolder)
            lockedWarned = warning.second == "locked";
    }
    EXPECT_TRUE(lockedWarned);
    EXPECT_EQ(translator.WatchedCount(), 2u);  // the root and "ok"
}

std::shared_ptr<const IgnoreRules> RulesOf(const std::vector<std::string>& lines) {
    auto rules = std::make_shared<IgnoreRules>();
    EXPECT_TRUE(rules->AddLines(lines).empty());
    return rules;
}

// Renames across the edge of what the rules skip: a watched folder moved to a skipped name
// gives its watches back, a skipped one moved to a kept name is watched (what a folder made
// after the start held is new), and a new list swaps which of them are watched.
TEST_F(InotifyTranslatorTest, RenamesAndListChangesAcrossSkippedFolders) {
    translator.SetIgnoreRules(RulesOf({"*.off/"}));
    fs.listings[""] = {{"d", true}, {"x.off", true}};
    fs.listings["d"] = {{"e", true}};
    fs.listings["x"] = {{"in", true}};
    fs.listings["n"] = {{"a.txt", false}};
    fs.listings["d.off"] = {{"e", true}};
    Settle();
    EXPECT_EQ(fs.wds.count("x.off"), 0u);
    const int d = fs.wds.at("d");
    const int e = fs.wds.at("d/e");

    translator.HandleEvents({Event(kRoot, IN_MOVED_FROM | IN_ISDIR, "d", 3),
                             Event(kRoot, IN_MOVED_TO | IN_ISDIR, "d.off", 3),
                             Event(e, IN_CREATE, "late")});
    EXPECT_THAT(fs.removed, ::testing::UnorderedElementsAre(d, e));
    translator.HandleEvents({Event(kRoot, IN_MOVED_FROM | IN_ISDIR, "x.off", 4),
                             Event(kRoot, IN_MOVED_TO | IN_ISDIR, "x", 4),
                             Event(kRoot, IN_CREATE | IN_ISDIR, "n.off")});
    Settle();
    EXPECT_EQ(fs.wds.count("n.off"), 0u);
    translator.HandleEvents({Event(kRoot, IN_MOVED_FROM | IN_ISDIR, "n.off", 5),
                             Event(kRoot, IN_MOVED_TO | IN_ISDIR, "n", 5)});
    Settle();
    EXPECT_THAT(Texts(), ElementsAre("4 d", "5 d.off", "4 x.off", "5 x", "1 n.off", "4 n.off",
                                     "5 n", "1 n/a.txt"));
    // root, x, x/in, n
    EXPECT_EQ(translator.WatchedCount(), 4u);

    fs.removed.clear();
    translator.SetIgnoreRules(RulesOf({"/x/"}));
    Settle();
    EXPECT_THAT(fs.removed, ::testing::UnorderedElementsAre(fs.wds.at("x"), fs.wds.at("x/in")));
    EXPECT_EQ(translator.PathOf(fs.wds.at("d.off/e")), "d.off/e/");
    EXPECT_EQ(translator.WatchedCount(), 4u);  // root, n, d.off, d.off/e
    EXPECT_EQ(Texts().size(), 8u) << "what a kept folder held before is no change";
}

}  // namespace
}  // namespace qzx

namespace qzx {
namespace {

DirectoryEntry Stamped(const char* name, bool isDirectory, FileTime changed, FileTime born) {
    DirectoryEntry entry{name, isDirectory};
    entry.changed = changed;
    entry.born = born;
    return entry;
}

// While the existing folders are being watched, what was stamped after Start and before its
// folder's watch is reported (added when born then, else modified); what its watch can see,
// or what came before Start, is not. Start is at 100, the root watched at 300, the rest at 500.
TEST(InotifyTranslatorSetUp, ChangesBeforeTheWatchAreReported) {
    FakeDirectories fs;
    CollectingSink sink;
    InotifyTranslator translator(fs, sink);
    fs.now = 500;
    fs.listings[""] = {
        Stamped("old.txt", false, 50, 10),      Stamped("made.txt", false, 200, 150),
        Stamped("touched.txt", false, 200, 50), Stamped("atStart.txt", false, 100, 100),
        Stamped("atWatch.txt", false, 300, 50), Stamped("sub", true, 250, 50),
        Stamped("fresh", true, 250, 250),       Stamped("unknown.txt", false, 200, kNoTime),
    };
    fs.listings["sub"] = {Stamped("new", false, 400, 400), Stamped("later", false, 600, 600)};
    fs.listings["fresh"] = {};
    translator.Begin(kRoot, 100, 300);
    while (translator.HasPendingWork()) translator.DoPendingWork(1000);
    EXPECT_THAT(sink.Snapshot().texts,
                ::testing::UnorderedElementsAre("1 made.txt", "3 touched.txt", "1 fresh",
                                                "3 unknown.txt", "1 sub/new"));
    EXPECT_EQ(sink.Snapshot().ready, 1);
}

// A folder made after Start can be found by the set-up walk before its own creation event is
// read; what the walk reported in it must not be reported again when the folder turns out new.
TEST(InotifyTranslatorSetUp, NewFolderFoundByTheWalkReportsItsFilesOnce) {
    FakeDirectories fs;
    CollectingSink sink;
    InotifyTranslator translator(fs, sink);
    fs.now = 500;
    fs.listings[""] = {Stamped("late", true, 350, 350)};
    fs.listings["late"] = {Stamped("f", false, 400, 400)};
    translator.Begin(kRoot, 100, 300);
    while (translator.HasPendingWork()) translator.DoPendingWork(1000);
    translator.HandleEvents({Event(kRoot, IN_CREATE | IN_ISDIR, "late")});
    while (translator.HasPendingWork()) translator.DoPendingWork(1000);
    translator.HandleEvents({Event(fs.wds.at("late"), IN_CREATE, "g")});
    EXPECT_THAT(sink.Snapshot().texts,
                ::testing::UnorderedElementsAre("1 late/f", "1 late", "1 late/g"));
}

// A folder the list keeps again is walked as at set-up, from the moment the list changed: what
// came in while it was skipped stays out, what came between the change and its watch is in.
TEST(InotifyTranslatorSetUp, FolderKeptAgainReportsWhatCameAfterTheChange) {
    FakeDirectories fs;
    CollectingSink sink;
    InotifyTranslator translator(fs, sink);
    translator.SetIgnoreRules(RulesOf({"off/"}));
    fs.now = 500;
    fs.listings[""] = {Stamped("off", true, 50, 50)};
    translator.Begin(kRoot, 100, 300);
    while (translator.HasPendingWork()) translator.DoPendingWork(1000);
    EXPECT_EQ(fs.wds.count("off"), 0u);
    fs.now = 900;
    fs.listings["off"] = {Stamped("skipped", false, 150, 120), Stamped("gap", false, 700, 700),
                          Stamped("touched", false, 650, 50), Stamped("sub", true, 50, 50)};
    fs.listings["off/sub"] = {Stamped("deep", false, 800, 800),
                              Stamped("watched", false, 950, 950)};
    translator.SetIgnoreRules(RulesOf({"*.tmp"}), 600);
    while (translator.HasPendingWork()) translator.DoPendingWork(1000);
    EXPECT_THAT(sink.Snapshot().texts,
                ::testing::UnorderedElementsAre("1 off/gap", "3 off/touched", "1 off/sub/deep"));
    EXPECT_EQ(sink.Snapshot().ready, 1);
}

// Without times the walk asks for none; the set-up ends with one OnReady after every batch of
// it, with progress counts before, however small the steps.
TEST_F(InotifyTranslatorTest, SetUpEndsWithOneReady) {
    fs.listings[""] = {{"a", true}, {"b", true}};
    fs.listings["a"] = {{"x", true}};
    EXPECT_FALSE(translator.Ready());
    translator.HandleEvents({Event(kRoot, IN_CREATE, "during.txt")});
    while (translator.HasPendingWork()) translator.DoPendingWork(1);
    EXPECT_TRUE(translator.Ready());
    translator.HandleEvents({Event(kRoot, IN_CREATE | IN_ISDIR, "after")});
    while (translator.HasPendingWork()) translator.DoPendingWork(1);
    auto s = sink.Snapshot();
    EXPECT_EQ(s.ready, 1);
    EXPECT_EQ(s.recordsBeforeReady, 1u);
    EXPECT_FALSE(s.arming.empty());
    EXPECT_LE(s.arming.back(), 4u);
    EXPECT_THAT(fs.timesAsked, ::testing::Each(false));
    EXPECT_EQ(translator.WatchedCount(), 5u);
}

}  // namespace
}  // namespace qzx
