#include <gtest/gtest.h>

#include <string>

#include "online/UpdateCheck.h"

namespace qzx {
namespace {

TEST(UpdateCheck, VersionComparisonIsTextual) {
    struct Case {
        const char* version;
        bool offered;
    };
    const Case cases[] = {
        {"1.3", true},   {"2.0", true},  {"1.2", false},    {"1.10", false}, {"1.20", true},
        {"1.2.1", true}, {"1.2 ", true}, {" 1.3", false},   {"10.0", true},  {"0.9", false},
        {"2", false},    {"", false},    {"1.2\xff", true},  // bytes compare unsigned
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpdateCheck::IsNewerVersion(c.version, "1.2"), c.offered) << c.version;
    }
    EXPECT_EQ(kRunningVersion, "1.2");
}

TEST(UpdateCheck, QuestionHasSixLines) {
    EXPECT_EQ(UpdateCheck::Question("1.3", "Faster export of the list."),
              "发现新版本:1.3\n\n 升级描述:\n Faster export of the list.\n\n是否查看新的版本？");
}

constexpr const char* kSite = "http://www.example.com/";

std::string Document(const std::string& version, const std::string& url, const std::string& about) {
    return "<QZXVersion>" + version + "</QZXVersion><QZXUpdateUrl>" + url +
           "</QZXUpdateUrl><QZXUpdateAbout>" + about + "</QZXUpdateAbout>";
}

TEST(UpdateCheck, NewerVersionIsOfferedWithItsWebAddress) {
    auto offer = UpdateCheck::Evaluate(Document("1.3", "http://dl.example.com/qzx13", "快"), kSite);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->question, UpdateCheck::Question("1.3", "快"));
    EXPECT_EQ(offer->target, "http://dl.example.com/qzx13");

    offer = UpdateCheck::Evaluate(Document("1.3", "https://dl.example.com/qzx13", ""), kSite);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->target, "https://dl.example.com/qzx13");

    // Without the description tags the description line is simply empty.
    offer = UpdateCheck::Evaluate("<QZXVersion>1.3</QZXVersion>", kSite);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->question, UpdateCheck::Question("1.3", ""));
}

TEST(UpdateCheck, UnsafeOrMissingDownloadOpensTheSite) {
    const char* downloads[] = {"",
                               "dl.example.com",
                               "file:///etc/passwd",
                               "javascript:alert(1)",
                               "\\\\host\\share\\x.exe",
                               "/usr/bin/xterm",
                               "go to http://dl.example.com/"};
    for (const char* download : downloads) {
        auto offer = UpdateCheck::Evaluate(Document("1.3", download, "x"), kSite);
        ASSERT_TRUE(offer) << download;
        EXPECT_EQ(offer->target, kSite) << download;
    }
}

TEST(UpdateCheck, NoOfferForOldVersionsOrWrongTags) {
    for (const char* version : {"1.2", "1.10", "2"}) {
        EXPECT_FALSE(UpdateCheck::Evaluate(Document(version, "http://x.example/", ""), kSite));
    }
    EXPECT_FALSE(UpdateCheck::Evaluate("<qzxversion>1.3</qzxversion>", kSite));
    EXPECT_FALSE(UpdateCheck::Evaluate("", kSite));
}

}  // namespace
}  // namespace qzx
