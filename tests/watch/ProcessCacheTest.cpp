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
    int reads = 0;
    std::optional<ProcessInfo> Read(int pid) override {
        ++reads;
        auto it = running.find(pid);
        if (it == running.end()) return std::nullopt;
        return ProcessInfo{pid, it->second, "/usr/bin/" + it->second};
    }
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

TEST(ProcessLabel, NameAndPidOrPidAlone) {
    EXPECT_EQ(ProcessLabel(ProcessInfo{42, "qzxtouch", "/x"}), "qzxtouch(42)");
    EXPECT_EQ(ProcessLabel(ProcessInfo{42, "", ""}), "42");
}

}  // namespace
}  // namespace qzx
