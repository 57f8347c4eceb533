// The fanotify change source against the real facility: a tmpfs of the test's own (so that
// the mark on its whole file system sees only the test), and once the machine's own /tmp.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "tests/support/CollectingSink.h"
#include "tests/watch/ChangeSourceContract.h"
#include "tests/watch/ChangeSourceContract_posix.h"
#include "tests/watch/FanotifyTestSupport.h"
#include "watch/EngineTexts.h"
#include "watch/FanotifySource.h"
#include "watch/HelperSource.h"
#include "watch/IgnoreRules.h"
#include "watch/InotifySource.h"

namespace qzx {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

using test::Touch;

// One write at the end of an existing file: one modification, which the kernel cannot split.
void Append(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
}

bool Includes(const CollectingSink::State& s, const std::set<std::string>& expected) {
    std::set<std::string> seen(s.texts.begin(), s.texts.end());
    return std::includes(seen.begin(), seen.end(), expected.begin(), expected.end());
}

// The record "<action> <name>" with its process, when it arrived.
const ChangeRecord* Find(const CollectingSink::State& s, int action, const std::string& name) {
    for (const ChangeBatch& batch : s.batches) {
        for (const ChangeRecord& r : batch) {
            if (r.action == action && r.name == name) return &r;
        }
    }
    return nullptr;
}

class FanotifySourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!scratch.problem.empty()) GTEST_SKIP() << "fanotify tests skipped: " << scratch.problem;
        dir = scratch.folder + "/w";
        outside = scratch.folder + "/out";
        ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
    }
    void TearDown() override {
        if (source) source->Stop();
    }

    std::string At(const std::string& name) const { return dir + "/" + name; }
    std::string Out(const std::string& name) const { return outside + "/" + name; }
    bool StartWatching(FanotifyOptions options = {}, ChangeSink* to = nullptr) {
        source = CreateFanotifySource(options);
        if (source->Start(dir + "/", to ? *to : sink)) return true;
        ADD_FAILURE() << "no fanotify here: " << source->Refusal();
        return false;
    }

    test::ScratchMount scratch;
    std::string dir;
    std::string outside;
    CollectingSink sink;
    std::unique_ptr<FanotifySource> source;
};

// Every kind of change made by the helper process, each with its PID, its name and its
// program; the source is ready at once and says that it knows processes.
TEST_F(FanotifySourceTest, KindsCarryTheHelpersProcess) {
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ready == 1; }));
    EngineStatus status = source->Engine();
    EXPECT_EQ(status.engine, ChangeEngine::Fanotify);
    EXPECT_TRUE(status.knowsProcess);
    EXPECT_EQ(status.summary, texts::kEngineFanotify);
    test::Toucher helper;
    ASSERT_GT(helper.Pid(), 0);
    const char* steps[][3] = {
        {"create", "a.txt", "1 a.txt"}, {"write", "a.txt", "3 a.txt"},
        {"chmod", "a.txt", "3 a.txt"},  {"mkdir", "d", "1 d"},
        {"chmod", "d", "3 d"},          {"unlink", "a.txt", "2 a.txt"},
        {"rmdir", "d", "2 d"},
    };
    std::size_t expected = 0;
    for (const auto& step : steps) {
        ASSERT_EQ(helper.Do(std::string(step[0]) + " " + At(step[1])), "ok") << step[0];
        ++expected;
        ASSERT_TRUE(sink.WaitFor([&](const CollectingSink::State& s) {
            return s.texts.size() >= expected;
        })) << step[2];
        EXPECT_EQ(sink.Snapshot().texts.back(), step[2]);
    }
    auto s = sink.Snapshot();
    EXPECT_EQ(s.texts.size(), expected);
    for (const ChangeBatch& batch : s.batches) {
        for (const ChangeRecord& r : batch) {
            ASSERT_TRUE(r.process) << r.name;
            EXPECT_EQ(r.process->pid, helper.Pid());
            EXPECT_EQ(r.process->name, "qzxtouch");
            EXPECT_EQ(r.process->exe, test::TouchProgram());
        }
    }
    EXPECT_EQ(s.overflows, 0);
}

