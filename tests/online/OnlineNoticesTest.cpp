#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "online/OnlineNotices.h"
#include "tests/support/OfflineNotices.h"

namespace qzx {
namespace {

using namespace std::chrono_literals;

ServiceStrings TestStrings() { return test::ExampleStrings(); }

// Answers fetches from a table; while closed, a fetch waits for the gate or for its stop flag,
// like a silent server would.
class FakeServer {
  public:
    void Answer(const std::string& url, int result, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        answers[url] = {result, text};
    }
    void SetOpen(bool open) {
        std::lock_guard<std::mutex> lock(mutex);
        gateOpen = open;
        changed.notify_all();
    }
    int Calls(const std::string& url) {
        std::lock_guard<std::mutex> lock(mutex);
        return calls[url];
    }
    int Finished() {
        std::lock_guard<std::mutex> lock(mutex);
        return finished;
    }
    // Waits until count fetches have ended, at most two seconds.
    bool WaitFinished(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 2s, [&] { return finished >= count; });
    }
    FetchFunction Function() {
        return [this](const std::string& url, std::string& out, const std::atomic<bool>& stop) {
            std::unique_lock<std::mutex> lock(mutex);
            ++calls[url];
            while (!gateOpen && !stop) changed.wait_for(lock, 5ms);
            const auto answer = answers[url];
            if (!stop) out = answer.second;
            return stop ? 0 : answer.first;
        };
    }
    std::function<void()> DoneHook() {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex);
            ++finished;
            changed.notify_all();
        };
    }

  private:
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::pair<int, std::string>> answers;
    std::map<std::string, int> calls;
    bool gateOpen = true;
    int finished = 0;
};

const std::string kFeed =
    "<qzxads><soft>*</soft><url>http://a/</url><title>A</title><color>1</color>##"
    "<soft>*</soft><url>file:///etc/passwd</url><title>B</title><color>3</color></qzxads>";

// While the first fetch is still under way, the next tick shows the default again and starts
// no second fetch; once it has answered, the items rotate and the feed is never asked again.
TEST(OnlineNotices, TickerFetchesOnceAtATimeAndStopsFetchingOnceFilled) {
    FakeServer server;
    server.Answer("http://feed.example/news.txt", 1, kFeed);
    server.SetOpen(false);
    OnlineNotices notices(TestStrings(), server.Function(), server.DoneHook());

    TickerView view = notices.AdvanceTicker();
    EXPECT_EQ(view.title, "默认标题");
    EXPECT_EQ(view.color, (Rgb{0, 0, 0}));
    view = notices.AdvanceTicker();
    EXPECT_EQ(view.title, "默认标题");
    EXPECT_EQ(notices.TickerClickTarget(), "http://link.example/");

    server.SetOpen(true);
    ASSERT_TRUE(server.WaitFinished(1));
    EXPECT_EQ(server.Calls("http://feed.example/news.txt"), 1);

    view = notices.AdvanceTicker();
    EXPECT_EQ(view.title, "a");
    EXPECT_EQ(view.color, (Rgb{255, 0, 0}));
    EXPECT_EQ(notices.TickerClickTarget(), "http://a/");
    view = notices.AdvanceTicker();
    EXPECT_EQ(view.title, "b");
    EXPECT_EQ(notices.TickerClickTarget(), "http://link.example/");
    EXPECT_EQ(notices.AdvanceTicker().title, "a");
    EXPECT_EQ(server.Calls("http://feed.example/news.txt"), 1);
}

TEST(OnlineNotices, FailedFeedIsFetchedAgainOnEveryTick) {
    FakeServer server;
    server.Answer("http://feed.example/news.txt", 0, "");
    OnlineNotices notices(TestStrings(), server.Function(), server.DoneHook());
    for (int tick = 1; tick <= 3; ++tick) {
        EXPECT_EQ(notices.AdvanceTicker().title, "默认标题");
        ASSERT_TRUE(server.WaitFinished(tick));
    }
    EXPECT_EQ(server.Calls("http://feed.example/news.txt"), 3);
}

TEST(OnlineNotices, UpdateOfferComesOnceFromOneFetch) {
    FakeServer server;
    server.Answer("http://update.example/update.txt", 1,
                  "<QZXVersion>1.3</QZXVersion><QZXUpdateUrl>javascript:alert(1)</QZXUpdateUrl>"
                  "<QZXUpdateAbout>更快</QZXUpdateAbout>");
    OnlineNotices notices(TestStrings(), server.Function(), server.DoneHook());
    EXPECT_FALSE(notices.Poll());
    notices.StartUpdateCheck();
    notices.StartUpdateCheck();
    ASSERT_TRUE(server.WaitFinished(1));
    const auto offer = notices.Poll();
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->question, UpdateCheck::Question("1.3", "更快"));
    EXPECT_EQ(offer->target, "http://site.example/");
    EXPECT_FALSE(notices.Poll());
    EXPECT_EQ(server.Calls("http://update.example/update.txt"), 1);
}

// Closing the window while both servers stay silent must not wait for them.
TEST(OnlineNotices, DestructionStopsFetchesInFlight) {
    FakeServer server;
    server.SetOpen(false);
    auto notices =
        std::make_unique<OnlineNotices>(TestStrings(), server.Function(), server.DoneHook());
    notices->AdvanceTicker();
    notices->StartUpdateCheck();
    notices.reset();
    EXPECT_EQ(server.Finished(), 2);
}

TEST(OnlineNotices, FetchThatThrowsCountsAsFailure) {
    FakeServer server;
    OnlineNotices notices(
        TestStrings(),
        [](const std::string&, std::string&, const std::atomic<bool>&) -> int {
            throw std::runtime_error("no network");
        },
        server.DoneHook());
    notices.AdvanceTicker();
    notices.StartUpdateCheck();
    ASSERT_TRUE(server.WaitFinished(2));
    EXPECT_FALSE(notices.Poll());
    EXPECT_EQ(notices.AdvanceTicker().title, "默认标题");
    ASSERT_TRUE(server.WaitFinished(3));  // and the feed is asked again
}

}  // namespace
}  // namespace qzx
