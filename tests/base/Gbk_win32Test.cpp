// Text read through the Windows code pages: GBK by number 936 whatever the system's own code
// page, the charsets servers declare, and broken bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/Gbk.h"

namespace qzx {
namespace {

TEST(GbkWin32, DecodesByDeclaredCharsetAndGbkOtherwise) {
    struct Case {
        std::string bytes;
        std::string charset;
        std::string utf8;
    } cases[] = {
        {"\xBA\xC3\xCF\xFB\xCF\xA2", "", "好消息"},
        {"\xBA\xC3\xCF\xFB\xCF\xA2", "GB2312", "好消息"},
        {"\xBA\xC3\xCF\xFB\xCF\xA2", "x-unknown-charset", "好消息"},
        {"好消息", "UTF-8", "好消息"},
        {"caf\xE9", "iso-8859-1", "café"},
        {"ok\x81\x20z\xFF", "",
         "ok\xEF\xBF\xBD z\xEF\xBF\xBD"},        // a stray lead byte costs one byte
        {"\xD6\xD0\xCE", "", "中\xEF\xBF\xBD"},  // cut at the end
        {"a\xFF"
         "b",
         "utf-8",
         "a\xEF\xBF\xBD"
         "b"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToUtf8(c.bytes, c.charset), c.utf8) << c.charset << ":" << c.bytes;
    }
}

// The same bytes as the Linux build writes: ASCII untouched, one "?" for each character GBK
// lacks and for each byte that starts no UTF-8 character.
TEST(GbkWin32, EncodesAsTheLinuxBuildDoes) {
    struct Case {
        std::string utf8;
        std::string gbk;
    } cases[] = {
        {"plain/ascii.txt", "plain/ascii.txt"},
        {"/数据/中文.txt", "/\xCA\xFD\xBE\xDD/\xD6\xD0\xCE\xC4.txt"},
        {"a😀b", "a?b"},
        {"a\xFF"
         "b",
         "a?b"},
        {"\xE4\xB8"
         "x",
         "??x"},
        {"中😀文", "\xD6\xD0?\xCE\xC4"},
        {"\xC0\x80", "?"},  // an overlong NUL is no character
    };
    for (const Case& c : cases) {
        std::string out = "prefix:";
        AppendGbk(c.utf8, out);
        EXPECT_EQ(out, "prefix:" + c.gbk) << c.utf8;
    }
}

// The files stay GBK when the system's own code page is a Western one, as under Wine and on
// an English Windows.
TEST(GbkWin32, EncodingDoesNotDependOnSystemCodePage) {
    EXPECT_EQ(Utf8ToGbk("D:\\数据\\中文.txt"), "D:\\\xCA\xFD\xBE\xDD\\\xD6\xD0\xCE\xC4.txt");
    EXPECT_EQ(ToUtf8(Utf8ToGbk("新增\t删除\t修改\t命名为")), "新增\t删除\t修改\t命名为");
    // A character with a look-alike in other code pages still has none in GBK.
    EXPECT_EQ(Utf8ToGbk("\xC5\x81"), "?");  // Polish L with stroke
    const std::string big(300000, 'x');
    EXPECT_EQ(ToUtf8(big), big);
}

}  // namespace
}  // namespace qzx
