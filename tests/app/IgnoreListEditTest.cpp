// The ignore list's dialog: the text it shows, what OK accepts, and the messages about the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/IgnoreListEdit.h"

namespace qzx {
namespace {

using Lines = std::vector<std::string>;
constexpr IgnoreSyntax kLinux{false, false};

// The list survives the dialog untouched, comments and blank lines included.
TEST(IgnoreListEdit, ListRoundTripsThroughTheDialog) {
    const Lines list = {"# editors", "*.swp", "", "!keep.tmp", "  /build/  "};
    const std::string text = IgnoreListText(list);
    EXPECT_EQ(text, "# editors\n*.swp\n\n!keep.tmp\n  /build/  ");
    const IgnoreListCheck check = CheckIgnoreListText(text, kLinux);
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.lines, list);
    EXPECT_TRUE(check.message.empty());
    // A Windows edit box gives CR LF, and blank lines typed at the end go.
    EXPECT_EQ(CheckIgnoreListText("*.tmp\r\nbuild/\r\n\r\n  \r\n", kLinux).lines,
              (Lines{"*.tmp", "build/"}));
    EXPECT_TRUE(CheckIgnoreListText("", kLinux).ok);
    EXPECT_EQ(IgnoreListText({}), "");
}

TEST(IgnoreListEdit, FirstBadLineIsNamed) {
    const IgnoreListCheck check = CheckIgnoreListText("*.tmp\n\n*.[ch\n**/x\n", kLinux);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.badLine, 3);
    EXPECT_EQ(check.problem, PatternProblem::kUnclosedBracket);
    EXPECT_EQ(check.message, "第 3 行“*.[ch”无法使用：“[” 没有对应的 “]”。");

    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"!", "第 1 行“!”无法使用：没有要匹配的名称。"},
        {"ok\ndocs\\old",
         "第 2 行“docs\\old”无法使用：“\\” 只用来转义下一个字符；文件夹之间请用 “/” 分隔。"},
        {"./build/", "第 1 行“./build/”无法使用：路径中不能有 “.” 或 “..”。"},
        {"[z-a]", "第 1 行“[z-a]”无法使用：“[ ]” 中范围的起点大于终点。"},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckIgnoreListText(c.text, kLinux).message, c.message);
}

TEST(IgnoreListEdit, FileMessagesNameThePath) {
    const std::string path = "/home/u/.config/qzxfile/ignore";
    EXPECT_EQ(IgnoreFileReadText(path, ReadResult::kRead), "");
    EXPECT_EQ(IgnoreFileReadText(path, ReadResult::kMissing), "");
    EXPECT_EQ(IgnoreFileReadText(path, ReadResult::kFailed),
              "无法读取忽略列表文件，本次不使用忽略列表：\n" + path);
    EXPECT_EQ(IgnoreFileReadText(path, ReadResult::kTooLarge),
              "忽略列表文件过大，本次不使用忽略列表：\n" + path);
    EXPECT_EQ(IgnoreFileWriteText(path), "无法保存忽略列表文件，更改只在本次运行中有效：\n" + path);
    EXPECT_EQ(IgnoreFileWriteText(""), "找不到用户的设置文件夹，忽略列表无法保存。");

    std::vector<PatternError> errors;
    for (int line = 1; line <= 7; ++line) {
        errors.push_back({line * 2, PatternProblem::kUnclosedBracket, "[" + std::to_string(line)});
    }
    const std::string text = IgnoreFileBadLinesText(path, errors);
    EXPECT_EQ(
        text.rfind("忽略列表文件中有无法使用的规则，这些行未生效：\n" + path + "\n第 2 行“[1”", 0),
        0u)
        << text;
    EXPECT_NE(text.find("第 10 行“[5”"), std::string::npos);
    EXPECT_EQ(text.find("第 12 行"), std::string::npos);
    EXPECT_NE(text.find("……另有 2 行。"), std::string::npos);
}

}  // namespace
}  // namespace qzx