// A rename inside the tree, across its folders, and of a folder: one pair each, and a folder's
// rename moves what lies below it.
TEST_F(FanotifySourceTest, RenamesInsideAndAcrossFolders) {
    fs::create_directories(At("x"));
    fs::create_directories(At("y"));
    Touch(At("a"));
    Touch(At("x/seen"));
    ASSERT_TRUE(StartWatching());
    // A folder from before Start is placed where it is when its first change is read, so the
    // test lets that happen before moving it.
    Append(At("x/seen"));
    ASSERT_TRUE(sink.Has(3, "x/seen"));
    ASSERT_EQ(::rename(At("a").c_str(), At("b").c_str()), 0);
    ASSERT_EQ(::rename(At("b").c_str(), At("x/c").c_str()), 0);
    ASSERT_EQ(::rename(At("x").c_str(), At("y/x2").c_str()), 0);
    Append(At("y/x2/c"));
    ASSERT_TRUE(sink.Has(3, "y/x2/c"));
    auto s = sink.Snapshot();
    EXPECT_THAT(s.texts,
                ElementsAre("3 x/seen", "4 a", "5 b", "4 b", "5 x/c", "4 x", "5 y/x2", "3 y/x2/c"));
    for (const ChangeBatch& batch : s.batches) {
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (batch[i].action == kActionRenamedOld) {
                ASSERT_LT(i + 1, batch.size()) << "a pair split across batches";
                EXPECT_EQ(batch[i + 1].action, kActionRenamedNew);
            }
        }
    }
}

// Moves over the tree's edge: in is added, out is removed; a tree moved in is added entry by
// entry, each once, and is watched to its bottom; a folder moved out is no longer watched.
TEST_F(FanotifySourceTest, MovesInAndOutOfTheTree) {
    Touch(Out("in.txt"));
    Touch(At("out.txt"));
    fs::create_directories(Out("t/s/u"));
    Touch(Out("t/a.txt"));
    Touch(Out("t/s/u/c.txt"));
    fs::create_directories(At("gone/deep"));
    ASSERT_TRUE(StartWatching());
    ASSERT_EQ(::rename(Out("in.txt").c_str(), At("in.txt").c_str()), 0);
    ASSERT_EQ(::rename(At("out.txt").c_str(), Out("out.txt").c_str()), 0);
    ASSERT_EQ(::rename(Out("t").c_str(), At("t").c_str()), 0);
    ASSERT_TRUE(sink.Has(1, "t/s/u/c.txt"));
    Touch(At("t/s/u/d.txt"));
    ASSERT_TRUE(sink.Has(1, "t/s/u/d.txt"));
    Touch(At("gone/deep/before.txt"));
    ASSERT_TRUE(sink.Has(1, "gone/deep/before.txt"));
    ASSERT_EQ(::rename(At("gone").c_str(), Out("gone").c_str()), 0);
    ASSERT_TRUE(sink.Has(2, "gone"));
    Touch(Out("gone/deep/after.txt"));
    Touch(At("marker"));
    ASSERT_TRUE(sink.Has(1, "marker"));
    auto texts = sink.Snapshot().texts;
    ASSERT_EQ(texts.size(), 11u);
    EXPECT_THAT(std::vector<std::string>(texts.begin(), texts.begin() + 3),
                ElementsAre("1 in.txt", "2 out.txt", "1 t"));
    // The listing of the tree moved in comes in the folder's own order.
    EXPECT_THAT(std::vector<std::string>(texts.begin() + 3, texts.begin() + 7),
                ::testing::UnorderedElementsAre("1 t/a.txt", "1 t/s", "1 t/s/u", "1 t/s/u/c.txt"));
    EXPECT_THAT(std::vector<std::string>(texts.begin() + 7, texts.end()),
                ElementsAre("1 t/s/u/d.txt", "1 gone/deep/before.txt", "2 gone", "1 marker"));
}

// A tree moved in is listed without entering the folders the patterns skip: what lies below
// them is neither read nor reported, whatever it holds.
TEST_F(FanotifySourceTest, MovedInTreeSkipsIgnoredFolders) {
    fs::create_directories(Out("t/node_modules/pkg"));
    Touch(Out("t/node_modules/pkg/index.js"));
    Touch(Out("t/keep.txt"));
    auto rules = std::make_shared<IgnoreRules>();
    ASSERT_FALSE(rules->AddLine("node_modules/"));
    source = CreateFanotifySource();
    source->SetIgnoreRules(rules);
    ASSERT_TRUE(source->Start(dir + "/", sink)) << source->Refusal();
    ASSERT_EQ(::rename(Out("t").c_str(), At("t").c_str()), 0);
    Touch(At("marker"));
    ASSERT_TRUE(sink.Has(1, "marker"));
    EXPECT_THAT(sink.Snapshot().texts, ::testing::UnorderedElementsAre(
                                           "1 t", "1 t/keep.txt", "1 t/node_modules", "1 marker"));
}

