// The helper's stream and arguments: what one side writes the other reads back unchanged, and
// anything else is refused.
#include <gtest/gtest.h>

#include "watch/HelperStream.h"

namespace qzx {
namespace {

ChangeRecord Record(int action, const std::string& name, int pid = 0, const std::string& who = "",
                    const std::string& exe = "") {
    ChangeRecord r(action, name);
    if (pid > 0) r.process = std::make_shared<const ProcessInfo>(ProcessInfo{pid, who, exe});
    return r;
}

TEST(HelperStream, ChangesComeBackAsWritten) {
    // Every byte a file name may hold, the stream's own separators among them.
    std::string odd = "tab\there%25\nnew\x01\x7f\xff 名";
    const ChangeRecord from = Record(kActionRenamedOld, "d/" + odd, 7, "mv", "/usr/bin/mv");
    const ChangeRecord to = Record(kActionRenamedNew, "e/" + odd, 7, "mv", "/usr/bin/mv");
    const std::string rename = HelperChangeLine(to, &from, 1234);
    ASSERT_FALSE(rename.empty());
    EXPECT_EQ(rename.find('\n'), rename.size() - 1);
    auto read = ParseHelperLine(std::string_view(rename).substr(0, rename.size() - 1));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->records.size(), 2u);
    EXPECT_EQ(read->records[0].action, kActionRenamedOld);
    EXPECT_EQ(read->records[0].name, from.name);
    EXPECT_EQ(read->records[1].name, to.name);
    EXPECT_EQ(read->records[1].process->name, "mv");
    EXPECT_EQ(read->records[1].process->exe, "/usr/bin/mv");
    EXPECT_EQ(read->timeMs, 1234);
    const std::string bare = HelperChangeLine(Record(kActionAdded, "a"), nullptr, 5);
    read = ParseHelperLine(std::string_view(bare).substr(0, bare.size() - 1));
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->records[0].process);
    // What the stream cannot tell is not written.
    EXPECT_EQ(HelperChangeLine(Record(kActionAdded, "../etc"), nullptr, 0), "");
    EXPECT_EQ(HelperChangeLine(Record(kActionRenamedOld, "a"), nullptr, 0), "");
    EXPECT_EQ(HelperChangeLine(Record(kActionRenamedNew, "a"), nullptr, 0), "");
    EngineStatus engine{ChangeEngine::Fanotify, true, "监控\t中", ""};
    const std::string line = HelperEngineLine(engine);
    read = ParseHelperLine(std::string_view(line).substr(0, line.size() - 1));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->engine.summary, engine.summary);
    EXPECT_TRUE(read->engine.knowsProcess);
}

TEST(HelperStream, AnythingElseIsRefused) {
    const char* bad[] = {
        "",
        "ready\t",
        "Ready",
        "nonsense",
        "engine\t2\tx\t",
        "engine\t1\tx",
        "change\t1\t0\t0\t\t\ta",      // a field missing
        "change\t1\t0\t0\t\t\ta\t\t",  // one too many
        "change\t4\t0\t0\t\t\ta\t",    // an old name alone
        "change\t5\t0\t0\t\t\ta\t",    // a rename without its old path
        "change\t1\t0\t0\t\t\ta\tb",   // an old path on another kind
        "change\t7\t0\t0\t\t\ta\t",
        "change\t0\t0\t0\t\t\ta\t",
        "change\t01\t0\t0\t\t\ta\t",  // leading zero
        "change\t1\t-1\t0\t\t\ta\t",
        "change\t1\t0\t2147483648\tx\t\ta\t",  // PID out of range
        "change\t1\t0\t0\tx\t\ta\t",           // a name without a PID
        "change\t1\t0\t3\tx\trel/exe\ta\t",    // a program file that is not absolute
        "change\t1\t0\t0\t\t\t/etc/passwd\t",
        "change\t1\t0\t0\t\t\ta/../../b\t",
        "change\t1\t0\t0\t\t\ta//b\t",
        "change\t1\t0\t0\t\t\t\t",
        "change\t1\t0\t0\t\t\ta%2\t",   // cut escape
        "change\t1\t0\t0\t\t\ta%41\t",  // an escape that was not needed
        "change\t1\t0\t0\t\t\ta%0a\t",  // lower-case hex
        "change\t1\t0\t0\t\t\ta\rb\t",  // a raw byte that needed one
        "warning\t2\ta",
        "warning\t0\t/abs",
    };
    for (const char* line : bad) EXPECT_FALSE(ParseHelperLine(line)) << line;
    EXPECT_FALSE(ParseHelperLine(std::string(kHelperLineMax, 'x')));
}

