// FetchText over the real HTTP client against a server on the loopback interface.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "online/HttpTools.h"
#include "online/OnlineNotices.h"
#include "tests/online/LoopbackServer.h"

namespace qzx {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;

// A port on the loopback interface that nothing listens on: bound once, then closed.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

class HttpGetCurl : public ::testing::Test {
  protected:
    LoopbackServer server;
    std::unique_ptr<HttpGet> http = MakeHttpGet();
    HttpTools tools{*http};

    int Fetch(const std::string& path, std::string& out) {
        return tools.FetchText(server.Url(path), out);
    }
};

TEST_F(HttpGetCurl, RequestCarriesRnumAndUserAgentAndBodyLosesLineEnds) {
    std::string out;
    EXPECT_EQ(Fetch("/text", out), 1);
    EXPECT_EQ(out, "firstsecondlast");
    EXPECT_EQ(server.LastTarget(), "/text?rnum=39");
    EXPECT_EQ(server.LastAgent(), "QzxFile");
    EXPECT_EQ(Fetch("/text?id=5", out), 1);
    EXPECT_EQ(server.LastTarget(), "/text?id=5&rnum=39");
}

TEST_F(HttpGetCurl, NotFoundIsSuccessWithEmptyTextAndRedirectIsFollowed) {
    std::string out = "old";
    EXPECT_EQ(Fetch("/missing", out), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Fetch("/moved", out), 1);
    EXPECT_EQ(out, "firstsecondlast");
}

TEST_F(HttpGetCurl, BodyIsDecodedToUtf8) {
    std::string out;
    EXPECT_EQ(Fetch("/gbk", out), 1);
    EXPECT_EQ(out, "好消息");
    EXPECT_EQ(Fetch("/utf8", out), 1);
    EXPECT_EQ(out, "好消息");
    EXPECT_EQ(Fetch("/bad-gbk", out), 1);
    EXPECT_EQ(out.substr(0, 2), "ok");
    EXPECT_NE(out.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(out.find('z'), std::string::npos);
}

TEST_F(HttpGetCurl, HugeBodyIsCutAtOneMebibyteAndFails) {
    std::string out;
    EXPECT_EQ(Fetch("/huge", out), 0);
    EXPECT_EQ(out.size(), 1u << 20);
}

TEST_F(HttpGetCurl, DroppedConnectionGivesWhatArrived) {
    std::string out;
    EXPECT_EQ(Fetch("/reset", out), 0);
    EXPECT_EQ(out, "line1line2li");
}

TEST_F(HttpGetCurl, UnreachablePortFails) {
    const int port = FreePort();
    std::string out = "old";
    EXPECT_EQ(tools.FetchText("http://127.0.0.1:" + std::to_string(port) + "/", out), 0);
    EXPECT_EQ(out, "");
}

TEST_F(HttpGetCurl, SilentServerTimesOut) {
    FetchLimits limits;
    limits.totalTimeoutMs = 300;
    HttpTools quick(*http, limits);
    std::string out;
    EXPECT_EQ(quick.FetchText(server.Url("/silent"), out), 0);
    EXPECT_EQ(out, "");
}

// A stop request ends a fetch from a silent server long before its 10 s time-out.
TEST_F(HttpGetCurl, StopFlagEndsFetchEarly) {
    std::atomic<bool> stop{false};
    std::string out;
    auto result = std::async(std::launch::async,
                             [&] { return tools.FetchText(server.Url("/silent"), out, &stop); });
    stop = true;
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
}

// Bad feed input through the whole chain: capitals, short pieces, a missing colour and
// addresses that must never be opened.
TEST_F(HttpGetCurl, FeedFromServerDrivesTheTicker) {
    server.feed =
        "<QZXADS>"
        "<SOFT>*</SOFT><URL>HTTP://A.EXAMPLE/</URL><TITLE>Alpha</TITLE><COLOR>4</COLOR>##"
        "1234567##"
        "<soft>*</soft><url>http://x/</url><title>no colour</title>##"
        "<soft>*</soft><url>file:///etc/passwd</url><title>b</title><color>1</color>##"
        "<soft>*</soft><url>javascript:alert(1)</url><title>c</title><color>1</color>##"
        "<soft>*</soft><url>\\\\host\\share\\x.exe</url><title>d</title><color>1</color>##"
        "<soft>*</soft><url>/usr/bin/xterm</url><title>e</title><color>1</color>"
        "</QZXADS>";
    ServiceStrings strings;
    strings.linkUrlDefault = "http://www.example.com/qzxfile/";
    strings.linkTitleDefault = "默认";
    strings.feedUrl = server.Url("/feed");
    strings.siteUrl = "http://www.example.com/";

    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    OnlineNotices notices(
        strings,
        [this](const std::string& url, std::string& out, const std::atomic<bool>& stop) {
            return tools.FetchText(url, out, &stop);
        },
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
            changed.notify_all();
        });
    EXPECT_EQ(notices.AdvanceTicker().title, "默认");
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return done; }));
    }
    const TickerView first = notices.AdvanceTicker();
    EXPECT_EQ(first.title, "alpha");
    EXPECT_EQ(first.color, (Rgb{130, 100, 20}));
    EXPECT_EQ(notices.TickerClickTarget(), "http://a.example/");
    for (const char* title : {"b", "c", "d", "e"}) {
        EXPECT_EQ(notices.AdvanceTicker().title, title);
        EXPECT_EQ(notices.TickerClickTarget(), "http://www.example.com/qzxfile/") << title;
    }
    EXPECT_EQ(notices.AdvanceTicker().title, "alpha");
}

}  // namespace
}  // namespace qzx
