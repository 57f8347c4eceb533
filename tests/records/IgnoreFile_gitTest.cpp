// The ignore rules decided against git itself: pattern lists built from the syntax's pieces,
// written as .gitignore files (some nested) on a real tree, and every path of the tree asked of
// both `git check-ignore --no-index` and the rules. Any disagreement is printed with its list.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "records/IgnoreFile.h"
#include "tests/support/TempFolder_posix.h"

namespace qzx {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

// Names with the characters the syntax gives a meaning to, so that escapes are needed.
const std::vector<std::string> kNames = {
    "a",  "b",  "ab",    "abc",   "x.tmp", "y.log", "keep.log", "build", "Build", "doc",
    "d1", "d2", "#hash", "!bang", "sp ",   " lead", "st*r",     "br[1]", "q?",    "tab\t",
};

// Pieces of one component of a pattern.
const std::vector<std::string> kPieces = {
    "a",
    "b",
    "ab",
    "build",
    "doc",
    "d1",
    "*",
    "?",
    "*.tmp",
    "*.log",
    "keep.log",
    "[ab]",
    "[!a]",
    "[^a]b",
    "[a-c]*",
    "d[[:digit:]]",
    "[[:alpha:]]*",
    "[]a]",
    "\\#hash",
    "#hash",
    "\\!bang",
    "sp\\ ",
    " lead",
    "st\\*r",
    "br\\[1]",
    "br[[]1]",
    "q\\?",
    "a*",
    "*b",
    "**",
    "[ab]**",
    "[[:upper:]]uild",
    "[z-a]",
    "tab\t",
    "x.*",
};

struct Tree {
    std::vector<std::string> folders;  // relative, without a trailing "/"
    std::vector<std::string> paths;    // every file and folder, relative
};

Tree MakeTree(const std::string& top, std::mt19937& random) {
    Tree tree;
    std::vector<std::string> level{""};
    for (int depth = 0; depth < 4; ++depth) {
        std::vector<std::string> next;
        for (const std::string& folder : level) {
            for (const std::string& name : kNames) {
                const unsigned roll = random() % 12;
                if (roll > 2 && !(depth == 0 && roll > 1)) continue;
                const std::string path = folder.empty() ? name : folder + "/" + name;
                if (roll == 0 || (depth == 0 && roll < 4)) {
                    fs::create_directories(top + "/" + path);
                    tree.folders.push_back(path);
                    next.push_back(path);
                } else {
                    std::ofstream(top + "/" + path) << "x";
                }
                tree.paths.push_back(path);
            }
        }
        level = std::move(next);
    }
    return tree;
}

std::string RandomLine(std::mt19937& random) {
    std::string line;
    if (random() % 4 == 0) line += '!';
    if (random() % 4 == 0) line += '/';
    const unsigned components = 1 + random() % 3;
    for (unsigned k = 0; k < components; ++k) {
        if (k > 0) line += '/';
        line += kPieces[random() % kPieces.size()];
    }
    if (random() % 3 == 0) line += '/';
    if (random() % 6 == 0) line += "  ";
    return line;
}

// Runs git in top and gives the paths it says are ignored.
std::set<std::string> GitIgnored(const std::string& top, const std::string& home,
                                 const std::vector<std::string>& paths) {
    const std::string input = top + "/../paths";
    {
        std::ofstream out(input, std::ios::binary);
        for (const std::string& path : paths) out << path << '\0';
    }
    const std::string command = "cd '" + top + "' && HOME='" + home + "' XDG_CONFIG_HOME='" + home +
                                "' GIT_CONFIG_NOSYSTEM=1 " +
                                "git check-ignore --no-index --stdin -z < '" + input + "'";
    std::set<std::string> ignored;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return ignored;
    std::string path;
    for (int c; (c = ::fgetc(pipe)) != EOF;) {
        if (c == '\0') {
            ignored.insert(path);
            path.clear();
        } else {
            path += static_cast<char>(c);
        }
    }
    ::pclose(pipe);
    return ignored;
}

bool HaveGit() { return std::system("git --version >/dev/null 2>&1") == 0; }

TEST(IgnoreFileGit, RulesDecideAsGitDoes) {
    if (!HaveGit()) GTEST_SKIP() << "git is not installed (tools/setup-debian.sh installs it)";
    TempFolder temp;
    const std::string top = temp.Sub("tree");
    const std::string home = temp.Sub("home");
    fs::create_directories(home);
    fs::create_directories(top);
    ASSERT_EQ(std::system(("git init -q '" + top + "'").c_str()), 0);
    std::mt19937 random(24);
    const Tree tree = MakeTree(top, random);
    ASSERT_GT(tree.paths.size(), 100u);
    const IgnoreRules none(IgnoreSyntax{false, false});

    int rounds = 0;
    std::size_t asked = 0;
    std::size_t ignoredByGit = 0;
    for (int round = 0; round < 120; ++round) {
        // The top file always; in most rounds a few deeper ones, some in folders the top one
        // may ignore.
        std::vector<std::string> written;
        const unsigned nested = round % 4 == 0 ? 0 : 1 + random() % 3;
        std::vector<std::string> places{""};
        for (unsigned i = 0; i < nested; ++i) {
            places.push_back(tree.folders[random() % tree.folders.size()]);
        }
        std::vector<std::string> topLines;
        for (const std::string& place : places) {
            const std::string file = (place.empty() ? top : top + "/" + place) + "/.gitignore";
            std::ofstream out(file, std::ios::binary | std::ios::app);
            const unsigned count = 1 + random() % 6;
            for (unsigned i = 0; i < count; ++i) {
                const std::string line = RandomLine(random);
                out << line << '\n';
                if (place.empty()) topLines.push_back(line);
            }
            written.push_back(file);
        }
        std::vector<std::string> paths = tree.paths;
        for (const std::string& file : written) paths.push_back(file.substr(top.size() + 1));

        const std::set<std::string> git = GitIgnored(top, home, paths);
        const auto rules = LoadTreeRules(SystemFileSystem(), top, none);
        // The same list as the user's own, where it takes every line: only the top file, since
        // the user's lines win over deeper files where git's top file does not.
        IgnoreRules user(IgnoreSyntax{false, false});
        const bool userTakesAll = nested == 0 && user.AddLines(topLines).empty();
        for (const std::string& path : paths) {
            const bool folder = fs::is_directory(top + "/" + path);
            const PathKind kind = folder ? PathKind::kFolder : PathKind::kFile;
            const bool expected = git.count(path) > 0;
            std::string list;
            for (const std::string& file : written) {
                std::ifstream in(file);
                list += file.substr(top.size()) + ":\n" +
                        std::string(std::istreambuf_iterator<char>(in), {});
            }
            EXPECT_EQ(rules->Ignores(path, kind), expected) << "path \"" << path << "\"\n" << list;
            EXPECT_EQ(rules->IgnoresByScan(path, kind), expected) << "path \"" << path << "\"";
            if (userTakesAll) {
                EXPECT_EQ(user.Ignores(path, kind), expected) << "user list, path " << path;
            }
            ++asked;
            ignoredByGit += expected;
        }
        for (const std::string& file : written) fs::remove(file);
        ++rounds;
        if (HasFailure()) break;
    }
    // Both answers must occur often, or the lists say nothing.
    EXPECT_GT(ignoredByGit, asked / 10);
    EXPECT_LT(ignoredByGit, asked * 9 / 10);
    std::printf("%d lists, %zu paths asked, %zu ignored by git\n", rounds, asked, ignoredByGit);
}

}  // namespace
}  // namespace qzx
