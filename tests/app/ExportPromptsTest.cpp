// The questions around an export: the save dialog's choices, the ".log" rule and the overwrite
// question, without a disk.
#include <gtest/gtest.h>

#include <set>

#include "app/ExportPrompts.h"
#include "tests/support/FakePrompts.h"

namespace qzx {
namespace {

// Only existence matters to the questions; nothing is written.
class ExistingPaths final : public FileSystem {
  public:
    std::set<std::string> paths;
    bool PathExistsAs(const std::string& path, bool) const override { return PathExists(path); }
    bool PathExists(const std::string& path) const override { return paths.count(path) > 0; }
    bool IsWritableFolder(const std::string&) const override { return true; }
    int MakeFolders(const std::string&) override { return 1; }
    int AppendToFile(const std::string&, std::string_view) override { return 0; }
    int ReplaceFile(const std::string&, std::string_view) override { return 0; }
};

TEST(ExportPrompts, CancelledDialogAsksAndShowsNothing) {
    test::FakePrompts prompts;
    ExistingPaths files;
    EXPECT_FALSE(ChooseExportPath(prompts, files).has_value());
    ASSERT_EQ(prompts.lastFilters.size(), 2u);
    EXPECT_EQ(prompts.lastFilters[0].label, "日志 (*.log)");
    EXPECT_EQ(prompts.lastFilters[0].pattern, "*.log");
    EXPECT_EQ(prompts.lastFilters[1].label, "所有文件(*.*)");
    EXPECT_EQ(prompts.lastFilters[1].pattern, "*.*");
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_TRUE(prompts.messages.empty());
}

// "records" typed where records.log exists: the question names records.log; No stops quietly.
TEST(ExportPrompts, ExistingPathNeedsYes) {
    ExistingPaths files;
    files.paths = {"/home/u/records.log", "/home/u/dir.log"};
    test::FakePrompts prompts;
    prompts.saveFiles = {"/home/u/records", "/home/u/records", "/home/u/dir.log", "/home/u/new"};
    prompts.answers = {false, true, true};
    EXPECT_FALSE(ChooseExportPath(prompts, files).has_value());
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0], "文件[/home/u/records.log]已经存在，是否覆盖？");
    EXPECT_TRUE(prompts.messages.empty());

    EXPECT_EQ(ChooseExportPath(prompts, files), "/home/u/records.log");
    // A folder of that name counts as existing too.
    EXPECT_EQ(ChooseExportPath(prompts, files), "/home/u/dir.log");
    EXPECT_EQ(prompts.questions.size(), 3u);
    EXPECT_EQ(ChooseExportPath(prompts, files), "/home/u/new.log");
    EXPECT_EQ(prompts.questions.size(), 3u);
}

TEST(ExportPrompts, ResultMessagesNameThePath) {
    test::FakePrompts prompts;
    ReportExportResult(prompts, "/out/r.log", 1);
    ReportExportResult(prompts, "/out/r.log", 0);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "保存成功！位置[/out/r.log]。");
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(prompts.messages[1].text, "保存失败！位置[/out/r.log]。");
    EXPECT_EQ(prompts.messages[1].icon, MessageIcon::Exclamation);
}

}  // namespace
}  // namespace qzx
