// When what was read about a PID is trusted, and when it is read again.
#include <gtest/gtest.h>

#include <map>

#include "watch/ProcessCache.h"

namespace qzx {
namespace {

using namespace std::chrono_literals;

// A process table the test changes as it goes.
class FakeTable : public ProcessReader {
  public:
    std::map<int, std::string> running;
    std::map<int, std::string> programs;      // else /usr/bin/NAME
    std::map<int, std::uint64_t> handles;     // process handle -> identity
    std::map<int, std::uint64_t> identities;  // PID -> identity of what runs under it now
    int reads = 0;
    std::optional<ProcessInfo> Read(int pid) override {
        ++reads;
        auto it = running.find(pid);
        if (it == running.end()) return std::nullopt;
        auto program = programs.find(pid);
        return ProcessInfo{pid, it->second,
                           program != programs.end() ? program->second : "/usr/bin/" + it->second};
    }
    std::uint64_t Identity(int handle) override { return handles[handle]; }
    std::uint64_t IdentityOf(int pid) override { return identities[pid]; }
};

class ProcessCacheTest : public ::testing::Test {
  protected:
    FakeTable table;
    ProcessCache cache{table};
    ProcessCache::Clock::time_point t0{};
};

// A burst from one process reads the table once; after a while it is read again, since the
// process may have become another program.
TEST_F(ProcessCacheTest, ReadOncePerPidWhileFresh) {
    table.running[5] = "sh";
    auto first = cache.Find(5, ProcessState::Running, t0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "sh");
    EXPECT_EQ(first->exe, "/usr/bin/sh");
    EXPECT_EQ(cache.Find(5, ProcessState::Running, t0 + 100ms), first);
    EXPECT_EQ(cache.Find(5, ProcessState::Unknown, t0 + 200ms), first);
    EXPECT_EQ(table.reads, 1);
    table.running[5] = "cp";
    auto later = cache.Find(5, ProcessState::Running, t0 + ProcessCache::kFreshFor);
    EXPECT_EQ(later->name, "cp");
    EXPECT_EQ(table.reads, 2);
}

// A process that had ended is never named after what runs under its PID now; one read while
// it ran still names it.
TEST_F(ProcessCacheTest, EndedProcessIsItsPidAlone) {
    table.running[9] = "reused";
    auto ended = cache.Find(9, ProcessState::Ended, t0);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->pid, 9);
    EXPECT_TRUE(ended->name.empty());
    EXPECT_EQ(table.reads, 0);
    // A running process under the same PID is another one, and is read.
    EXPECT_EQ(cache.Find(9, ProcessState::Running, t0 + 1ms)->name, "reused");
    // Its later changes, read after it ended, keep its name while that is fresh.
    EXPECT_EQ(cache.Find(9, ProcessState::Ended, t0 + 2ms)->name, "reused");
    EXPECT_TRUE(cache.Find(9, ProcessState::Ended, t0 + 1s)->name.empty());
}

TEST_F(ProcessCacheTest, GoneOrInvisibleProcesses) {
    // Gone by the time it is read: the PID alone.
    auto gone = cache.Find(3, ProcessState::Unknown, t0);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->pid, 3);
    EXPECT_TRUE(gone->name.empty());
    // The kernel's own work, or a process in another PID namespace: no process at all.
    EXPECT_FALSE(cache.Find(0, ProcessState::Running, t0));
    EXPECT_FALSE(cache.Find(-1, ProcessState::Unknown, t0));
}

// A fork storm keeps the cache bounded.
TEST_F(ProcessCacheTest, ManyPidsStayBounded) {
    for (int pid = 1; pid <= 3 * static_cast<int>(ProcessCache::kMaxEntries); ++pid) {
        table.running[pid] = "w";
        cache.Find(pid, ProcessState::Running, t0 + std::chrono::milliseconds(pid % 7));
    }
    EXPECT_LE(cache.Size(), ProcessCache::kMaxEntries);
}

// What a program's start names: only the process that started it, while its changes may still
// be queued, whatever has its PID before or after it.
TEST_F(ProcessCacheTest, StartNamesOnlyItsOwnProcess) {
    using S = ProcessState;
    const auto t1 = t0 + 1ms;
    // Started and still running: the change's handle says it is the same process.
    table.handles = {{1, 100}, {2, 200}, {3, 300}, {4, 400}, {5, 500}};
    cache.OnProgramStart(7, S::Running, 1, "/usr/bin/cp", t0);
    table.running[7] = "cp";
    EXPECT_EQ(cache.Find(7, S::Running, 1, t1)->name, "cp");
    // Another process under the PID now: read, never named after the start.
    table.running[7] = "other";
    EXPECT_EQ(cache.Find(7, S::Running, 2, t1)->name, "other");
    // Ended when its start was read: its changes read after it ended carry the program...
    cache.OnProgramStart(8, S::Ended, -1, "/usr/bin/a-long-program-name", t0);
    auto ended = cache.Find(8, S::Ended, -1, t1);
    EXPECT_EQ(ended->name, "a-long-program-");  // as the system shortens it
    EXPECT_EQ(ended->exe, "/usr/bin/a-long-program-name");
    // ...a running process under its PID is a later one...
    EXPECT_EQ(cache.Find(8, S::Running, 3, t1)->name, "");
    // ...and once the queue has been found empty, the start is forgotten.
    cache.OnProgramStart(9, S::Ended, -1, "/usr/bin/dd", t0);
    EXPECT_TRUE(cache.WaitsForEmptyQueue());
    cache.OnQueueEmpty(t1);
    EXPECT_EQ(cache.Find(9, S::Ended, -1, t1)->name, "");
    // The loader the kernel starts right after a program is not the process's program; a
    // later start is.
    table.running[10] = "sh";
    table.programs[10] = "/usr/bin/dash";
    cache.OnProgramStart(10, S::Running, 4, "/usr/bin/dash", t0);
    cache.OnProgramStart(10, S::Running, 4, "/lib64/ld-linux-x86-64.so.2", t0);
    // Its own name once it has changed something, since the file was reached through a link.
    EXPECT_EQ(cache.Find(10, S::Running, 4, t1)->name, "sh");
    cache.OnProgramStart(10, S::Running, 4, "/usr/bin/mv", t0);
    cache.OnProgramStart(10, S::Running, 4, "/lib64/ld-linux-x86-64.so.2", t0);
    // The table shows the program before the name changes: a read then is not trusted.
    auto mv = cache.Find(10, S::Running, 4, t1);
    EXPECT_EQ(mv->name, "mv");
    EXPECT_EQ(mv->exe, "/usr/bin/mv");
    // One that ends without a change read after: asked now and then, forgotten when gone.
    table.identities[11] = 500;
    cache.OnProgramStart(11, S::Running, 5, "/usr/bin/rm", t0);
    cache.OnQueueEmpty(t0 + 2s);
    EXPECT_EQ(cache.Find(11, S::Running, 5, t0 + 2s)->name, "rm");
    table.identities.erase(11);
    cache.OnQueueEmpty(t0 + 4s);
    cache.OnQueueEmpty(t0 + 4s);
    EXPECT_EQ(cache.Find(11, S::Ended, -1, t0 + 4s)->name, "");
}

TEST(ProcessLabel, NameAndPidOrPidAlone) {
    EXPECT_EQ(ProcessLabel(ProcessInfo{42, "qzxtouch", "/x"}), "qzxtouch(42)");
    EXPECT_EQ(ProcessLabel(ProcessInfo{42, "", ""}), "42");
}

}  // namespace
}  // namespace qzx
