// The list's context menu for file, folder and rename rows, and what its ignore items add.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/RowMenu.h"
#include "app/Texts.h"
#include "watch/ChangeRecord.h"

namespace qzx {
namespace {

using Command = RowMenuCommand;

constexpr IgnoreSyntax kLinux{false, false};
constexpr IgnoreSyntax kWindows{true, true};

// A rename's row when newPath is given, as the recorder makes it.
EventRow MakeRow(int action, std::string path, const char* newPath = nullptr) {
    EventRow row;
    row.id = 1;
    row.action = static_cast<std::uint8_t>(action);
    row.details = std::move(path);
    if (newPath != nullptr) SetRenameDetails(row, "", std::string(row.details), newPath);
    return row;
}

std::vector<RowMenuItem> Menu(const EventRow& row, PathKind kind, std::string_view watched = "/w/",
                              char separator = '/', IgnoreSyntax syntax = kLinux) {
    return RowMenuItems({&row, kind, watched, separator, syntax});
}

std::vector<Command> Commands(const std::vector<RowMenuItem>& items) {
    std::vector<Command> commands;
    for (const auto& item : items) commands.push_back(item.command);
    return commands;
}

// The patterns of the ignore items, in order.
std::vector<std::string> Patterns(const std::vector<RowMenuItem>& items) {
    std::vector<std::string> patterns;
    for (const auto& item : items) {
        if (!item.pattern.empty()) patterns.push_back(item.pattern);
    }
    return patterns;
}

TEST(RowMenu, FileRowGetsEveryItem) {
    const EventRow row = MakeRow(kActionModified, "/w/src/gen/parser.tab.c");
    const auto items = Menu(row, PathKind::kFile);
    ASSERT_EQ(
        Commands(items),
        (std::vector<Command>{Command::kOpenFolder, Command::kCopyPath, Command::kSeparator,
                              Command::kIgnoreType, Command::kIgnoreFolder, Command::kIgnoreList}));
    EXPECT_EQ(items[0].text, "打开所在文件夹");
    EXPECT_EQ(items[1].text, "复制路径");
    EXPECT_EQ(items[3].text, "忽略此类文件 (*.c)");
    EXPECT_EQ(items[3].pattern, "*.c");
    EXPECT_EQ(items[4].text, "忽略此文件夹");
    EXPECT_EQ(items[4].pattern, "/src/gen/");
    EXPECT_EQ(items[5].text, "忽略列表...");
    EXPECT_EQ(PathToCopy(row, '/'), "/w/src/gen/parser.tab.c");
}

TEST(RowMenu, ItemsFollowTheRow) {
    struct Case {
        const char* what;
        int action;
        const char* details;
        PathKind kind;
        std::vector<std::string> patterns;
        const char* copied;
        const char* newPath = nullptr;  // a rename's; details hold the old path then
    } cases[] = {
        {"no extension",
         kActionAdded,
         "/w/sub/Makefile",
         PathKind::kFile,
         {"/sub/"},
         "/w/sub/Makefile"},
        {"hidden file",
         kActionAdded,
         "/w/sub/.bashrc",
         PathKind::kFile,
         {"/sub/"},
         "/w/sub/.bashrc"},
        {"name ending in a dot", kActionAdded, "/w/notes.", PathKind::kFile, {}, "/w/notes."},
        {"file in the watched folder",
         kActionRemoved,
         "/w/a.txt",
         PathKind::kUnknown,
         {"*.txt"},
         "/w/a.txt"},
        // A folder is ignored itself, not the folder that holds it.
        {"folder row",
         kActionAdded,
         "/w/web/node_modules",
         PathKind::kFolder,
         {"/web/node_modules/"},
         "/w/web/node_modules"},
        {"folder with a dot", kActionAdded, "/w/lib.d", PathKind::kFolder, {"/lib.d/"}, "/w/lib.d"},
        // Rows of an earlier run on another folder have no folder relative to this one.
        {"other run",
         kActionAdded,
         "/elsewhere/sub/a.log",
         PathKind::kFile,
         {"*.log"},
         "/elsewhere/sub/a.log"},
        {"rename",
         kActionRenamedOld,
         "/w/doc/~WRL0001.tmp",
         PathKind::kFile,
         {"*.docx", "*.tmp", "/doc/"},
         "/w/doc/report.docx",
         "/w/doc/report.docx"},
        {"rename keeping its type",
         kActionRenamedOld,
         "/w/a.txt",
         PathKind::kFile,
         {"*.txt"},
         "/w/sub/b.txt",
         "/w/sub/b.txt"},
        {"rename of a folder",
         kActionRenamedOld,
         "/w/old",
         PathKind::kFolder,
         {"/x/new/"},
         "/w/x/new",
         "/w/x/new"},
        // The halves of renames whose other half never came: the one name there is.
        {"moved out",
         kActionRenamedOld,
         "/w/sub/gone.txt",
         PathKind::kFile,
         {"*.txt", "/sub/"},
         "/w/sub/gone.txt",
         "/w/"},
        {"moved in",
         kActionRenamedNew,
         "/w/sub/came.md",
         PathKind::kFile,
         {"*.md", "/sub/"},
         "/w/sub/came.md",
         "/w/"},
        // Odd names are written as literals.
        {"odd names",
         kActionAdded,
         "/w/[draft] *1/x.a?",
         PathKind::kFile,
         {"*.a\\?", "/\\[draft] \\*1/"},
         "/w/[draft] *1/x.a?"},
        {"blank at the end",
         kActionAdded,
         "/w/!keep /x.tx ",
         PathKind::kFile,
         {"*.tx\\ ", "/\\!keep\\ /"},
         "/w/!keep /x.tx "},
        // A name that holds the marker: the row's paths are whole, not cut at it.
        {"marker in the old name",
         kActionRenamedOld,
         "/w/sub/x 命名为 y.txt",
         PathKind::kFile,
         {"*.md", "*.txt", "/sub/"},
         "/w/sub/z.md",
         "/w/sub/z.md"},
    };
    for (const Case& c : cases) {
        const EventRow row = MakeRow(c.action, c.details, c.newPath);
        EXPECT_EQ(Patterns(Menu(row, c.kind)), c.patterns) << c.what;
        EXPECT_EQ(PathToCopy(row, '/'), c.copied) << c.what;
    }
}

// What an ignore item adds, the rules then ignore: the row's own path, and not its neighbours.
TEST(RowMenu, AddedPatternsIgnoreWhatTheRowShows) {
    struct Case {
        const char* details;
        PathKind kind;
        const char* relative;
        const char* neighbour;
    } cases[] = {
        {"/w/src/gen/parser.c", PathKind::kFile, "src/gen/parser.c", "src/parser.h"},
        {"/w/[draft] *1/x.a?", PathKind::kFile, "[draft] *1/x.a?", "[draft] 11/x.ab"},
        {"/w/!keep /x.tx ", PathKind::kFile, "!keep /x.tx ", "!keep/x.tx"},
        {"/w/web/node_modules", PathKind::kFolder, "web/node_modules/a/b.js", "node_modules/x"},
    };
    for (const Case& c : cases) {
        const EventRow row = MakeRow(kActionAdded, c.details);
        IgnoreRules rules(kLinux);
        for (const auto& pattern : Patterns(Menu(row, c.kind))) {
            ASSERT_FALSE(rules.AddLine(pattern)) << pattern;
        }
        EXPECT_TRUE(rules.Ignores(c.relative, PathKind::kFile)) << c.details;
        // Only the type item may reach the neighbour; without it the folder item must not.
        IgnoreRules folderOnly(kLinux);
        for (const auto& item : Menu(row, c.kind)) {
            if (item.command == Command::kIgnoreFolder) folderOnly.AddLine(item.pattern);
        }
        EXPECT_FALSE(folderOnly.Ignores(c.neighbour, PathKind::kFile)) << c.details;
    }
}

TEST(RowMenu, WindowsRowsUseTheirSeparatorAndCase) {
    const EventRow row = MakeRow(kActionRenamedOld, "C:\\data\\Sub\\a.TMP", "C:\\data\\Sub\\b.tmp");
    const auto items = Menu(row, PathKind::kFile, "C:\\data\\", '\\', kWindows);
    // One type: .TMP and .tmp are the same on Windows.
    EXPECT_EQ(Patterns(items), (std::vector<std::string>{"*.tmp", "/Sub/"}));
    EXPECT_EQ(PathToCopy(row, '\\'), "C:\\data\\Sub\\b.tmp");
    IgnoreRules rules(kWindows);
    for (const auto& pattern : Patterns(items)) rules.AddLine(pattern);
    EXPECT_TRUE(rules.Ignores("sub\\c.txt", PathKind::kFile));

    EXPECT_EQ(Patterns(Menu(row, PathKind::kFile, "C:\\data\\", '\\', kLinux)),
              (std::vector<std::string>{"*.tmp", "*.TMP", "/Sub/"}));
}

TEST(RowMenu, BelowTheRowsOnlyTheListIsOffered) {
    EXPECT_EQ(Commands(RowMenuItems({})), std::vector<Command>{Command::kIgnoreList});
    // Without the run's folder there is no folder item, but the rest is there.
    const EventRow row = MakeRow(kActionAdded, "/w/sub/a.txt");
    EXPECT_EQ(Patterns(Menu(row, PathKind::kFile, "")), std::vector<std::string>{"*.txt"});
    // The watched folder itself is never offered: it would ignore everything.
    const EventRow top = MakeRow(kActionAdded, "/w/sub");
    EXPECT_EQ(Patterns(Menu(top, PathKind::kFolder, "/w/sub/")), std::vector<std::string>{});
}

TEST(RowMenu, PatternIsAddedOnce) {
    const std::vector<std::string> list = {"# mine", "*.tmp"};
    EXPECT_EQ(WithIgnorePattern(list, "*.tmp"), list);
    EXPECT_EQ(WithIgnorePattern(list, "/build/"),
              (std::vector<std::string>{"# mine", "*.tmp", "/build/"}));
    EXPECT_EQ(WithIgnorePattern({}, "*.log"), std::vector<std::string>{"*.log"});
}

}  // namespace
}  // namespace qzx
