// The ignore patterns as tables of pattern lists and paths, under both systems' rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "watch/IgnoreRules.h"

namespace qzx {
namespace {

constexpr IgnoreSyntax kLinux{false, false};
constexpr IgnoreSyntax kWindows{true, true};

IgnoreRules Rules(const std::string& text, IgnoreSyntax syntax) {
    IgnoreRules rules(syntax);
    const auto errors = rules.AddLines(PatternLines(text));
    EXPECT_TRUE(errors.empty()) << text;
    return rules;
}

struct MatchCase {
    const char* patterns;
    const char* path;
    PathKind kind;
    bool ignored;
};

void Check(const std::vector<MatchCase>& cases, IgnoreSyntax syntax) {
    for (const MatchCase& c : cases) {
        const IgnoreRules rules = Rules(c.patterns, syntax);
        EXPECT_EQ(rules.Ignores(c.path, c.kind), c.ignored)
            << "patterns \"" << c.patterns << "\", path \"" << c.path << "\"";
    }
}

constexpr PathKind kFile = PathKind::kFile;
constexpr PathKind kFolder = PathKind::kFolder;
constexpr PathKind kUnknown = PathKind::kUnknown;

TEST(IgnoreRules, NamePatternsMatchAnyComponent) {
    Check(
        {
            {"*.tmp", "a.tmp", kFile, true},
            {"*.tmp", "sub/deeper/a.tmp", kFile, true},
            {"*.tmp", "a.tmp.txt", kFile, false},
            {"*.tmp", "tmp", kFile, false},
            {"*.tmp", ".tmp", kFile, true},
            // A folder's name counts for everything under it.
            {"*.tmp", "x.tmp/inner.txt", kFile, true},
            {"node_modules", "web/node_modules/pkg/index.js", kFile, true},
            {"node_modules", "web/node_modules", kFolder, true},
            {"node_modules", "web/node_modules.txt", kFile, false},
            {"~$*", "~$report.docx", kFile, true},
            {"~$*", "docs/~$report.docx", kFile, true},
            {"~$*", "report~$.docx", kFile, false},
            {"*.sw?", "a.swp", kFile, true},
            {"*.sw?", "a.swx", kFile, true},
            {"*.sw?", "a.sw", kFile, false},
            {"*.sw?", "a.swpp", kFile, false},
            {"[abc].txt", "b.txt", kFile, true},
            {"[abc].txt", "d.txt", kFile, false},
            {"[!abc].txt", "d.txt", kFile, true},
            {"[^abc].txt", "a.txt", kFile, false},
            {"[a-c]1", "b1", kFile, true},
            {"[a-c]1", "d1", kFile, false},
            {"[]x]", "]", kFile, true},
            {"[a-]", "-", kFile, true},
            {"[!]x", "!x", kFile, true},
            {"[*]", "*", kFile, true},
            {"[*]", "a", kFile, false},
            {"a*b*c", "aXbYbZc", kFile, true},
            {"a*b*c", "aXbYcZ", kFile, false},
            {"*", "anything/at/all", kFile, true},
            {"core", "core", kFile, true},
            {"core", "score", kFile, false},
        },
        kLinux);
}

TEST(IgnoreRules, CharactersAreUtf8CodePoints) {
    Check(
        {
            {"?.txt", "é.txt", kFile, true},
            {"??.txt", "é.txt", kFile, false},
            {"[éè].txt", "è.txt", kFile, true},
            {"[éè].txt", "e.txt", kFile, false},
            {"[!é]", "é", kFile, false},
            {"*[!é]", "xé", kFile, false},
            {"[一-龥]*", "文件.txt", kFile, true},
            {"*.日志", "今天.日志", kFile, true},
            // Bytes that are no UTF-8 still match one for one.
            {"*.tmp", "\xff\xfe.tmp", kFile, true},
            {"??.tmp", "\xff\xfe.tmp", kFile, true},
        },
        kLinux);
}

// A star at the end of a pattern the general matcher handles takes the rest of the name,
// however long (it once looked past the end of the pattern for a literal after it).
TEST(IgnoreRules, StarAtTheEndTakesTheRest) {
    Check(
        {
            {"[ab]*", "bcdefghijklmnop", kFile, true},
            {"[ab]*", "cdefghijklmnop", kFile, false},
            {"a?*", "abcdefgh", kFile, true},
            {"a?*", "a", kFile, false},
            {"[一-龥]?*", "文件夹里的文件", kFile, true},
        },
        kLinux);
}

TEST(IgnoreRules, TrailingSeparatorMeansAFolder) {
    Check(
        {
            {"build/", "build", kFolder, true},
            // A deleted "build" is taken for the folder.
            {"build/", "build", kUnknown, true},
            {"build/", "build", kFile, false},
            {"build/", "build/x.o", kFile, true},
            {"build/", "src/build/deep/x.o", kFile, true},
            {"build/", "builder/x.o", kFile, false},
            {"build/", "src/build", kFile, false},
            {"build/**", "build/x/y", kFile, true},
            {"build/**", "build", kFolder, false},
        },
        kLinux);
}

TEST(IgnoreRules, SeparatorInsideAnchorsAtTheWatchedFolder) {
    Check(
        {
            {"/build/", "build/x.o", kFile, true},
            {"/build/", "src/build/x.o", kFile, false},
            {"/build", "build", kFile, true},
            {"/build", "src/build", kFile, false},
            {"docs/old/", "docs/old", kFolder, true},
            {"docs/old/", "docs/old/a.md", kFile, true},
            {"docs/old/", "docs/old", kFile, false},
            {"docs/old/", "x/docs/old/a.md", kFile, false},
            {"docs/old/", "docs/older/a.md", kFile, false},
            {"docs/old", "docs/old", kFile, true},
            {"docs/*.md", "docs/a.md", kFile, true},
            {"docs/*.md", "docs/sub/a.md", kFile, false},
            {"/*/cache/", "a/cache/x", kFile, true},
            {"/*/cache/", "a/b/cache/x", kFile, false},
            {"docs", "docs", kFile, true},
        },
        kLinux);
}

TEST(IgnoreRules, LaterLinesWin) {
    Check(
        {
            {"*.tmp\n!keep.tmp", "keep.tmp", kFile, false},
            {"*.tmp\n!keep.tmp", "sub/keep.tmp", kFile, false},
            {"*.tmp\n!keep.tmp", "other.tmp", kFile, true},
            {"!keep.tmp\n*.tmp", "keep.tmp", kFile, true},
            {"*.tmp\n!keep.tmp\nsub/", "sub/keep.tmp", kFile, true},
            // Nothing below an ignored folder comes back.
            {"build/\n!build/keep.txt", "build/keep.txt", kFile, true},
            {"build/\n!build/keep.txt", "build/other.txt", kFile, true},
            {"build/\n!build/keep.txt", "build", kFolder, true},
            // An exception for a folder keeps the folder, not what a rule says of its files.
            {"*.log\n!important/", "important/a.log", kFile, true},
            {"important/\n!important/", "important/a.log", kFile, false},
            {"*.log\n!important/", "other/a.log", kFile, true},
            {"# all temporary files\n\n*.tmp\n   \n", "a.tmp", kFile, true},
            // Only spaces at the end go, unless escaped.
            {"*.tmp  ", "a.tmp", kFile, true},
            {"  *.tmp", "a.tmp", kFile, false},
            {"*.tmp\t", "a.tmp", kFile, false},
            {"a\\ ", "a ", kFile, true},
            {"a\\  ", "a ", kFile, true},
            {"! keep.tmp", "keep.tmp", kFile, false},
        },
        kLinux);
}

TEST(IgnoreRules, CaseFollowsTheSystem) {
    Check(
        {
            {"*.TMP", "a.tmp", kFile, false},
            {"Build/", "build/x", kFile, false},
            {"[A-C].txt", "b.txt", kFile, false},
        },
        kLinux);
    Check(
        {
            {"*.TMP", "a.tmp", kFile, true},
            {"*.tmp", "A.TmP", kFile, true},
            {"Build/", "BUILD/x", kFile, true},
            {"~$*", "~$REPORT.DOCX", kFile, true},
            {"[A-C].txt", "b.TXT", kFile, true},
            {"[a-c].txt", "B.txt", kFile, true},
            {"/Docs/Old/", "docs/old/x", kFile, true},
            {"*.tmp\n!KEEP.TMP", "keep.tmp", kFile, false},
            // Only ASCII letters fold; others compare as written.
            {"É*", "é.txt", kFile, false},
            {"É*", "É.txt", kFile, true},
        },
        kWindows);
}

TEST(IgnoreRules, SeparatorsFollowTheSystem) {
    // On Windows too "/" separates in a pattern and "\" escapes; a path may use either.
    Check(
        {
            {"sub/", "sub\\a.txt", kFile, true},
            {"docs/old/", "docs\\old\\a.md", kFile, true},
            {"docs/old/", "docs/old/a.md", kFile, true},
            {"/build/", "build\\x.o", kFile, true},
            {"/build/", "src\\build\\x.o", kFile, false},
            {"*.tmp", "a\\b.tmp", kFile, true},
            {"\\*.tmp", "*.TMP", kFile, true},
            {"\\*.tmp", "a.tmp", kFile, false},
        },
        kWindows);
    // On Linux "\" is part of a name, written "\\".
    Check(
        {
            {"a/", "a\\b", kFile, false},
            {"a\\\\b", "a\\b", kFile, true},
            {"*.tmp", "a\\b.tmp", kFile, true},
        },
        kLinux);
}

// Without a syntax the rules are this system's: its separator and its case rule.
TEST(IgnoreRules, DefaultsAreThisSystemsRules) {
    IgnoreRules rules;
    ASSERT_FALSE(rules.AddLine("sub/"));
    ASSERT_FALSE(rules.AddLine("*.tmp"));
    EXPECT_TRUE(rules.Ignores(std::string("sub") + kPathSeparator + "a.txt", kFile));
    EXPECT_EQ(rules.Ignores("A.TMP", kFile), kPathSeparator == '\\');
}

TEST(IgnoreRules, EmptyListsAndTheWatchedFolderItself) {
    const IgnoreRules none(kLinux);
    EXPECT_TRUE(none.Empty());
    EXPECT_FALSE(none.Ignores("a.tmp", kFile));
    EXPECT_FALSE(none.SkipsFolder("build"));
    const IgnoreRules all = Rules("*", kLinux);
    EXPECT_FALSE(all.Ignores("", kFolder));
    EXPECT_FALSE(all.Ignores("/", kFolder));
    EXPECT_FALSE(all.SkipsFolder(""));
    EXPECT_TRUE(all.Ignores("a", kFile));
}

TEST(IgnoreRules, DeepPathsBeyondTheInlineComponents) {
    std::string deep;
    for (int i = 0; i < 100; ++i) deep += (i == 70 ? "build" : "d" + std::to_string(i)) + "/";
    const std::string file = deep + "x.txt";
    EXPECT_TRUE(Rules("build/", kLinux).Ignores(file, kFile));
    EXPECT_FALSE(Rules("nothing/", kLinux).Ignores(file, kFile));
    EXPECT_TRUE(Rules("x.txt", kLinux).Ignores(file, kFile));
    EXPECT_TRUE(Rules("/d0/d1/", kLinux).Ignores(file, kFile));
}

// A rename stays while either of its names is kept.
TEST(IgnoreRules, RenameIsKeptWhenEitherNameIsKept) {
    const IgnoreRules rules = Rules("*.tmp\nbuild/", kLinux);
    struct Case {
        const char* from;
        const char* to;
        bool ignored;
    } cases[] = {
        {"a.tmp", "a.docx", false},      {"a.docx", "a.tmp", false},
        {"a.tmp", "b.tmp", true},        {"build/x.o", "src/x.o", false},
        {"src/x.o", "build/x.o", false}, {"build/x.o", "build/y.o", true},
        {"build/x.o", "b.tmp", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rules.IgnoresRename(c.from, c.to, kFile), c.ignored) << c.from << " " << c.to;
    }
}

TEST(IgnoreRules, BadLinesAreReportedWithTheirNumbers) {
    IgnoreRules rules(kLinux);
    const auto errors = rules.AddLines(PatternLines(
        "*.tmp\n*.[ch\n\n!\n/\nx\\\n./a\n[z-a]\n# [ not a pattern\nx/../y\n[]\n[!]]\nkeep/\n"
        "docs\\old\n[[:word:]]\na//b\n"));
    const std::vector<std::pair<int, PatternProblem>> expected = {
        {2, PatternProblem::kUnclosedBracket},  {4, PatternProblem::kEmptyPattern},
        {5, PatternProblem::kEmptyPattern},     {6, PatternProblem::kTrailingBackslash},
        {7, PatternProblem::kDotName},          {8, PatternProblem::kReversedRange},
        {10, PatternProblem::kDotName},         {11, PatternProblem::kUnclosedBracket},
        {14, PatternProblem::kBackslashLetter}, {15, PatternProblem::kUnknownClass},
        {16, PatternProblem::kEmptyPattern},
    };
    ASSERT_EQ(errors.size(), expected.size());
    for (std::size_t i = 0; i < errors.size(); ++i) {
        EXPECT_EQ(errors[i].line, expected[i].first) << i;
        EXPECT_EQ(errors[i].problem, expected[i].second) << i;
    }
    EXPECT_EQ(errors[0].text, "*.[ch");
    // The good lines are there all the same, in order; "[!]]" is one character but "]".
    EXPECT_EQ(rules.Size(), 3u);
    EXPECT_TRUE(rules.Ignores("x", kFile));
    EXPECT_FALSE(rules.Ignores("]", kFile));
    EXPECT_TRUE(rules.Ignores("keep/a", kFile));
    // A single bad pattern adds nothing.
    IgnoreRules one(kLinux);
    EXPECT_EQ(one.AddPattern("a[b", false), PatternProblem::kUnclosedBracket);
    EXPECT_TRUE(one.Empty());
}

TEST(IgnoreRules, CommandLinePatternsTakeBangAndHashLiterally) {
    IgnoreRules rules(kLinux);
    EXPECT_FALSE(rules.AddPattern("#notes", false));
    EXPECT_FALSE(rules.AddPattern("!draft", false));
    EXPECT_FALSE(rules.AddPattern("*.txt", false));
    EXPECT_FALSE(rules.AddPattern("readme.txt", true));
    EXPECT_TRUE(rules.Ignores("#notes", kFile));
    EXPECT_TRUE(rules.Ignores("!draft", kFile));
    EXPECT_FALSE(rules.Ignores("readme.txt", kFile));
    EXPECT_TRUE(rules.Ignores("other.txt", kFile));
}

TEST(IgnoreRules, PatternLinesSplitsAsFilesAreWritten) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(PatternLines(""), Lines{});
    EXPECT_EQ(PatternLines("a"), Lines{"a"});
    EXPECT_EQ(PatternLines("a\n"), Lines{"a"});
    EXPECT_EQ(PatternLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(PatternLines("\xEF\xBB\xBF*.tmp\r\n"), Lines{"*.tmp"});
    EXPECT_EQ(PatternLines("\n\n"), (Lines{"", ""}));
}

// Every odd name written as a literal matches itself and nothing like it.
TEST(IgnoreRules, LiteralNamePatternMatchesJustThatName) {
    const char* names[] = {"a*b",   "[x]",   "?",  " lead", "trail ", "!bang", "#hash",
                           "tab\t", "cr\rx", "x]", "a-b",   "^up",    "é*",    "\\back"};
    const char* others[] = {"aXb", "x",   "Q",  "lead", "trail", "bang", "hash",
                            "tab", "crx", "y]", "a_b",  "up",    "éx",   "back"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const std::string pattern = LiteralNamePattern(names[i]);
        IgnoreRules line(kLinux);
        ASSERT_FALSE(line.AddLine(pattern)) << pattern;
        EXPECT_TRUE(line.Ignores(names[i], kFile)) << pattern;
        EXPECT_TRUE(line.Ignores(std::string("sub/") + names[i], kFile)) << pattern;
        EXPECT_FALSE(line.Ignores(others[i], kFile)) << pattern;
    }
    // An LF cannot be in a line, so any one character stands for it.
    EXPECT_EQ(LiteralNamePattern("a\nb"), "a?b");
    EXPECT_EQ(LiteralNamePattern("plain name.txt"), "plain name.txt");
}

struct SkipCase {
    const char* patterns;
    const char* folder;
    bool skipped;
};

TEST(IgnoreRules, FolderIsSkippedOnlyWhenNothingBelowCanBeKept) {
    const SkipCase cases[] = {
        {"node_modules/", "node_modules", true},
        {"node_modules/", "web/node_modules", true},
        {"node_modules/", "web", false},
        {"node_modules/", "web/node_modules/pkg", true},
        {"*.tmp", "x.tmp", true},
        {".git/", ".git", true},
        // No exception reaches below an ignored folder, so none keeps it watched.
        {"build/\n!build/keep.txt", "build", true},
        {"build/\n!*.keep", "build", true},
        {"build/\n!build/", "build", false},
        {"build/\n!build/", "build/sub", false},
        {"/a/\n!/a/b/c", "a/b", true},
        {"/a/*/\n!/a/b/", "a/c", true},
        {"/a/*/\n!/a/b/", "a/b", false},
        {"a/**\n!a/b/", "a", false},
        {"a/**\n!a/b/", "a/b", false},
        {"a/**\n!a/b/", "a/c", true},
        {"*.tmp\n!keep.tmp", "x.tmp", true},
    };
    for (const SkipCase& c : cases) {
        EXPECT_EQ(Rules(c.patterns, kLinux).SkipsFolder(c.folder), c.skipped)
            << "patterns \"" << c.patterns << "\", folder \"" << c.folder << "\"";
    }
}

// Whatever the list, a skipped folder holds nothing that Ignores would keep: paths made of the
// names the lists use, up to three levels below each skipped folder.
TEST(IgnoreRules, SkippedFoldersHoldNothingKept) {
    const std::vector<std::string> lists = {
        "build/\n!build/keep.txt",
        "/a/\n!/a/b/c",
        "/a/*/\n!/a/b/keep",
        "*.tmp\n!keep.tmp",
        "build/\n!src/",
        "!x\n/a/",
        "a/\n!a/b/",
        "/a/b/\n!/a/b/c/",
        "*\n!b",
        "/a\n!/a/b",
        "a/b/\n!c/",
    };
    const std::vector<std::string> names = {"a",        "b",    "c", "build", "src",
                                            "keep.txt", "keep", "x", "x.tmp", "keep.tmp"};
    for (const std::string& list : lists) {
        const IgnoreRules rules = Rules(list, kLinux);
        std::vector<std::string> folders;
        for (const auto& n1 : names) {
            folders.push_back(n1);
            for (const auto& n2 : names) folders.push_back(n1 + "/" + n2);
        }
        for (const std::string& folder : folders) {
            if (!rules.SkipsFolder(folder)) continue;
            EXPECT_TRUE(rules.Ignores(folder, kFolder)) << list << " / " << folder;
            for (const auto& n1 : names) {
                EXPECT_TRUE(rules.Ignores(folder + "/" + n1, kFile)) << list << " / " << folder;
                for (const auto& n2 : names) {
                    for (const auto& n3 : names) {
                        const std::string below = folder + "/" + n1 + "/" + n2 + "/" + n3;
                        EXPECT_TRUE(rules.Ignores(below, kFile)) << list << " / " << below;
                    }
                }
            }
        }
    }
}

// A tree's files apply below their folders, a deeper one winning, and the user's list (added
// after them) wins over all; a line git would never match adds nothing there, where the user's
// list refuses it.
TEST(IgnoreRules, TreeFilesApplyBelowTheirFoldersAndTheUsersListWins) {
    IgnoreRules tree(kLinux);
    tree.AddTreeFile({"*.log", "/top.txt", "[unclosed", "x\\"}, "");
    tree.AddTreeFile({"!keep.log", "/local/", "*.tmp"}, "sub");
    IgnoreRules user(kLinux);
    ASSERT_TRUE(user.AddLines({"!sub/x.tmp"}).empty());
    IgnoreRules all(kLinux);
    all.Append(tree);
    all.Append(user);
    const MatchCase cases[] = {
        {"", "a.log", kFile, true},        {"", "sub/keep.log", kFile, false},
        {"", "keep.log", kFile, true},     {"", "top.txt", kFile, true},
        {"", "sub/top.txt", kFile, false}, {"", "sub/local", kFolder, true},
        {"", "local", kFolder, false},     {"", "sub/a.tmp", kFile, true},
        {"", "a.tmp", kFile, false},       {"", "sub/x.tmp", kFile, false},
        {"", "[unclosed", kFile, false},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(all.Ignores(c.path, c.kind), c.ignored) << c.path;
        EXPECT_EQ(all.IgnoresByScan(c.path, c.kind), c.ignored) << c.path;
    }
    EXPECT_EQ(all.Size(), 6u);
}

// The indexes decide as the obvious scan does, on lists made of the syntax's pieces under
// Windows' rules (folded case, both separators in paths), where git cannot be asked.
TEST(IgnoreRules, QuickWayDecidesAsTheScanUnderWindowsRules) {
    const char* pieces[] = {"a",  "B",     "ab",   "*.TMP", "x?",   "[a-c]*",
                            "**", "Build", "[!a]", "*b",    "\\#h", "[[:upper:]]*"};
    const char* names[] = {"a", "b", "A", "Ab", "x.tmp", "X1", "build", "#h", "c"};
    std::mt19937 random(7);
    for (int list = 0; list < 200; ++list) {
        IgnoreRules rules(kWindows);
        for (int line = 0; line < 5; ++line) {
            std::string text = random() % 4 == 0 ? "!" : "";
            if (random() % 3 == 0) text += "/";
            for (unsigned k = 0, n = 1 + random() % 3; k < n; ++k) {
                text += (k > 0 ? "/" : "") + std::string(pieces[random() % std::size(pieces)]);
            }
            if (random() % 3 == 0) text += "/";
            rules.AddLine(text);
        }
        for (int p = 0; p < 50; ++p) {
            std::string path;
            for (unsigned k = 0, n = 1 + random() % 4; k < n; ++k) {
                path += (k > 0 ? (random() % 2 ? "\\" : "/") : "") +
                        std::string(names[random() % std::size(names)]);
            }
            for (PathKind kind : {kFile, kFolder, kUnknown}) {
                ASSERT_EQ(rules.Ignores(path, kind), rules.IgnoresByScan(path, kind)) << path;
            }
        }
    }
}

}  // namespace
}  // namespace qzx
