// What every change source promises, tested once against each: a source joins with a traits
// struct and one line,
//     INSTANTIATE_TYPED_TEST_SUITE_P(NameSource, ChangeSourceContract, NameContract);
// The traits give:
//     Place               a scratch folder: `problem` (why there is none: the cases skip) and
//                         `folder` (without a trailing separator); removed with its contents
//     kSeparator          the separator of the source's paths
//     Source, Make()      the source's type and a fresh one
//     MakeFolder(path)    makes a folder; false when it cannot
//     Touch(path)         makes or empties a file; false when it cannot
//     kTouchModifies      whether the source reports a Touch as a modification too
//     RemoveTree(place, path)   removes a folder with its contents, as another program would
//     QueueLimit()        how many changes fill the source's kernel queue; 0 when the source
//                         cannot be made to lose changes on demand (the overflow case skips)
//     Flood(place, folder, count)   makes count new files f<n> in folder, as fast as it can
//     AfterRefusal(source)      checks that the source tells a refused folder as its own fault
//     kReadyAtStart       (optional, true when absent) whether a change made right after Start
//                         is already seen; false for a source that is only sure from OnReady
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "tests/support/CollectingSink.h"
#include "watch/ChangeSource.h"

namespace qzx {

template <class T, class = void>
struct ReadyAtStart : std::true_type {};
template <class T>
struct ReadyAtStart<T, std::void_t<decltype(T::kReadyAtStart)>>
    : std::bool_constant<T::kReadyAtStart> {};

template <class Traits>
class ChangeSourceContract : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!place.problem.empty()) GTEST_SKIP() << "skipped: " << place.problem;
        ASSERT_FALSE(place.folder.empty());
        watched = place.folder + Traits::kSeparator + "w";
        ASSERT_TRUE(Traits::MakeFolder(watched));
        source = Traits::Make();
    }
    void TearDown() override {
        if (source) source->Stop();
    }

    std::string At(const std::string& name) const { return watched + Traits::kSeparator + name; }
    std::string Folder() const { return watched + Traits::kSeparator; }

    typename Traits::Place place;
    std::string watched;  // without a trailing separator
    CollectingSink sink;
    std::unique_ptr<typename Traits::Source> source;
};

TYPED_TEST_SUITE_P(ChangeSourceContract);

// Stop in the middle of a stream of changes returns and leaves no sink call behind, a second
// Stop and one before any Start are harmless, and a new start on the same source works.
TYPED_TEST_P(ChangeSourceContract, StopWhileBusyThenStartAgain) {
    using namespace std::chrono_literals;
    auto& source = this->source;
    source->Stop();  // never started
    ASSERT_TRUE(source->Start(this->Folder(), this->sink));
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (int i = 0; writing; ++i) TypeParam::Touch(this->At("w" + std::to_string(i % 50)));
    });
    const bool busy =
        this->sink.WaitFor([](const CollectingSink::State& s) { return s.texts.size() > 100; });
    auto stopped = std::async(std::launch::async, [&] { source->Stop(); });
    const bool stoppedInTime = stopped.wait_for(10s) == std::future_status::ready;
    stopped.wait();
    this->sink.Close();
    writing = false;
    writer.join();
    ASSERT_TRUE(busy);
    EXPECT_TRUE(stoppedInTime);
    ASSERT_TRUE(TypeParam::Touch(this->At("late.txt")));
    source->Stop();
    const CollectingSink::State s = this->sink.Snapshot();
    EXPECT_EQ(s.callsAfterClose, 0);
    EXPECT_EQ(s.ended, 0);
    EXPECT_EQ(CountOf(s, "1 late.txt"), 0);

    CollectingSink second;
    ASSERT_TRUE(source->Start(this->Folder(), second));
    if (!ReadyAtStart<TypeParam>::value) {
        ASSERT_TRUE(second.WaitFor([](const CollectingSink::State& s) { return s.ready > 0; }));
    }
    ASSERT_TRUE(TypeParam::Touch(this->At("again.txt")));
    EXPECT_TRUE(second.Has(1, "again.txt"));
    // The source may still report to second (a late event): stop it before second goes.
    source->Stop();
}

// A full kernel queue is an overflow, never a made-up record, and watching goes on after it.
TYPED_TEST_P(ChangeSourceContract, OverflowIsReportedAndWatchingGoesOn) {
    const long limit = TypeParam::QueueLimit();
    if (limit == 0) GTEST_SKIP() << "this source cannot be made to lose changes on demand";
    StallingSink stalling;
    ASSERT_TRUE(this->source->Start(this->Folder(), stalling));
    ASSERT_TRUE(TypeParam::Touch(this->At("first")));
    stalling.WaitUntilStalled();
    ASSERT_TRUE(TypeParam::Flood(this->place, this->watched, limit + 1000));
    stalling.Release();
    ASSERT_TRUE(stalling.WaitFor([](const CollectingSink::State& s) { return s.overflows > 0; }));
    ASSERT_TRUE(TypeParam::Touch(this->At("after.txt")));
    EXPECT_TRUE(stalling.Has(1, "after.txt"));
    const bool touchModifies = TypeParam::kTouchModifies;
    for (const std::string& text : stalling.Snapshot().texts) {
        EXPECT_TRUE(text.rfind("1 f", 0) == 0 || text.rfind("3 f", 0) == 0 || text == "1 first" ||
                    text == "1 after.txt" || (touchModifies && text == "3 after.txt"))
            << text;
    }
    this->source->Stop();
}

// A folder that is missing, a file, or nothing is refused at Start, and nothing is reported.
TYPED_TEST_P(ChangeSourceContract, StartRefusesWhatCannotBeWatched) {
    auto& source = this->source;
    const char separator = TypeParam::kSeparator;
    EXPECT_FALSE(source->Start(this->At("missing") + separator, this->sink));
    TypeParam::AfterRefusal(*source);
    ASSERT_TRUE(TypeParam::Touch(this->At("file")));
    EXPECT_FALSE(source->Start(this->At("file") + separator, this->sink));
    TypeParam::AfterRefusal(*source);
    EXPECT_FALSE(source->Start(this->At("file"), this->sink));
    EXPECT_FALSE(source->Start("", this->sink));
    source->Stop();
    const CollectingSink::State s = this->sink.Snapshot();
    EXPECT_TRUE(s.batches.empty());
    EXPECT_EQ(s.ended, 0);
}

// The watched folder removed ends the run by itself, told once, after the removal of a file
// that was there before Start.
TYPED_TEST_P(ChangeSourceContract, WatchedFolderRemovedEndsOnce) {
    using namespace std::chrono_literals;
    ASSERT_TRUE(TypeParam::Touch(this->At("a")));
    ASSERT_TRUE(this->source->Start(this->Folder(), this->sink));
    ASSERT_TRUE(this->sink.WaitFor([](const CollectingSink::State& s) { return s.ready > 0; }));
    ASSERT_TRUE(TypeParam::RemoveTree(this->place, this->watched));
    ASSERT_TRUE(
        this->sink.WaitFor([](const CollectingSink::State& s) { return s.ended > 0; }, 10s));
    this->source->Stop();
    this->source->Stop();
    const CollectingSink::State s = this->sink.Snapshot();
    EXPECT_EQ(s.ended, 1);
    EXPECT_EQ(s.texts, std::vector<std::string>{"2 a"});
}

REGISTER_TYPED_TEST_SUITE_P(ChangeSourceContract, StopWhileBusyThenStartAgain,
                            OverflowIsReportedAndWatchingGoesOn, StartRefusesWhatCannotBeWatched,
                            WatchedFolderRemovedEndsOnce);

}  // namespace qzx
