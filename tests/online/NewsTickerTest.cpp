#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "online/NewsTicker.h"

namespace qzx {
namespace {

constexpr const char* kLinkDefault = "http://www.example.com/qzxfile/";
constexpr const char* kTitleDefault = "欢迎使用翠鸮文件之哨";

std::string Item(const std::string& soft, const std::string& url, const std::string& title,
                 const std::string& color) {
    return "<soft>" + soft + "</soft><url>" + url + "</url><title>" + title + "</title><color>" +
           color + "</color>";
}

std::string Feed(const std::vector<std::string>& items) {
    std::string body;
    for (const std::string& item : items) body += (body.empty() ? "" : "##") + item;
    return "junk<qzxads>" + body + "</qzxads>junk";
}

TEST(NewsTicker, ColourTable) {
    const std::pair<const char*, Rgb> cases[] = {
        {"7", {0, 0, 0}},   {"1", {255, 0, 0}},    {"2", {0, 0, 255}},
        {"3", {0, 255, 0}}, {"4", {130, 100, 20}}, {"5", {255, 255, 255}},
        {"6", {0, 0, 0}},   {" 1", {0, 0, 0}},     {"", {0, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(TickerColor(c.first), c.second) << c.first;
}

TEST(NewsTicker, AcceptsItemsAimedAtThisProgram) {
    const std::string feed = Feed({
        Item("*", "http://a/", "A", "1"), Item("qzxfile, !qzxfilesentry", "http://b/", "B", "3"),
        Item("otherapp", "http://c/", "C", "2"), Item("* !qzxfilesentry", "http://d/", "D", "2"),
        Item("qzxfilesentry", "http://e/", "E", "2"), Item("myqzxfiletool", "http://f/", "F", "2"),
        "<soft>*</soft><url>http://g/</url><title>G</title>",            // no colour tag
        "<soft>*</soft><url>http://h/<title>H</title><color>1</color>",  // no closing url tag
    });
    const auto items = NewsTicker::AcceptedItems(feed);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_NE(items[0].find("<title>a</title>"), std::string::npos);
    EXPECT_NE(items[1].find("<title>e</title>"), std::string::npos);
    EXPECT_NE(items[2].find("<title>f</title>"), std::string::npos);
    EXPECT_NE(items[3].find("<title>h</title>"), std::string::npos);
}

// Three items rotate after the default title of the first tick; the feed is wanted only
// while there is no item.
TEST(NewsTicker, ShowsDefaultThenRotatesAndNeverWantsTheFeedAgain) {
    NewsTicker ticker(kLinkDefault, kTitleDefault);
    EXPECT_EQ(ticker.ClickTarget(), kLinkDefault);  // before the first tick

    EXPECT_TRUE(ticker.Advance());
    EXPECT_EQ(ticker.Title(), kTitleDefault);
    EXPECT_EQ(ticker.ColorCode(), "7");
    EXPECT_EQ(
        ticker.TakeFeed(1, Feed({Item("*", "http://a/", "A", "1"), Item("*", "http://b/", "B", "2"),
                                 Item("*", "http://c/", "C", "4")})),
        3);

    std::vector<std::pair<std::string, std::string>> shown;
    for (int tick = 0; tick < 5; ++tick) {
        EXPECT_FALSE(ticker.Advance());
        shown.emplace_back(ticker.Title(), ticker.ColorCode());
    }
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a", "1"}, {"b", "2"}, {"c", "4"}, {"a", "1"}, {"b", "2"}};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(ticker.ClickTarget(), "http://b/");
}

TEST(NewsTicker, FailedOrEmptyFeedKeepsDefaultsAndWantsItAgain) {
    NewsTicker ticker(kLinkDefault, kTitleDefault);
    EXPECT_TRUE(ticker.Advance());
    EXPECT_EQ(ticker.TakeFeed(0, Feed({Item("*", "http://a/", "A", "1")})), 0);
    EXPECT_TRUE(ticker.Advance());
    EXPECT_EQ(ticker.TakeFeed(1, ""), 0);  // a 404 arrives as an empty document
    EXPECT_TRUE(ticker.Advance());
    EXPECT_EQ(ticker.Title(), kTitleDefault);
    EXPECT_EQ(ticker.Url(), kLinkDefault);
}

}  // namespace
}  // namespace qzx
