// The GBK edge as the file writers use it: appending, ASCII untouched, unknown characters as "?".
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qzx
