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

}  // namespace
}  // namespace qzx
