#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "online/HttpTools.h"

namespace qzx {
namespace {

// Records each request and answers with a prepared response.
class FakeHttpGet : public HttpGet {
  public:
    HttpResponse response;
    std::vector<HttpRequest> requests;
    HttpResponse Get(const HttpRequest& request) override {
        requests.push_back(request);
        return response;
    }
};

HttpResponse Response(HttpOutcome outcome, int status, std::string body, std::string charset = {}) {
    HttpResponse r;
    r.outcome = outcome;
    r.status = status;
    r.body = std::move(body);
    r.charset = std::move(charset);
    return r;
}

// The fetch rules without a charset library: bodies as they came.
std::string KeepBytes(std::string_view bytes, std::string_view) { return std::string(bytes); }

// Shows which charset the body was read in, and turns "~" into a line break, as a charset may
// spell one with bytes that are not CR or LF.
std::string MarkCharset(std::string_view bytes, std::string_view charset) {
    std::string out = "[" + std::string(charset) + "]";
    for (char c : bytes) out += c == '~' ? '\n' : c;
    return out;
}

TEST(HttpTools, RequestAddressAddsRnum) {
    EXPECT_EQ(HttpTools::RequestAddress("http://h/update.txt"), "http://h/update.txt?rnum=39");
    EXPECT_EQ(HttpTools::RequestAddress("http://h/feed.asp?id=5"),
              "http://h/feed.asp?id=5&rnum=39");
    EXPECT_EQ(HttpTools::RequestAddress("http://h/x?"), "http://h/x?&rnum=39");
}

TEST(HttpTools, EmptyAddressMakesNoRequestAndLeavesOutAlone) {
    FakeHttpGet http;
    std::string out = "kept";
    EXPECT_EQ(HttpTools(http, {}, KeepBytes).FetchText("", out), 0);
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(http.requests.empty());
}

TEST(HttpTools, RequestCarriesAgentLimitsAndStopFlag) {
    FakeHttpGet http;
    http.response = Response(HttpOutcome::Complete, 200, "");
    std::atomic<bool> stop{false};
    std::string out;
    HttpTools(http, {}, KeepBytes).FetchText("http://h/a", out, &stop);
    ASSERT_EQ(http.requests.size(), 1u);
    const HttpRequest& r = http.requests[0];
    EXPECT_EQ(r.url, "http://h/a?rnum=39");
    EXPECT_EQ(r.userAgent, "QzxFile");
    EXPECT_EQ(r.connectTimeoutMs, 5000);
    EXPECT_EQ(r.totalTimeoutMs, 10000);
    EXPECT_EQ(r.maxBodyBytes, 1u << 20);
    EXPECT_EQ(r.stop, &stop);
}

TEST(HttpTools, ResultTable) {
    struct Case {
        HttpResponse response;
        int result;
        std::string out;
    };
    const Case cases[] = {
        {Response(HttpOutcome::Complete, 404, "not found"), 1, ""},
        {Response(HttpOutcome::TransportError, 0, ""), 0, ""},
        {Response(HttpOutcome::TooLarge, 200, "cut\n"), 0, "cut"},
        {Response(HttpOutcome::Stopped, 200, "some"), 0, "some"},
    };
    for (const Case& c : cases) {
        FakeHttpGet http;
        http.response = c.response;
        std::string out = "old";
        EXPECT_EQ(HttpTools(http, {}, KeepBytes).FetchText("http://h/", out), c.result)
            << c.response.body;
        EXPECT_EQ(out, c.out) << c.response.body;
    }
    // A client that cannot be set up is a failure, not an error that escapes.
    FakeHttpGet http;
    http.response = Response(HttpOutcome::SetupFailed, 0, "");
    std::string out = "old";
    EXPECT_EQ(HttpTools(http, {}, KeepBytes).FetchText("http://h/", out), 0);
    EXPECT_EQ(out, "old");
}

// The body goes through the decoder with the charset the server declared, and line ends are
// taken out of what the decoder made.
TEST(HttpTools, BodyIsReadWithTheDeclaredCharsetThenLineEndsGo) {
    FakeHttpGet http;
    http.response = Response(HttpOutcome::Complete, 200, "a~b\r\nc", "big5");
    std::string out;
    EXPECT_EQ(HttpTools(http, {}, MarkCharset).FetchText("http://h/", out), 1);
    EXPECT_EQ(out, "[big5]abc");
    http.response = Response(HttpOutcome::Complete, 200, "x~y");
    EXPECT_EQ(HttpTools(http, {}, nullptr).FetchText("http://h/", out), 1);
    EXPECT_EQ(out, "x~y");
}

TEST(HttpTools, CharsetOfContentType) {
    EXPECT_EQ(CharsetOfContentType("text/plain; charset=UTF-8"), "UTF-8");
    EXPECT_EQ(CharsetOfContentType("text/plain;Charset=\"gb18030\""), "gb18030");
    EXPECT_EQ(CharsetOfContentType("text/html; q=1; charset=big5 ; x=y"), "big5");
    EXPECT_EQ(CharsetOfContentType("text/plain"), "");
    EXPECT_EQ(CharsetOfContentType(""), "");
}

}  // namespace
}  // namespace qzx