// Folders elsewhere whose changes the kernel was told to drop: a move out of one still comes,
// and once such a folder is moved into the tree, what is made in it is heard again. Without
// the kernel's help (ignoreElsewhere off) the records are the same.
TEST_F(FanotifySourceTest, IgnoredFoldersElsewhereStillMoveIn) {
    for (bool ignore : {true, false}) {
        SCOPED_TRACE(ignore ? "ignoring folders elsewhere" : "reading everything");
        const std::string r = ignore ? "a" : "b";
        fs::create_directories(Out(r + "/deep"));
        FanotifyOptions options;
        options.ignoreElsewhere = ignore;
        CollectingSink got;
        ASSERT_TRUE(StartWatching(options, &got));
        // Changes in both folders elsewhere, read before the moves.
        Touch(Out(r + "/x"));
        Touch(Out(r + "/deep/y"));
        Touch(Out(r + "/file"));
        Touch(At(r + "-sync"));
        ASSERT_TRUE(got.Has(1, r + "-sync"));
        ASSERT_EQ(::rename(Out(r + "/file").c_str(), At(r + "-file").c_str()), 0);
        ASSERT_EQ(::rename(Out(r + "/deep").c_str(), At(r + "-deep").c_str()), 0);
        ASSERT_TRUE(got.Has(1, r + "-deep/y"));
        Touch(At(r + "-deep/z"));
        Append(At(r + "-deep/y"));
        ASSERT_TRUE(got.Has(3, r + "-deep/y"));
        EXPECT_THAT(got.Snapshot().texts,
                    ElementsAre("1 " + r + "-sync", "1 " + r + "-file", "1 " + r + "-deep",
                                "1 " + r + "-deep/y", "1 " + r + "-deep/z", "3 " + r + "-deep/y"));
        source->Stop();
    }
}

// Folders made together with their files, faster than anything is read, lose nothing, and
// report each entry once: the mark needs no watch to be set up in them.
TEST_F(FanotifySourceTest, NewNestedFoldersLoseNothing) {
    ASSERT_TRUE(StartWatching());
    test::Toucher helper;
    std::set<std::string> expected;
    for (int i = 0; i < 20; ++i) {
        const std::string top = "n" + std::to_string(i);
        ASSERT_EQ(helper.Do("tree " + At(top + "/a/b/c") + " 10"), "ok");
        for (const char* part : {"", "/a", "/a/b", "/a/b/c"}) expected.insert("1 " + top + part);
        for (int j = 0; j < 10; ++j) expected.insert("1 " + top + "/a/b/c/f" + std::to_string(j));
    }
    ASSERT_TRUE(
        sink.WaitFor([&](const CollectingSink::State& s) { return Includes(s, expected); }));
    auto s = sink.Snapshot();
    for (const std::string& text : expected) EXPECT_EQ(CountOf(s, text), 1) << text;
    EXPECT_EQ(s.texts.size(), expected.size());
}

// A tree that existed before Start and is removed at once: its folders are gone before their
// contents' events are read, and every removal is still reported, in order, with its path.
TEST_F(FanotifySourceTest, TreeFromBeforeStartRemovedAtOnce) {
    std::set<std::string> expected{"2 t"};
    for (int i = 0; i < 5; ++i) {
        std::string folder = "t/d" + std::to_string(i) + "/e";
        fs::create_directories(At(folder));
        expected.insert("2 t/d" + std::to_string(i));
        expected.insert("2 " + folder);
        for (int j = 0; j < 20; ++j) {
            Touch(At(folder + "/f" + std::to_string(j)));
            expected.insert("2 " + folder + "/f" + std::to_string(j));
        }
    }
    ASSERT_TRUE(StartWatching());
    fs::remove_all(At("t"));
    ASSERT_TRUE(sink.Has(2, "t"));
    auto s = sink.Snapshot();
    EXPECT_EQ(std::set<std::string>(s.texts.begin(), s.texts.end()), expected);
    EXPECT_EQ(s.texts.size(), expected.size());
    EXPECT_EQ(s.texts.back(), "2 t");
}

