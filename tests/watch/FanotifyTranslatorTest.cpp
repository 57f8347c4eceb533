// The translation of a file system mark's events for one tree, fed with made-up events and a
// made-up file system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/fanotify.h>

#include <deque>
#include <map>

#include "tests/support/CollectingSink.h"
#include "watch/FanotifyTranslator.h"

namespace qzx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kRoot = "/w";

// Folders by handle and path. A folder that is gone keeps its handle but has no path.
class FakeFileSystem : public FanotifyAccess {
  public:
    std::map<std::string, std::string> pathOf;  // handle -> absolute path
    std::map<std::string, std::vector<std::pair<std::string, bool>>> listings;
    int pathLookups = 0;
    int handleLookups = 0;

    void Folder(const std::string& handle, const std::string& path) { pathOf[handle] = path; }
    void Gone(const std::string& handle) { pathOf.erase(handle); }
    // Renames a folder and everything below it.
    void Move(const std::string& from, const std::string& to) {
        for (auto& [handle, path] : pathOf) {
            if (path == from || path.compare(0, from.size() + 1, from + "/") == 0) {
                path = to + path.substr(from.size());
            }
        }
    }

    std::optional<std::string> FolderPath(std::string_view handle) override {
        ++pathLookups;
        auto it = pathOf.find(std::string(handle));
        if (it == pathOf.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::string> HandleOf(const std::string& path) override {
        ++handleLookups;
        for (const auto& [handle, known] : pathOf) {
            if (known == path) return handle;
        }
        return std::nullopt;
    }
    bool ListFolder(const std::string& path,
                    std::vector<std::pair<std::string, bool>>& entries) override {
        auto it = listings.find(path);
        if (it == listings.end()) return false;
        entries = it->second;
        return true;
    }
};

// Every PID is the process "p<PID>"; counts how often the system was asked.
class FakeProcesses : public ProcessReader {
  public:
    std::optional<ProcessInfo> Read(int pid) override {
        ++reads;
        return ProcessInfo{pid, "p" + std::to_string(pid), "/bin/p"};
    }
    int reads = 0;
};

// Made-up events whose strings live as long as the test.
class Events {
  public:
    FanotifyEvent Named(std::uint64_t mask, const std::string& dir, const std::string& name,
                        const std::string& object = "", int pid = 10) {
        FanotifyEvent event;
        event.mask = mask;
        event.pid = pid;
        event.process = ProcessState::Running;
        event.entry = FanotifyEntry{Keep(dir), Keep(name), true};
        if (!object.empty()) event.object = Keep(object);
        return event;
    }
    FanotifyEvent Self(std::uint64_t mask, const std::string& dir) {
        return Named(mask | FAN_ONDIR, dir, ".");
    }
    FanotifyEvent Rename(const std::string& fromDir, const std::string& fromName,
                         const std::string& toDir, const std::string& toName,
                         const std::string& object, bool isDirectory = false) {
        FanotifyEvent event;
        event.mask = FAN_RENAME | (isDirectory ? FAN_ONDIR : 0);
        event.pid = 10;
        event.process = ProcessState::Running;
        event.from = FanotifyEntry{Keep(fromDir), Keep(fromName), true};
        event.to = FanotifyEntry{Keep(toDir), Keep(toName), true};
        event.object = Keep(object);
        return event;
    }
    FanotifyEvent Overflow() {
        FanotifyEvent event;
        event.mask = FAN_Q_OVERFLOW;
        return event;
    }

  private:
    std::string_view Keep(const std::string& text) { return strings.emplace_back(text); }
    std::deque<std::string> strings;
};

class FanotifyTranslatorTest : public ::testing::Test {
  protected:
    explicit FanotifyTranslatorTest(FanotifyFeatures features = {})
        : translator(fs, sink, &processes, features) {
        fs.Folder("R", kRoot);
        fs.Folder("P", "/");
        fs.Folder("O", "/out");
        translator.Begin(std::string(kRoot) + "/", "R");
    }

    bool Handle(const std::vector<FanotifyEvent>& events) {
        return translator.HandleEvents(events, now);
    }
    std::vector<std::string> Texts() { return sink.Snapshot().texts; }

    FakeFileSystem fs;
    CollectingSink sink;
    FakeProcesses reader;
    ProcessCache processes{reader};
    FanotifyTranslator translator;
    Events ev;
    ProcessCache::Clock::time_point now{};
};

// Each kind becomes its action, named relative to the watched folder; the parts of one merged
// event come in the order in which they can have happened.
TEST_F(FanotifyTranslatorTest, KindsAndMergedEvents) {
    fs.Folder("S", "/w/sub");
    ASSERT_TRUE(Handle({
        ev.Named(FAN_CREATE, "R", "a.txt"),
        ev.Named(FAN_MODIFY, "S", "x.txt"),
        ev.Named(FAN_ATTRIB, "S", "x.txt"),
        ev.Named(FAN_DELETE, "R", "a.txt"),
        ev.Named(FAN_DELETE | FAN_MODIFY | FAN_CREATE, "R", "brief"),
        ev.Self(FAN_ATTRIB, "S"),
        ev.Self(FAN_ATTRIB, "R"),  // the watched folder's own: no change below it
        ev.Named(FAN_ATTRIB, "", ""),
    }));
    EXPECT_THAT(Texts(), ElementsAre("1 a.txt", "3 sub/x.txt", "3 sub/x.txt", "2 a.txt", "1 brief",
                                     "3 brief", "2 brief", "3 sub"));
    EXPECT_EQ(sink.Snapshot().batches.size(), 1u);
}

// An event without a folder is a file's own (its link count when it is deleted): the folder's
// event says the same with a name.
TEST_F(FanotifyTranslatorTest, ObjectOnlyEventsMakeNoRecord) {
    FanotifyEvent own;
    own.mask = FAN_ATTRIB | FAN_DELETE_SELF;
    own.object = "X";
    ASSERT_TRUE(Handle({own}));
    EXPECT_THAT(Texts(), IsEmpty());
}

// Every record of an event carries its process, read once for a burst of one process.
TEST_F(FanotifyTranslatorTest, RecordsCarryTheirProcess) {
    ASSERT_TRUE(
        Handle({ev.Named(FAN_CREATE, "R", "a", "", 7), ev.Named(FAN_MODIFY, "R", "a", "", 7),
                ev.Named(FAN_MODIFY, "R", "b", "", 8)}));
    auto batch = sink.Snapshot().batches.at(0);
    ASSERT_EQ(batch.size(), 3u);
    ASSERT_TRUE(batch[0].process);
    EXPECT_EQ(batch[0].process->pid, 7);
    EXPECT_EQ(batch[0].process->name, "p7");
    EXPECT_EQ(batch[0].process, batch[1].process);
    EXPECT_EQ(batch[2].process->name, "p8");
    EXPECT_EQ(reader.reads, 2);
}

// The four ways a rename can meet the tree's edge, table-driven.
TEST_F(FanotifyTranslatorTest, RenamesAtTheEdge) {
    struct Case {
        const char* from;
        const char* to;
        std::vector<std::string> texts;
    } cases[] = {
        {"R", "R", {"4 a", "5 b"}},
        {"R", "O", {"2 a"}},
        {"O", "R", {"1 b"}},
        {"O", "O", {}},
    };
    for (const Case& c : cases) {
        CollectingSink caseSink;
        FanotifyTranslator t(fs, caseSink, nullptr, FanotifyFeatures{});
        t.Begin("/w/", "R");
        ASSERT_TRUE(t.HandleEvents({ev.Rename(c.from, "a", c.to, "b", "F")}, now));
        EXPECT_EQ(caseSink.Snapshot().texts, c.texts) << c.from << " -> " << c.to;
    }
}

// Events outside the tree cost one look at the file system per folder, and a folder made
// outside none at all: its handle comes with its creation.
TEST_F(FanotifyTranslatorTest, OutsideFoldersAreLookedUpOnce) {
    fs.Folder("O2", "/out/deep");
    std::vector<FanotifyEvent> burst;
    for (int i = 0; i < 100; ++i) {
        burst.push_back(ev.Named(FAN_CREATE, "O", "f" + std::to_string(i)));
        burst.push_back(ev.Named(FAN_MODIFY, "O2", "g"));
    }
    burst.push_back(ev.Named(FAN_CREATE | FAN_ONDIR, "O", "new", "N"));
    burst.push_back(ev.Named(FAN_CREATE, "N", "inner"));
    burst.push_back(ev.Rename("N", "inner", "O2", "moved", "I"));
    ASSERT_TRUE(Handle(burst));
    EXPECT_THAT(Texts(), IsEmpty());
    EXPECT_EQ(fs.pathLookups, 2);
    EXPECT_EQ(translator.OutsideFolders(), 3u);
    EXPECT_EQ(reader.reads, 0);  // nothing is asked about a process whose change is dropped
}

// A folder that existed before Start is placed when first named, with the folders above it,
// so that a later rename of any of them moves it along without asking again.
TEST_F(FanotifyTranslatorTest, FoldersFromBeforeStartFollowRenames) {
    fs.Folder("A", "/w/a");
    fs.Folder("B", "/w/a/b");
    fs.Folder("C", "/w/a/b/c");
    ASSERT_TRUE(Handle({ev.Named(FAN_MODIFY, "C", "f")}));
    EXPECT_EQ(translator.KnownFolders(), 4u);
    fs.Move("/w/a", "/w/z");
    ASSERT_TRUE(Handle({ev.Rename("R", "a", "R", "z", "A", true), ev.Named(FAN_MODIFY, "C", "f"),
                        ev.Named(FAN_MODIFY, "B", "g")}));
    EXPECT_THAT(Texts(), ElementsAre("3 a/b/c/f", "4 a", "5 z", "3 z/b/c/f", "3 z/b/g"));
    EXPECT_EQ(fs.pathLookups, 1);
}

// The table follows the events, not what the file system shows when it is asked: a rename
// still queued has not happened yet for the events before it.
TEST_F(FanotifyTranslatorTest, TableFollowsTheEventsNotTheFileSystem) {
    fs.Folder("A", "/w/a");
    ASSERT_TRUE(Handle({ev.Named(FAN_MODIFY, "A", "x")}));
    fs.Folder("B", "/w/a/b");
    fs.Move("/w/a", "/w/a2");  // queued behind the next event
    ASSERT_TRUE(Handle({ev.Named(FAN_MODIFY, "B", "y"), ev.Rename("R", "a", "R", "a2", "A", true),
                        ev.Named(FAN_MODIFY, "B", "y")}));
    EXPECT_THAT(Texts(), ElementsAre("3 a/x", "3 a/b/y", "4 a", "5 a2", "3 a2/b/y"));
}

// A folder moved out takes what lies below it along: its later changes are outside.
TEST_F(FanotifyTranslatorTest, FolderMovedOutLeavesTheTree) {
    fs.Folder("D", "/w/d");
    fs.Folder("E", "/w/d/e");
    ASSERT_TRUE(Handle({ev.Named(FAN_CREATE, "E", "x")}));
    fs.Move("/w/d", "/out/d");
    ASSERT_TRUE(Handle({ev.Rename("R", "d", "O", "d", "D", true), ev.Named(FAN_MODIFY, "E", "x"),
                        ev.Named(FAN_MODIFY, "D", "y")}));
    EXPECT_THAT(Texts(), ElementsAre("1 d/e/x", "2 d"));
}

// A folder moved in is added with all it holds; the events of entries that the listing found
// already do not add them a second time, until the queue has been read to its end.
TEST_F(FanotifyTranslatorTest, FolderMovedInIsListed) {
    fs.Folder("M", "/out/m");
    ASSERT_TRUE(Handle({ev.Named(FAN_MODIFY, "M", "before")}));  // taken for outside
    fs.Move("/out/m", "/w/m");
    fs.Folder("MS", "/w/m/s");
    fs.listings["/w/m"] = {{"a", false}, {"s", true}};
    fs.listings["/w/m/s"] = {{"b", false}};
    ASSERT_TRUE(Handle({ev.Rename("O", "m", "R", "m", "M", true), ev.Named(FAN_CREATE, "MS", "b"),
                        ev.Named(FAN_MODIFY, "M", "a")}));
    EXPECT_THAT(Texts(), ElementsAre("1 m", "1 m/a", "1 m/s", "1 m/s/b", "3 m/a"));
    EXPECT_TRUE(translator.WaitsForEmptyQueue());
    translator.OnQueueEmpty(now);
    ASSERT_TRUE(Handle({ev.Named(FAN_CREATE, "MS", "b")}));
    EXPECT_EQ(Texts().back(), "1 m/s/b");
}

// A tree from before Start removed faster than its events are read: its folders are gone when
// their contents' events come, and those wait until the removal of each folder places it.
TEST_F(FanotifyTranslatorTest, RemovedTreeIsPlacedByItsFoldersRemoval) {
    fs.Folder("T", "/w/t");
    ASSERT_TRUE(Handle({ev.Named(FAN_MODIFY, "T", "seen")}));
    // t/a/b with files, all deleted by the time anything is read.
    ASSERT_TRUE(Handle({
        ev.Named(FAN_DELETE, "B", "f1"),
        ev.Named(FAN_DELETE, "B", "f2"),
        ev.Named(FAN_DELETE | FAN_ONDIR, "A", "b", "B"),
        ev.Named(FAN_DELETE, "A", "g"),
        ev.Named(FAN_DELETE | FAN_ONDIR, "T", "a", "A"),
    }));
    EXPECT_THAT(Texts(),
                ElementsAre("3 t/seen", "2 t/a/b/f1", "2 t/a/b/f2", "2 t/a/b", "2 t/a/g", "2 t/a"));
    EXPECT_EQ(translator.ParkedEvents(), 0u);
}

// The same outside the tree makes no record, and what waits in a folder that is never placed
// goes after a while.
TEST_F(FanotifyTranslatorTest, RemovedTreeOutsideMakesNothing) {
    ASSERT_TRUE(Handle({
        ev.Named(FAN_DELETE, "B", "f1"),
        ev.Named(FAN_DELETE | FAN_ONDIR, "A", "b", "B"),
        ev.Named(FAN_DELETE | FAN_ONDIR, "O", "a", "A"),
        ev.Named(FAN_DELETE, "Z", "never-placed"),
    }));
    EXPECT_THAT(Texts(), IsEmpty());
    EXPECT_EQ(translator.ParkedEvents(), 1u);
    now += FanotifyTranslator::kParkedFor + std::chrono::seconds(1);
    translator.OnQueueEmpty(now);
    EXPECT_EQ(translator.ParkedEvents(), 0u);
}

// Past the cap the oldest folder's waiting events go first, one group at a time and without a
// look at every group (twice the cap in single groups would take hours otherwise).
TEST_F(FanotifyTranslatorTest, ParkedEventsPastTheCapDropTheOldest) {
    const std::size_t total = 2 * FanotifyTranslator::kMaxParked;
    std::vector<FanotifyEvent> events;
    std::vector<std::string> handles;
    handles.reserve(total);
    for (std::size_t i = 0; i < total; ++i) handles.push_back("G" + std::to_string(i));
    for (std::size_t i = 0; i < total; ++i) events.push_back(ev.Named(FAN_DELETE, handles[i], "f"));
    ASSERT_TRUE(Handle(events));
    EXPECT_EQ(translator.ParkedEvents(), FanotifyTranslator::kMaxParked);
    // The newest still place when their folder's deletion comes; the oldest are gone.
    ASSERT_TRUE(Handle({ev.Named(FAN_DELETE | FAN_ONDIR, "R", "new", handles.back()),
                        ev.Named(FAN_DELETE | FAN_ONDIR, "R", "old", handles.front())}));
    EXPECT_THAT(Texts(), ElementsAre("2 new/f", "2 new", "2 old"));
}

// A folder made and removed before its events are read is merged by the kernel into one event
// ahead of its contents' events; its handle from that event still places them.
TEST_F(FanotifyTranslatorTest, MergedMakeAndRemoveOfAFolder) {
    ASSERT_TRUE(Handle({
        ev.Named(FAN_CREATE | FAN_DELETE | FAN_ONDIR, "R", "d", "D"),
        ev.Named(FAN_CREATE | FAN_DELETE, "D", "f"),
    }));
    EXPECT_THAT(Texts(), ElementsAre("1 d", "2 d", "1 d/f", "2 d/f"));
    translator.OnQueueEmpty(now);
    EXPECT_EQ(translator.KnownFolders(), 1u);
}

// The watched folder deleted, moved, or seen going by its own events ends the watch, with
// what came before it handed on.
TEST_F(FanotifyTranslatorTest, WatchedFolderGoingEndsTheWatch) {
    EXPECT_FALSE(
        Handle({ev.Named(FAN_DELETE, "R", "a"), ev.Named(FAN_DELETE | FAN_ONDIR, "P", "w", "R")}));
    EXPECT_THAT(Texts(), ElementsAre("2 a"));
    EXPECT_FALSE(Handle({ev.Rename("P", "w", "P", "w2", "R", true)}));
    EXPECT_FALSE(Handle({ev.Self(FAN_DELETE_SELF, "R")}));
    EXPECT_FALSE(Handle({ev.Self(FAN_MOVE_SELF, "R")}));
    // A file of the same handle bytes is not the folder.
    EXPECT_TRUE(Handle({ev.Named(FAN_DELETE, "P", "w", "R")}));
}

// An overflow is reported in order, and the table is filled again afterwards, since renames
// may have been lost with it.
TEST_F(FanotifyTranslatorTest, OverflowSplitsTheBatchAndForgetsTheTable) {
    fs.Folder("A", "/w/a");
    ASSERT_TRUE(
        Handle({ev.Named(FAN_CREATE, "A", "x"), ev.Overflow(), ev.Named(FAN_CREATE, "A", "y")}));
    auto s = sink.Snapshot();
    EXPECT_EQ(s.overflows, 1);
    ASSERT_EQ(s.batches.size(), 2u);
    EXPECT_EQ(s.batches[1].at(0).name, "a/y");
    EXPECT_EQ(fs.pathLookups, 2);
}

class FanotifyHalvesTest : public FanotifyTranslatorTest {
  protected:
    FanotifyHalvesTest() : FanotifyTranslatorTest(FanotifyFeatures{false, false}) {}
};

// Without rename events, the two halves of a move by one process make the pair; a half from
// another process, or no second half at all, is a removal.
TEST_F(FanotifyHalvesTest, HalvesArePaired) {
    ASSERT_TRUE(Handle({ev.Named(FAN_MOVED_FROM, "R", "a"), ev.Named(FAN_MOVED_TO, "R", "b")}));
    ASSERT_TRUE(Handle(
        {ev.Named(FAN_MOVED_FROM, "R", "c", "", 1), ev.Named(FAN_MOVED_TO, "R", "d", "", 2)}));
    ASSERT_TRUE(Handle({ev.Named(FAN_MOVED_FROM, "R", "e")}));
    EXPECT_TRUE(translator.HasHeldMove());
    ASSERT_TRUE(Handle({ev.Named(FAN_MOVED_TO, "R", "f")}));
    ASSERT_TRUE(Handle({ev.Named(FAN_MOVED_FROM, "R", "g")}));
    translator.ReleaseHeldMove();
    ASSERT_TRUE(Handle({ev.Named(FAN_MOVED_FROM, "O", "h"), ev.Named(FAN_MOVED_TO, "R", "h")}));
    EXPECT_THAT(Texts(), ElementsAre("4 a", "5 b", "2 c", "1 d", "4 e", "5 f", "2 g", "1 h"));
}

// The kernel merges a later event of the same name into a queued arrival: what it adds comes
// after the arrival, and a file's own events between the halves of a move do not part them.
TEST_F(FanotifyHalvesTest, MergedArrivalsAndFilesOwnEvents) {
    FanotifyEvent own;
    own.mask = FAN_MOVE_SELF;
    own.object = "X";
    ASSERT_TRUE(Handle({ev.Named(FAN_MOVED_FROM, "R", "a"), own,
                        ev.Named(FAN_MOVED_TO | FAN_MODIFY | FAN_MOVED_FROM, "R", "b"), own,
                        ev.Named(FAN_MOVED_TO, "O", "b")}));
    EXPECT_THAT(Texts(), ElementsAre("4 a", "5 b", "3 b", "2 b"));
}

// A folder renamed by halves keeps what lies below it: its new place is looked up by path.
TEST_F(FanotifyHalvesTest, FolderRenamedByHalves) {
    fs.Folder("D", "/w/d");
    ASSERT_TRUE(Handle({ev.Named(FAN_MODIFY, "D", "x")}));
    fs.Move("/w/d", "/w/e");
    ASSERT_TRUE(
        Handle({ev.Named(FAN_MOVED_FROM | FAN_ONDIR, "R", "d"),
                ev.Named(FAN_MOVED_TO | FAN_ONDIR, "R", "e"), ev.Named(FAN_MODIFY, "D", "x")}));
    EXPECT_THAT(Texts(), ElementsAre("3 d/x", "4 d", "5 e", "3 e/x"));
    EXPECT_EQ(fs.pathLookups, 1);
    fs.Move("/w/e", "/out/e");
    ASSERT_TRUE(
        Handle({ev.Named(FAN_MOVED_FROM | FAN_ONDIR, "R", "e"),
                ev.Named(FAN_MOVED_TO | FAN_ONDIR, "O", "e"), ev.Named(FAN_MODIFY, "D", "x")}));
    EXPECT_EQ(Texts().back(), "2 e");
}

// Without the handle of a deleted folder nothing can place what was inside it: such events
// are dropped rather than kept for ever.
TEST_F(FanotifyHalvesTest, GoneFoldersAreNotWaitedFor) {
    ASSERT_TRUE(
        Handle({ev.Named(FAN_DELETE, "B", "f1"), ev.Named(FAN_DELETE | FAN_ONDIR, "R", "b")}));
    EXPECT_THAT(Texts(), ElementsAre("2 b"));
    EXPECT_EQ(translator.ParkedEvents(), 0u);
}

}  // namespace
}  // namespace qzx