// The rules the window hands on decide in the helper as in the window, and a block that is
// not exactly as written is refused whole, the next one read again.
TEST(HelperStream, RulesBlocksComeBackAsBuiltOrAreRefused) {
    IgnoreRules tree;
    tree.AddTreeFile({"*.o", "!keep.o", "# note", "bad["}, "");
    tree.AddTreeFile({"/gen/", "x\ty%"}, "src/sub");
    IgnoreRules window;
    window.AddTreeFile({"*.log"}, "");
    window.Append(tree);
    window.AddLines({"build/", "!important.log", "\\#hash", "", "bad\\q"});
    window.AddPattern("!literal", false);
    window.AddPattern("kept", true);
    HelperRulesReader reader;
    const std::string block = HelperRulesBlock(&window);
    std::vector<HelperRulesRead> read;
    for (char c : block) {  // as it may come, a byte at a time
        for (HelperRulesRead& r : reader.Read(std::string_view(&c, 1))) read.push_back(r);
    }
    ASSERT_EQ(read.size(), 1u);
    ASSERT_EQ(read[0].error, "");
    ASSERT_TRUE(read[0].rules);
    for (const char* path : {"a.o", "keep.o", "src/sub/gen", "src/gen", "src/sub/x\ty%", "x.log",
                             "important.log", "build", "d/build", "#hash", "!literal", "kept"}) {
        for (PathKind kind : {PathKind::kFile, PathKind::kFolder}) {
            EXPECT_EQ(read[0].rules->Ignores(path, kind), window.Ignores(path, kind)) << path;
        }
    }
    EXPECT_EQ(read[0].rules->Size(), window.Size());
    EXPECT_FALSE(reader.Read(HelperRulesBlock(nullptr))[0].rules);

    const std::string good = "rules\nline\ta\nend\n";
    std::string many = "rules\n";
    for (std::size_t i = 0; i < kHelperRulesMaxLines; ++i) many += "line\ta\n";
    const std::string bad[] = {
        "line\ta\nend\n",                          // no "rules"
        "rules\nline\ta\nrules\nend\n",            // a block inside a block
        "rules\nLine\ta\nend\n",                   // unknown word
        "rules\nline\ta\tb\nend\n",                // a field too many
        "rules\nline\ta%41\nend\n",                // an escape not needed
        "rules\nline\t#comment\nend\n",            // adds no rule
        "rules\ntreeline\ta\nend\n",               // a tree line before its file
        "rules\ntree\t../up\ntreeline\ta\nend\n",  // a folder that leaves the tree
        "rules\npattern\t2\ta\nend\n",             // neither ignores nor keeps
        "rules\nline\t" + std::string(kHelperLineMax, 'x') + "\nend\n",
        many + "end\n",
    };
    for (const std::string& b : bad) {
        const std::vector<HelperRulesRead> r = reader.Read(b + good);
        SCOPED_TRACE(b.substr(0, 40));
        ASSERT_EQ(r.size(), 2u);
        EXPECT_FALSE(r[0].rules);
        EXPECT_NE(r[0].error.find("rules refused"), std::string::npos);
        EXPECT_EQ(r[1].error, "");
        EXPECT_TRUE(r[1].rules && r[1].rules->Ignores("a", PathKind::kFile));
    }
}

TEST(HelperStream, Arguments) {
    struct Case {
        std::vector<std::string> args;
        const char* uid;
        const char* folder;  // nullptr: refused
        int callerUid;       // -1: none
    };
    const Case cases[] = {
        {{"--folder", "/home/a/w"}, "1000", "/home/a/w", 1000},
        {{"--folder", "/home/a/w/"}, nullptr, "/home/a/w", -1},
        {{"--folder", "/"}, "0", "/", 0},
        {{"--folder", "w"}, "1000", nullptr, -1},
        {{"--folder", "/a/../etc"}, "1000", nullptr, -1},
        {{"--folder", "/a/./b"}, "1000", nullptr, -1},
        {{"--folder", "/a//b"}, "1000", nullptr, -1},
        {{"--folder", std::string("/a\0b", 4)}, "1000", nullptr, -1},
        {{"--folder", "/" + std::string(4096, 'a')}, "1000", nullptr, -1},
        {{"--folder"}, "1000", nullptr, -1},
        {{"--folder", "/a", "--folder", "/b"}, "1000", nullptr, -1},
        {{"--Folder", "/a"}, "1000", nullptr, -1},
        {{"--folder", "/a"}, "", nullptr, -1},
        {{"--folder", "/a"}, "-1", nullptr, -1},
        {{"--folder", "/a"}, "01000", nullptr, -1},
        {{"--folder", "/a"}, "4294967295", nullptr, -1},
        {{"--folder", "/a"}, "1000 ", nullptr, -1},
    };
    for (const Case& c : cases) {
        const HelperRequest request = ParseHelperArguments(c.args, c.uid);
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : "(none)");
        if (!c.folder) {
            EXPECT_FALSE(request.error.empty());
            continue;
        }
        EXPECT_EQ(request.error, "");
        EXPECT_EQ(request.folder, c.folder);
        EXPECT_EQ(request.callerUid ? static_cast<int>(*request.callerUid) : -1, c.callerUid);
    }
}

}  // namespace
}  // namespace qzx