// Whatever happens elsewhere on the same file system never becomes a record.
TEST_F(FanotifySourceTest, ChangesOutsideNeverMakeARecord) {
    fs::create_directories(Out("old/a/b"));
    for (int i = 0; i < 50; ++i) Touch(Out("old/a/b/f" + std::to_string(i)));
    fs::create_directories(scratch.folder + "/w-sibling");
    ASSERT_TRUE(StartWatching());
    test::Toucher helper;
    for (int round = 0; round < 3; ++round) {
        const std::string r = std::to_string(round);
        ASSERT_EQ(helper.Do("tree " + Out("new" + r + "/x/y") + " 30"), "ok");
        ASSERT_EQ(helper.Do("write " + Out("new" + r + "/x/y/f1")), "ok");
        ASSERT_EQ(helper.Do("chmod " + Out("new" + r + "/x")), "ok");
        ASSERT_EQ(helper.Do("rename " + Out("new" + r) + " " + Out("moved" + r)), "ok");
        ASSERT_EQ(helper.Do("create " + scratch.folder + "/w-sibling/s" + r), "ok");
        // A name that starts like the watched folder's is not inside it.
        ASSERT_EQ(helper.Do("create " + dir + "-sibling/p" + r), "ok");
    }
    fs::remove_all(Out("old"));
    fs::remove_all(Out("moved1"));
    Touch(At("marker"));
    ASSERT_TRUE(sink.Has(1, "marker"));
    EXPECT_THAT(sink.Snapshot().texts, ElementsAre("1 marker"));
}

// A folder given through a symbolic link: the changes in its subfolders from before the start
// are inside the tree too, though the kernel names those folders by the link's target.
TEST_F(FanotifySourceTest, FolderGivenThroughALink) {
    fs::create_directories(At("old/deeper"));
    const std::string link = scratch.folder + "/link";
    fs::create_directory_symlink(dir, link);
    source = CreateFanotifySource();
    ASSERT_TRUE(source->Start(link + "/", sink)) << source->Refusal();
    Touch(At("old/deeper/a"));
    Touch(At("old/b"));
    Touch(Out("c"));
    Touch(At("top"));
    ASSERT_TRUE(sink.Has(1, "top"));
    EXPECT_THAT(sink.Snapshot().texts, ElementsAre("1 old/deeper/a", "1 old/b", "1 top"));
}

TEST_F(FanotifySourceTest, WatchedFolderMovedAwayEnds) {
    ASSERT_TRUE(StartWatching());
    ASSERT_EQ(::rename(dir.c_str(), Out("w").c_str()), 0);
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ended > 0; }));
    EXPECT_EQ(sink.Snapshot().ended, 1);
}

// Short-lived writers, each ended and reaped before its changes are read: named after the
// program each started, as heard before its changes. Without the starts, a process that had
// ended is its PID alone: whatever has that PID by then is not asked about.
TEST_F(FanotifySourceTest, EndedProcessesNamedFromTheirStart) {
    struct Case {
        bool programEvents;
        const char* name;
        bool withProgram;
    };
    for (const Case& c : {Case{true, "qzxtouch", true}, Case{false, "", false}}) {
        SCOPED_TRACE(c.programEvents ? "with program starts" : "without");
        StallingSink stalling;
        FanotifyOptions options;
        options.programEvents = c.programEvents;
        ASSERT_TRUE(StartWatching(options, &stalling));
        const std::string first = c.programEvents ? "first" : "first.old";
        Touch(At(first));
        stalling.WaitUntilStalled();
        std::vector<std::pair<std::string, int>> written;
        for (int i = 0; i < 20; ++i) {
            const std::string name = first + "-gone" + std::to_string(i);
            written.emplace_back(name, test::TouchOnce("create", At(name)));
            ASSERT_GT(written.back().second, 0);
        }
        stalling.Release();
        ASSERT_TRUE(stalling.Has(1, written.back().first));
        const CollectingSink::State state = stalling.Snapshot();
        for (const auto& [name, pid] : written) {
            const ChangeRecord* record = Find(state, 1, name);
            ASSERT_TRUE(record && record->process) << name;
            EXPECT_EQ(record->process->pid, pid);
            EXPECT_EQ(record->process->name, c.name);
            EXPECT_EQ(record->process->exe, c.withProgram ? test::TouchProgram() : "");
        }
        source->Stop();
    }
}

// As on a kernel before 5.17: no rename events and no handles of entries. The halves of a
// move are paired, and moves over the edge and of folders come out as with rename events.
TEST_F(FanotifySourceTest, HalvesOnAnOlderKernel) {
    Touch(At("a"));
    Touch(At("c"));
    Touch(Out("in"));
    fs::create_directories(At("d/e"));
    FanotifyOptions older;
    older.renameEvents = false;
    older.targetHandles = false;
    ASSERT_TRUE(StartWatching(older));
    ASSERT_EQ(::rename(At("a").c_str(), At("b").c_str()), 0);
    ASSERT_EQ(::rename(Out("in").c_str(), At("in").c_str()), 0);
    // Not b: its move away would merge into the event of its arrival, if that is still queued.
    ASSERT_EQ(::rename(At("c").c_str(), Out("c").c_str()), 0);
    Touch(At("d/e/x"));
    ASSERT_TRUE(sink.Has(1, "d/e/x"));
    ASSERT_EQ(::rename(At("d").c_str(), At("d2").c_str()), 0);
    Append(At("d2/e/x"));
    ASSERT_TRUE(sink.Has(3, "d2/e/x"));
    EXPECT_THAT(sink.Snapshot().texts,
                ElementsAre("4 a", "5 b", "1 in", "2 c", "1 d/e/x", "4 d", "5 d2", "3 d2/e/x"));
}

