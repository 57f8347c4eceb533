// FetchText over WinINet against the loopback server of the Linux tests, which the test script
// runs as a separate process and names in QZX_LOOPBACK_PORTS ("<port> <closed port>").
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <sstream>
#include <string>

#include "online/HttpTools.h"

namespace qzx {
namespace {

using namespace std::chrono_literals;

class HttpGetWinInet : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* ports = std::getenv("QZX_LOOPBACK_PORTS");
        ASSERT_NE(ports, nullptr) << "run through tools/test-windows.sh, which starts the server";
        std::istringstream in(ports);
        in >> port >> closedPort;
        ASSERT_GT(port, 0);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    int Fetch(const std::string& path, std::string& out) { return tools.FetchText(Url(path), out); }

    int port = 0;
    int closedPort = 0;
    std::unique_ptr<HttpGet> http = MakeHttpGet();
    HttpTools tools{*http};
};

TEST_F(HttpGetWinInet, RequestCarriesRnumAndUserAgentAndBodyLosesLineEnds) {
    std::string out;
    EXPECT_EQ(Fetch("/text", out), 1);
    EXPECT_EQ(out, "firstsecondlast");
    std::string last;
    HttpRequest request;
    request.url = Url("/last");
    HttpResponse seen = http->Get(request);
    EXPECT_EQ(seen.body, "/text?rnum=39\nQzxFile");
    EXPECT_EQ(Fetch("/text?id=5", out), 1);
    seen = http->Get(request);
    EXPECT_EQ(seen.body.substr(0, seen.body.find('\n')), "/text?id=5&rnum=39");
}

TEST_F(HttpGetWinInet, NotFoundIsSuccessWithEmptyTextAndRedirectIsFollowed) {
    std::string out = "old";
    EXPECT_EQ(Fetch("/missing", out), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Fetch("/moved", out), 1);
    EXPECT_EQ(out, "firstsecondlast");
}

TEST_F(HttpGetWinInet, BodyIsGbkUnlessCharsetDeclared) {
    std::string out;
    EXPECT_EQ(Fetch("/gbk", out), 1);
    EXPECT_EQ(out, "好消息");
    EXPECT_EQ(Fetch("/utf8", out), 1);
    EXPECT_EQ(out, "好消息");
    EXPECT_EQ(Fetch("/bad-gbk", out), 1);
    EXPECT_EQ(out, "ok\xEF\xBF\xBD z\xEF\xBF\xBD");
}

TEST_F(HttpGetWinInet, HugeBodyIsCutAtOneMebibyteAndFails) {
    std::string out;
    EXPECT_EQ(Fetch("/huge", out), 0);
    EXPECT_EQ(out.size(), 1u << 20);
}

TEST_F(HttpGetWinInet, DroppedConnectionFailsWithWhatArrived) {
    std::string out;
    EXPECT_EQ(Fetch("/reset", out), 0);
    EXPECT_EQ(out, "line1line2li");
}

TEST_F(HttpGetWinInet, UnreachablePortAndOtherSchemesFail) {
    std::string out = "old";
    EXPECT_EQ(tools.FetchText("http://127.0.0.1:" + std::to_string(closedPort) + "/", out), 0);
    EXPECT_EQ(out, "");
    out = "old";
    EXPECT_EQ(tools.FetchText("file:///C:/windows/win.ini", out), 0);
    EXPECT_EQ(out, "");
}

TEST_F(HttpGetWinInet, SilentServerTimesOut) {
    FetchLimits limits;
    limits.totalTimeoutMs = 300;
    HttpTools quick(*http, limits);
    std::string out;
    auto result =
        std::async(std::launch::async, [&] { return quick.FetchText(Url("/silent"), out); });
    ASSERT_EQ(result.wait_for(8s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(out, "");
}

// A stop request ends a fetch from a silent server long before its 10 s time-out.
TEST_F(HttpGetWinInet, StopFlagEndsFetchEarly) {
    std::atomic<bool> stop{false};
    std::string out;
    auto result =
        std::async(std::launch::async, [&] { return tools.FetchText(Url("/silent"), out, &stop); });
    stop = true;
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
}

}  // namespace
}  // namespace qzx
