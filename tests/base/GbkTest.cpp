// The GBK edge as the file writers use it: appending, ASCII untouched, unknown characters as "?".
#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <string>
#include <vector>

#include "base/Gbk.h"

namespace qzx {
namespace {

TEST(Gbk, AppendsEncodedTextAndMarksWhatGbkLacks) {
    struct Case {
        std::string utf8;
        std::string gbk;
    } cases[] = {
        {"plain/ascii.txt", "plain/ascii.txt"},
        {"/数据/中文.txt", "/\xCA\xFD\xBE\xDD/\xD6\xD0\xCE\xC4.txt"},
        {"a😀b", "a?b"},  // outside the BMP
        {"a\xFF"
         "b",
         "a?b"},  // not UTF-8 at all
        {"\xE4\xB8"
         "x",
         "??x"},                         // cut sequence: each stray byte is one "?"
        {"中😀文", "\xD6\xD0?\xCE\xC4"},  // the converter goes on after a "?"
    };
    for (const Case& c : cases) {
        std::string out = "prefix:";
        AppendGbk(c.utf8, out);
        EXPECT_EQ(out, "prefix:" + c.gbk) << c.utf8;
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
    }
}

// The converter over the whole text at once, one "?" for each character it cannot take and for
// each byte that starts no UTF-8 character: the bytes the files have always had.
std::string WholeTextGbk(std::string_view utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    std::string out;
    while (!utf8.empty()) {
        char* src = const_cast<char*>(utf8.data());
        size_t left = utf8.size();
        char buffer[4096];
        char* dst = buffer;
        size_t room = sizeof buffer;
        iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        utf8.remove_prefix(utf8.size() - left);
        if (utf8.empty() || room < 8) continue;
        out += '?';
        const auto b = static_cast<unsigned char>(utf8[0]);
        size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
        for (size_t i = 1; i < n; ++i) {
            if (i >= utf8.size() || (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) n = 1;
        }
        utf8.remove_prefix(n);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

// Skipping ASCII and looking characters up must never change a byte: random texts made of
// ASCII runs short and long, Chinese, characters GBK lacks and broken UTF-8.
TEST(Gbk, SameBytesAsConvertingTheWholeText) {
    const std::vector<std::string> pieces = {"a",
                                             "/",
                                             "\t",
                                             "0123456789abcdefghij",
                                             "新增",
                                             "删除",
                                             "中",
                                             "文",
                                             "·",
                                             "€",
                                             "😀",
                                             "\xFF",
                                             "\x80",
                                             "\xE4\xB8",
                                             "\xC0\x80",
                                             "\xED\xA0\x80",
                                             "\xF4\x90\x80\x80"};
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 14);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int n = length(random); n > 0; --n) text += pieces[pick(random)];
        std::string out = "x";
        AppendGbk(text, out);
        ASSERT_EQ(out, "x" + WholeTextGbk(text)) << testing::PrintToString(text);
    }
    // Every character of the BMP, the surrogates' three-byte forms among them, each after an
    // ASCII byte so that none is taken for part of its neighbour.
    std::string bmp;
    for (unsigned c = 0x80; c <= 0xFFFF; ++c) {
        bmp += 'a';
        if (c < 0x800) {
            bmp += static_cast<char>(0xC0 | c >> 6);
        } else {
            bmp += static_cast<char>(0xE0 | c >> 12);
            bmp += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        }
        bmp += static_cast<char>(0x80 | (c & 0x3F));
    }
    std::string out;
    AppendGbk(bmp, out);
    EXPECT_EQ(out, WholeTextGbk(bmp));
}

}  // namespace
}  // namespace qzx