// A stop that drains reports everything made before it, however soon it comes.
TEST_F(FanotifySourceTest, StopAfterDrainingLosesNothingMadeBefore) {
    ASSERT_TRUE(StartWatching());
    for (int i = 0; i < 2000; ++i) Touch(At("f" + std::to_string(i)));
    source->StopAfterDraining();
    auto s = sink.Snapshot();
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(CountOf(s, "1 f" + std::to_string(i)), 1) << i;
}

// The machine's own /tmp, where every other process on the machine changes files too: the
// records are exactly the test's own.
TEST(FanotifySourceOnTmp, OnlyTheTreesChangesAmongTheMachines) {
    if (::geteuid() != 0) GTEST_SKIP() << "fanotify tests skipped: they need root";
    char pattern[] = "/tmp/qzx-fanotify-tmp-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::string dir = pattern;
    struct statfs info;
    ASSERT_EQ(::statfs(dir.c_str(), &info), 0);
    std::printf("/tmp is a file system of type 0x%lx\n", static_cast<unsigned long>(info.f_type));
    CollectingSink sink;
    auto source = CreateFanotifySource();
    if (!source->Start(dir + "/", sink)) {
        fs::remove_all(dir);
        GTEST_SKIP() << "/tmp refuses fanotify: " << source->Refusal();
    }
    test::Toucher helper;
    ASSERT_EQ(helper.Do("tree " + dir + "/n/a 3"), "ok");
    ASSERT_EQ(helper.Do("rename " + dir + "/n/a/f0 " + dir + "/n/g"), "ok");
    ASSERT_EQ(helper.Do("unlink " + dir + "/n/g"), "ok");
    ASSERT_TRUE(sink.Has(2, "n/g"));
    // The handle this file system gives the folder is the one its events carry.
    fs::remove_all(dir);
    ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ended > 0; }));
    source->Stop();
    auto s = sink.Snapshot();
    s.texts.resize(std::min<std::size_t>(s.texts.size(), 8));
    EXPECT_THAT(s.texts, ElementsAre("1 n", "1 n/a", "1 n/a/f0", "1 n/a/f1", "1 n/a/f2", "4 n/a/f0",
                                     "5 n/g", "2 n/g"));
    for (const ChangeBatch& batch : s.batches) {
        for (const ChangeRecord& r : batch) {
            if (r.name.rfind("n/", 0) == 0 && r.action != kActionRemoved) {
                EXPECT_EQ(r.process->name, "qzxtouch");
            }
        }
    }
}

// The contract of every source, on a tmpfs of the test's own.
struct FanotifyContract : test::PosixContract {
    using Place = test::ScratchMount;
    using Source = FanotifySource;
    // The queue is the kernel's without limit: the reader's own bound, set below what the
    // flood fills, is what loses changes here.
    static std::unique_ptr<Source> Make() {
        FanotifyOptions options;
        options.maxQueuedBytes = static_cast<std::size_t>(QueueLimit()) * 8;
        return CreateFanotifySource(options);
    }
    static long QueueLimit() { return LimitIn("/proc/sys/fs/fanotify/max_queued_events"); }
    // A folder that is no folder is the caller's fault, not fanotify's refusal.
    static void AfterRefusal(const Source& source) { EXPECT_EQ(source.Refusal(), ""); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(FanotifySource, ChangeSourceContract, FanotifyContract);

// The window's source through qzxfile-helper, run as root without pkexec. Its queue bound is
// the helper's own, which nothing outside may lower: the overflow case skips. The mark is
// placed by the helper after Start returns, so changes are sure to be seen from OnReady on.
struct HelperContract : test::PosixContract {
    using Place = test::ScratchMount;
    using Source = ChangeSource;
    static constexpr bool kReadyAtStart = false;
    static std::unique_ptr<Source> Make() {
        return CreateHelperSource({}, QZX_HELPER_PATH, [] { return CreateInotifySource(); });
    }
    static long QueueLimit() { return 0; }
};
INSTANTIATE_TYPED_TEST_SUITE_P(HelperSource, ChangeSourceContract, HelperContract);

}  // namespace
}  // namespace qzx
