// Catch-up and recovery on a real folder, listed by the system's lister; the snapshots are kept
// in a fake file system so that damage and failing writes can be made at will.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/CatchUp.h"
#include "tests/support/CollectingSink.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/TempFolder_posix.h"
#include "watch/TreeLister.h"

namespace qzx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// Hands what it is given to the catch-up as the recorder's sink does; can hold the queue's
// thread in its first batch, so that a small queue overflows for certain.
class NotingSink final : public CollectingSink {
  public:
    explicit NotingSink(CatchUp& c) : catchUp(c) {}
    void OnBatch(const ChangeBatch& batch) override {
        {
            std::unique_lock<std::mutex> lock(gateMutex);
            entered = true;
            gateChanged.notify_all();
            gateChanged.wait(lock, [this] { return !held; });
        }
        catchUp.Note(batch);
        CollectingSink::OnBatch(batch);
    }
    void Hold() { held = true; }
    void WaitEntered() {
        std::unique_lock<std::mutex> lock(gateMutex);
        gateChanged.wait(lock, [this] { return entered; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(gateMutex);
        held = false;
        gateChanged.notify_all();
    }

  private:
    CatchUp& catchUp;
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool held = false;
    bool entered = false;
};

struct Harness {
    test::TempFolder temp;
    std::string folder = temp.path + "/";
    test::FakeFileSystem files;
    test::FakeClock clock;
    CatchUp catchUp{test::RootFolder() + "state/", files, &ListTree, clock};
    NotingSink sink{catchUp};
    std::shared_ptr<IgnoreRules> rules = std::make_shared<IgnoreRules>();

    Harness() { files.folders.insert(test::RootFolder()); }

    std::string SnapshotPath() const {
        return SnapshotFileFor(test::RootFolder() + "state/", folder);
    }
    // One run: Start, the compare, Stop with its save; returns the records handed on.
    std::vector<std::string> Run(std::size_t maxWaiting = ChangeQueue::kMaxWaitingRecords) {
        ChangeQueue queue(sink, maxWaiting);
        EXPECT_TRUE(queue.Start());
        const std::size_t before = sink.Snapshot().texts.size();
        catchUp.Begin(folder, rules, queue);
        catchUp.SourceReady();
        EXPECT_TRUE(catchUp.WaitIdle(10s));
        EXPECT_TRUE(queue.WaitUntilHandedOn(10s));
        catchUp.End();
        EXPECT_TRUE(catchUp.WaitIdle(10s));
        queue.Stop(Backlog::Finish);
        const auto texts = sink.Snapshot().texts;
        return {texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end()};
    }
};

// Made, changed with the same size, deleted, renamed, moved to another folder, and a folder
// replaced by a file of its name, all while stopped; an ignored folder stays out.
TEST(CatchUp, ChangesWhileStoppedBecomeRows) {
    Harness h;
    ASSERT_FALSE(h.temp.path.empty());
    ASSERT_FALSE(h.rules->AddLine("skipped/"));
    for (const char* dir : {"sub", "moved", "n", "skipped"}) fs::create_directory(h.temp.Sub(dir));
    for (const char* file : {"keep", "gone", "old", "same", "sub/mv", "n/x", "skipped/a"}) {
        Write(h.temp.Sub(file), "1234");
    }
    EXPECT_TRUE(h.Run().empty());
    EXPECT_EQ(h.catchUp.Status().problem, SnapshotProblem::kMissing);
    ASSERT_EQ(h.files.files.count(h.SnapshotPath()), 1u);

    Write(h.temp.Sub("new"), "n");
    fs::remove(h.temp.Sub("gone"));
    fs::rename(h.temp.Sub("old"), h.temp.Sub("renamed"));
    fs::rename(h.temp.Sub("sub/mv"), h.temp.Sub("moved/mv"));
    fs::last_write_time(h.temp.Sub("same"), fs::file_time_type::clock::now() - 1h);
    fs::remove_all(h.temp.Sub("n"));
    Write(h.temp.Sub("n"), "now a file");
    Write(h.temp.Sub("skipped/b"), "left out");

    const std::vector<std::string> expected = {"2 n/x",      "2 n",   "2 gone",    "4 sub/mv",
                                               "5 moved/mv", "4 old", "5 renamed", "1 n",
                                               "1 new",      "3 same"};
    EXPECT_EQ(h.Run(), expected);
    const CatchUpStatus status = h.catchUp.Status();
    EXPECT_EQ(status.problem, SnapshotProblem::kNone);
    EXPECT_TRUE(status.compared);
    EXPECT_EQ(status.found, 8u);
    for (const ChangeBatch& batch : h.sink.Snapshot().batches) {
        for (const ChangeRecord& r : batch) EXPECT_EQ(r.found, kFoundCatchUp) << r.name;
    }
    // Nothing changed since: the next Start finds nothing.
    EXPECT_TRUE(h.Run().empty());
}

// A snapshot that cannot be trusted is said, set aside and replaced, and makes no row.
TEST(CatchUp, DamagedSnapshotIsRefusedAndReplaced) {
    Harness h;
    Write(h.temp.Sub("a"), "1");
    h.Run();
    const std::string good = h.files.files[h.SnapshotPath()];
    std::string flipped = good;
    flipped[good.size() - 12] ^= 0x40;
    std::string newer = good;
    newer[8] = 9;
    SnapshotHeader other;
    other.folder = "/elsewhere/";
    const struct {
        std::string bytes;
        SnapshotProblem problem;
    } cases[] = {
        {good.substr(0, good.size() / 2), SnapshotProblem::kTruncated},
        {flipped, SnapshotProblem::kCorrupt},
        {newer, SnapshotProblem::kNewerFormat},
        {SnapshotFileBytes(other, EncodedTree{}), SnapshotProblem::kOtherFolder},
    };
    for (const auto& c : cases) {
        h.files.files[h.SnapshotPath()] = c.bytes;
        fs::remove(h.temp.Sub("a"));  // a change the bad snapshot must not be taken to tell
        Write(h.temp.Sub("a"), "2");
        EXPECT_TRUE(h.Run().empty());
        EXPECT_EQ(h.catchUp.Status().problem, c.problem);
        EXPECT_EQ(h.files.files[h.SnapshotPath() + ".bad"], c.bytes);
        EXPECT_EQ(ParseSnapshotFile(h.files.files[h.SnapshotPath()], h.folder).problem,
                  SnapshotProblem::kNone);
    }
}

// A snapshot that cannot be written is said, and the old one stays.
TEST(CatchUp, FailedSaveKeepsTheOld) {
    Harness h;
    Write(h.temp.Sub("a"), "1");
    h.Run();
    const std::string old = h.files.files[h.SnapshotPath()];
    Write(h.temp.Sub("b"), "1");
    h.files.failWrites = true;
    h.Run();
    EXPECT_TRUE(h.catchUp.Status().saveFailed);
    EXPECT_EQ(h.files.files[h.SnapshotPath()], old);
}

// A queue of four records overflows in a burst of ten; the compare after it finds the six it
// dropped, as recovered, and none that was recorded.
// The tree as a source's set-up walk would hand it over, folder by folder.
std::unique_ptr<GatheredTree> GatheredFrom(const std::string& folder) {
    const std::atomic<bool> cancel{false};
    const TreeListing listed = ListTree(folder, nullptr, cancel);
    std::map<std::string, std::vector<SnapshotEntry>> byFolder{{"", {}}};
    TreeReader reader(listed.tree);
    for (SnapshotEntry e; reader.Next(e);) {
        const std::size_t cut = e.path.rfind('/');
        const std::string parent = cut == std::string::npos ? "" : e.path.substr(0, cut);
        if (e.kind == EntryKind::kFolder) byFolder[e.path];
        e.path.erase(0, cut == std::string::npos ? 0 : cut + 1);
        byFolder[parent].push_back(e);
    }
    auto gathered = std::make_unique<GatheredTree>(listed.startedAt);
    for (auto& [relative, entries] : byFolder) gathered->AddFolder(relative, std::move(entries));
    return gathered;
}

// Recovery runs whether catch-up is on or not, on a view listed by itself or handed over by the
// source; only with catch-up is a snapshot kept at the end.
TEST(CatchUp, OverflowHiddenChangesAreRecovered) {
    for (const bool catchUpOn : {true, false}) {
        SCOPED_TRACE(catchUpOn ? "catch-up on, own listing" : "catch-up off, the source's listing");
        Harness h;
        Write(h.temp.Sub("a"), "1");
        fs::create_directories(h.temp.Sub("d/e"));
        Write(h.temp.Sub("d/e/g"), "1");
        ChangeQueue queue(h.sink, 4);
        ASSERT_TRUE(queue.Start());
        h.catchUp.Begin(h.folder, h.rules, queue, catchUpOn);
        if (!catchUpOn) h.catchUp.ListingTaker()(GatheredFrom(h.folder));
        h.catchUp.SourceReady();
        ASSERT_TRUE(h.catchUp.WaitIdle(10s));
        h.sink.Hold();
        for (int i = 0; i < 10; ++i) {
            const std::string name = "f" + std::to_string(i);
            Write(h.temp.Sub(name), "x");
            queue.OnBatch({ChangeRecord(kActionAdded, name)});
            if (i == 0) h.sink.WaitEntered();
        }
        fs::remove(h.temp.Sub("a"));  // lost as well: no record tells it
        Write(h.temp.Sub("d/e/g"), "22");
        h.sink.Release();
        ASSERT_TRUE(queue.WaitUntilHandedOn(10s));
        ASSERT_EQ(h.sink.Snapshot().overflows, 1);
        h.catchUp.Recover();
        ASSERT_TRUE(h.catchUp.WaitIdle(10s));
        ASSERT_TRUE(queue.WaitUntilHandedOn(10s));

        std::vector<std::string> recovered;
        for (const ChangeBatch& batch : h.sink.Snapshot().batches) {
            for (const ChangeRecord& r : batch) {
                if (r.found == kFoundRecovered)
                    recovered.push_back(std::to_string(r.action) + " " + r.name);
            }
        }
        const std::vector<std::string> expected = {"2 a",  "3 d/e/g", "1 f4", "1 f5",
                                                   "1 f6", "1 f7",    "1 f8", "1 f9"};
        EXPECT_EQ(recovered, expected);
        EXPECT_EQ(h.catchUp.Status().recovered, 8u);
        h.catchUp.End();
        h.catchUp.WaitIdle(10s);
        queue.Stop(Backlog::Discard);
        EXPECT_EQ(h.files.files.count(h.SnapshotPath()), catchUpOn ? 1u : 0u);
    }
}

}  // namespace
}  // namespace qzx
