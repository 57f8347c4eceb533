#include <gtest/gtest.h>

#include "online/WebAddress.h"

namespace qzx {
namespace {

TEST(WebAddress, OnlyHttpAndHttpsInAnyCaseAreWebAddresses) {
    const char* accepted[] = {"http://www.example.com/", "https://www.example.com/a?b=1",
                              "HTTP://EXAMPLE.COM/", "hTtPs://example.com"};
    for (const char* a : accepted) EXPECT_TRUE(IsWebAddress(a)) << a;
    const char* refused[] = {"",
                             "http://",
                             "www.example.com",
                             "file:///etc/passwd",
                             "javascript:alert(1)",
                             "\\\\host\\share\\x.exe",
                             "/usr/bin/xterm",
                             " http://example.com/",
                             "see http://example.com/",
                             "http:/example.com",
                             "ftp://example.com/",
                             "http://example.com/\x01"};
    for (const char* a : refused) EXPECT_FALSE(IsWebAddress(a)) << a;
}

// Characters a strict address parser refuses are written as %XX; what is already escaped, the
// query and non-ASCII text are left for the browser.
TEST(WebAddress, EscapingKeepsWhatParsersAccept) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://a.example/x y", "http://a.example/x%20y"},
        {"http://a.example/{a}|b", "http://a.example/%7Ba%7D%7Cb"},
        {"http://a.example/\"<q>^`", "http://a.example/%22%3Cq%3E%5E%60"},
        {"http://a.example/already%20done?x=1&y=2#top",
         "http://a.example/already%20done?x=1&y=2#top"},
        {"http://a.example/新闻", "http://a.example/新闻"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(EscapeWebAddress(in), out) << in;
    EXPECT_TRUE(IsWebAddress(EscapeWebAddress("http://a.example/x y")));
}

}  // namespace
}  // namespace qzx
