#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "online/TextTools.h"

namespace qzx {
namespace {

TEST(TextTools, TextBetweenTakesFirstOpenToFirstClose) {
    struct Case {
        const char* text;
        const char* open;
        const char* close;
        const char* expected;
    };
    const Case cases[] = {
        {"x<b>12</b>y", "<b>", "</b>", "12"},
        {"<b></b>", "<b>", "</b>", ""},
        {"<b>1</b><b>2</b>", "<b>", "</b>", "1"},
        {"<b>a<b>c</b>", "<b>", "</b>", "a<b>c"},
        {"</b>a<b>c</b>", "<b>", "</b>", ""},
        {"<b>abc", "<b>", "</b>", ""},
        {"<B>1</B>", "<b>", "</b>", ""},
        // The close tag begins inside the open tag: the distance is taken as its absolute value.
        {"xaby", "ab", "b", "y"},
        {"xab", "ab", "b", ""},
        {"any text", "", "</b>", ""},
        {"any text", "<b>", "", ""},
        {"", "<b>", "</b>", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextTools::TextBetween(c.text, c.open, c.close), c.expected)
            << c.text << " " << c.open << " " << c.close;
    }
}

TEST(TextTools, SplitTextKeepsPiecesOfMinimumLength) {
    struct Case {
        const char* text;
        const char* delimiter;
        int minLength;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"ab##cde##f", "##", 0, {"ab", "cde"}},
        {"##ab", "##", 0, {"ab"}},
        {"a####b", "##", 1, {"a", "b"}},
        {"a###b", "##", 1, {"a", "#b"}},
        {"abc", "##", 2, {"abc"}},
        {"abc", "##", 5, {}},
        {"", "##", 0, {}},
        {"hello", "", 3, {"hello"}},
        {"", "", 0, {""}},
        {"hi", "", 3, {}},
        // The feed's rule: 7 bytes are dropped, 8 kept.
        {"1234567##12345678", "##", 8, {"12345678"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> list;
        const int count = TextTools::SplitText(list, c.text, c.delimiter, 1, c.minLength);
        EXPECT_EQ(list, c.items) << c.text;
        EXPECT_EQ(count, static_cast<int>(c.items.size())) << c.text;
    }
}

TEST(TextTools, SplitTextAppendsWithoutClearingAndCountsOnlyItsOwn) {
    std::vector<std::string> list = {"x1", "x2"};
    EXPECT_EQ(TextTools::SplitText(list, "ab##cd", "##", 0, 2), 2);
    EXPECT_EQ(list, (std::vector<std::string>{"x1", "x2", "ab", "cd"}));
    EXPECT_EQ(TextTools::SplitText(list, "ef", "##", 1, 2), 1);
    EXPECT_EQ(list, (std::vector<std::string>{"ef"}));
}

// Stage one of a pair (a, b): (26a + b - 87) mod 256.
std::string PairFor(unsigned v) {
    // a = 4 gives 26*4 - 87 = 17, so b = v - 17 mod 256.
    return std::string{static_cast<char>(4), static_cast<char>((v + 256 - 17) & 0xFF)};
}

TEST(TextTools, DecodeServiceStringEdgeCases) {
    EXPECT_EQ(TextTools::DecodeServiceString("", 31, 17, 4660), "");
    EXPECT_EQ(TextTools::DecodeServiceString("x", 31, 17, 4660), "");

    const std::string stored = PairFor(0x41) + PairFor(0x90) + PairFor(0x00);
    const std::string decoded = TextTools::DecodeServiceString(stored, 31, 17, 0x1234);
    ASSERT_EQ(decoded.size(), 3u);
    // The first byte sees only the high byte of the start value.
    EXPECT_EQ(static_cast<unsigned char>(decoded[0]), 0x41 ^ 0x12);
    EXPECT_EQ(TextTools::DecodeServiceString(stored, 999, 5, 0x1234)[0], decoded[0]);
    EXPECT_NE(TextTools::DecodeServiceString(stored, 999, 5, 0x1234).substr(1), decoded.substr(1));
    // The running key is fed the stage-one byte, not the output byte.
    const unsigned key1 = ((0x1234 + 0x41) * 31 + 17) & 0xFFFF;
    EXPECT_EQ(static_cast<unsigned char>(decoded[1]), (0x90 ^ (key1 >> 8)) & 0xFF);
    // An intermediate byte of 0x80 or more feeds the key unsigned.
    const unsigned key2 = ((key1 + 0x90) * 31 + 17) & 0xFFFF;
    EXPECT_EQ(static_cast<unsigned char>(decoded[2]), (key2 >> 8) & 0xFF);

    // An odd last byte changes nothing; only the low 16 bits of the key count.
    EXPECT_EQ(TextTools::DecodeServiceString(stored + "Z", 31, 17, 0x1234), decoded);
    EXPECT_EQ(TextTools::DecodeServiceString(stored, 31 + 65536, 17 + 65536, 0x1234 + 65536),
              decoded);

    // Changing the first pair's value changes its own byte and every later one.
    const std::string changed = PairFor(0x42) + PairFor(0x90) + PairFor(0x00);
    const std::string other = TextTools::DecodeServiceString(changed, 31, 17, 0x1234);
    EXPECT_NE(other[0], decoded[0]);
    EXPECT_NE(other.substr(1), decoded.substr(1));
}

TEST(TextTools, EncodeServiceStringRoundTripsAnyBytes) {
    const std::string values[] = {"", "http://www.example.com/qzxfile/", "欢迎使用翠鸮文件之哨",
                                  std::string("a\0b\xff\x80", 5), std::string(300, 'x')};
    for (const std::string& plain : values) {
        const std::string stored = TextTools::EncodeServiceString(plain, 31, 17, 4660);
        EXPECT_EQ(stored.size(), 2 * plain.size());
        EXPECT_EQ(stored.find('\0'), std::string::npos);
        EXPECT_EQ(TextTools::DecodeServiceString(stored, 31, 17, 4660), plain);
        EXPECT_NE(TextTools::DecodeServiceString(stored, 31, 17, 4661),
                  plain.empty() ? "x" : plain);
    }
}

}  // namespace
}  // namespace qzx
