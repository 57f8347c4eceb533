// The old name of a rename held back across reads, and the wait that ends the holding.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "watch/HeldRename.h"

namespace qzx {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using Clock = HeldRename::Clock;

std::vector<std::string> Texts(const ChangeBatch& batch) {
    std::vector<std::string> texts;
    for (const ChangeRecord& r : batch) texts.push_back(std::to_string(r.action) + " " + r.name);
    return texts;
}

const Clock::time_point t0 = Clock::time_point() + 1h;

// The old name at the end of one read meets its new name at the start of the next.
TEST(HeldRename, TrailingOldNameJoinsTheNextBatch) {
    HeldRename held;
    ChangeBatch first{{kActionAdded, "a"}, {kActionRenamedOld, "b"}};
    held.Take(first, t0);
    EXPECT_THAT(Texts(first), ElementsAre("1 a"));
    EXPECT_TRUE(held.Holding());

    ChangeBatch second{{kActionRenamedNew, "c"}, {kActionAdded, "d"}};
    held.Take(second, t0 + 1ms);
    EXPECT_THAT(Texts(second), ElementsAre("4 b", "5 c", "1 d"));
    EXPECT_FALSE(held.Holding());
    EXPECT_TRUE(held.Release().empty());
}

// Only an old name that ends a batch waits; anything else goes through untouched.
TEST(HeldRename, OnlyATrailingOldNameIsHeld) {
    const std::vector<ChangeBatch> passing = {
        {},
        {{kActionRenamedOld, "a"}, {kActionRenamedNew, "b"}},
        {{kActionRenamedOld, "a"}, {kActionRemoved, "c"}},
        {{kActionRenamedNew, "b"}},
        {{kActionOther, "x"}},
    };
    for (const ChangeBatch& batch : passing) {
        HeldRename held;
        ChangeBatch taken = batch;
        held.Take(taken, t0);
        EXPECT_EQ(Texts(taken), Texts(batch));
        EXPECT_FALSE(held.Holding());
    }
}

// A batch of one old name hands on nothing; a second lone old name sends the first on and
// waits in its place, for a wait of its own; a release hands out the last one alone, once.
TEST(HeldRename, LoneOldNamesTakeTurnsAndReleaseAlone) {
    HeldRename held;
    ChangeBatch first{{kActionRenamedOld, "a"}};
    held.Take(first, t0);
    EXPECT_TRUE(first.empty());

    ChangeBatch second{{kActionRenamedOld, "b"}};
    held.Take(second, t0 + 10ms);
    EXPECT_THAT(Texts(second), ElementsAre("4 a"));
    EXPECT_FALSE(held.Due(t0 + 20ms));
    EXPECT_TRUE(held.Due(t0 + 25ms));

    EXPECT_THAT(Texts(held.Release()), ElementsAre("4 b"));
    EXPECT_FALSE(held.Holding());
    EXPECT_FALSE(held.Due(t0 + 1h));
    EXPECT_TRUE(held.Release().empty());
}

// The wait lasts kHeldRenameWait from the hold; what is left is rounded up, so that a wait
// for exactly that long ends when the name is due, never a little before.
TEST(HeldRename, WaitEndsAfterTheHoldTimeRoundedUp) {
    RenameWait wait;
    wait.Start(t0);
    EXPECT_EQ(wait.Left(t0), kHeldRenameWait);
    EXPECT_EQ(wait.Left(t0 + 14ms + 200us), 1ms);
    EXPECT_FALSE(wait.Over(t0 + 14ms + 999us));
    EXPECT_TRUE(wait.Over(t0 + kHeldRenameWait));
    EXPECT_EQ(wait.Left(t0 + kHeldRenameWait), 0ms);
    EXPECT_EQ(wait.Left(t0 + 1s), 0ms);
    // A new hold starts the wait again.
    wait.Start(t0 + 1s);
    EXPECT_FALSE(wait.Over(t0 + 1s + 1ms));
    EXPECT_EQ(wait.Left(t0 + 1s + 5ms), 10ms);
}

}  // namespace
}  // namespace qzx
