// qzxwatch's ignore options: their order, the files they read and the way a bad pattern is told.
#include <gtest/gtest.h>

#include "app/cli/WatchArguments.h"
#include "app/cli/WatchIgnore.h"
#include "tests/support/FakeFileSystem.h"

namespace qzx::cli {
namespace {

const std::string kList = test::RootFolder() + "list";

std::optional<WatchArguments> Parse(std::vector<std::string> args, std::string& error) {
    return ParseWatchArguments(args, error);
}

// The options keep their order across kinds, so that an --include after an --exclude-from
// file keeps what the file leaves out, and a later --exclude leaves it out again.
TEST(WatchIgnore, OptionsApplyInTheOrderGiven) {
    test::FakeFileSystem files;
    files.files[kList] = "# editor files\n*.tmp\r\n\nbuild/\n";
    std::string error;
    const auto a = Parse({"--exclude-from", kList, "--include=keep.tmp", "--exclude", "/build/x/",
                          "--exclude", "!odd", "d"},
                         error);
    ASSERT_TRUE(a) << error;
    ASSERT_EQ(a->ignoreOptions.size(), 4u);
    EXPECT_EQ(a->ignoreOptions[1].kind, IgnoreOption::Kind::Include);
    EXPECT_EQ(a->ignoreRules, nullptr) << "the file is read by the caller";
    const auto rules = BuildIgnoreRules(a->ignoreOptions, files, error);
    ASSERT_TRUE(rules && *rules) << error;
    const IgnoreRules& r = **rules;
    struct Expect {
        const char* path;
        bool ignored;
    };
    const Expect table[] = {
        {"a.tmp", true},     {"keep.tmp", false},   {"sub/keep.tmp", false}, {"a.txt", false},
        {"build/y.o", true}, {"src/build/z", true}, {"!odd", true},          {"odd", false},
    };
    for (const Expect& e : table) {
        EXPECT_EQ(r.Ignores(e.path, PathKind::kFile), e.ignored) << e.path;
    }
    EXPECT_TRUE(r.Ignores("build/x/keep.tmp", PathKind::kFile)) << "the last rule that applies";

    const auto none = BuildIgnoreRules({}, files, error);
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, nullptr);
}

// A pattern that cannot be used stops the run with the option, or the file and line, and the
// reason in English; a file that cannot be read is said with its path.
TEST(WatchIgnore, MistakesNameWhereAndWhy) {
    std::string error;
    EXPECT_FALSE(Parse({"--exclude", "a[b", "d"}, error));
    EXPECT_EQ(error, "--exclude: bad pattern \"a[b\": \"[\" without its \"]\"");
    // Alone it would say nothing and do nothing, so it says what it is for.
    EXPECT_FALSE(Parse({"--include=keep.tmp", "d"}, error));
    EXPECT_EQ(error.rfind("--include keeps what an earlier --exclude or --exclude-from", 0), 0u)
        << error;
    EXPECT_TRUE(Parse({"--exclude=*.tmp", "--include=keep.tmp", "d"}, error)) << error;
    EXPECT_FALSE(Parse({"--exclude", "docs\\old", "d"}, error));
    EXPECT_NE(error.find("separate folders with \"/\""), std::string::npos) << error;
    EXPECT_FALSE(Parse({"--exclude", "/", "d"}, error));
    EXPECT_NE(error.find("nothing to match"), std::string::npos) << error;
    EXPECT_FALSE(Parse({"--exclude-from=", "d"}, error));
    EXPECT_FALSE(Parse({"d", "--exclude"}, error));
    EXPECT_EQ(error, "--exclude needs a value");

    test::FakeFileSystem files;
    files.files[kList] = "*.tmp\n\n[z-a]x\nfine\n";
    const std::vector<IgnoreOption> fromFile{{IgnoreOption::Kind::ExcludeFrom, kList}};
    EXPECT_FALSE(BuildIgnoreRules(fromFile, files, error));
    EXPECT_EQ(error, kList + ":3: bad pattern \"[z-a]x\": a range whose start comes after its end");
    EXPECT_FALSE(
        BuildIgnoreRules({{IgnoreOption::Kind::ExcludeFrom, kList + "-gone"}}, files, error));
    EXPECT_EQ(error, "--exclude-from: no such file: " + kList + "-gone");
    files.failReads = true;
    EXPECT_FALSE(BuildIgnoreRules(fromFile, files, error));
    EXPECT_EQ(error, "--exclude-from: cannot read " + kList);
    for (PatternProblem p : {PatternProblem::kUnclosedBracket, PatternProblem::kEmptyPattern,
                             PatternProblem::kTrailingBackslash, PatternProblem::kDotName,
                             PatternProblem::kReversedRange, PatternProblem::kUnknownClass,
                             PatternProblem::kBackslashLetter}) {
        EXPECT_STRNE(PatternProblemText(p), "");
    }
}

TEST(WatchIgnore, HelpGivesTheOptionsAndTheRules) {
    for (const char* word : {"--exclude PATTERN", "--include PATTERN", "--exclude-from FILE",
                             "build/", "*.tmp", "**/x", "--gitignore"}) {
        EXPECT_NE(HelpText().find(word), std::string::npos) << word;
    }
}

}  // namespace
}  // namespace qzx::cli
