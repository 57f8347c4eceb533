// qzxfile-helper run as root, as pkexec would run it but without pkexec: its stream names the
// short-lived writers of a real folder, it ends when its output closes or on SIGTERM, and it
// refuses, with a clear message, what it must not do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CollectingSink.h"
#include "tests/watch/FanotifyTestSupport.h"
#include "watch/HelperSource.h"
#include "watch/HelperStream.h"
#include "watch/InotifySource.h"

namespace qzx {
namespace {

// The helper with its standard input, output and error on pipes.
struct HelperRun {
    pid_t pid = -1;
    int in = -1;
    int out = -1;
    int err = -1;
    std::string buffered;

    HelperRun(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        int i[2], o[2], e[2];
        if (::pipe2(i, O_CLOEXEC) != 0 || ::pipe2(o, O_CLOEXEC) != 0 ||
            ::pipe2(e, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, i[0], 0);
        posix_spawn_file_actions_adddup2(&actions, o[1], 1);
        posix_spawn_file_actions_adddup2(&actions, e[1], 2);
        std::vector<std::string> all{QZX_HELPER_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envCopy = env;
        for (std::string& v : envCopy) envp.push_back(v.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&pid, QZX_HELPER_PATH, &actions, nullptr, argv.data(), envp.data()) !=
            0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(i[0]);
        ::close(o[1]);
        ::close(e[1]);
        in = i[1];
        out = o[0];
        err = e[0];
    }
    ~HelperRun() {
        if (in >= 0) ::close(in);
        if (out >= 0) ::close(out);
        if (err >= 0) ::close(err);
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            Wait();
        }
    }
    // The next line of the stream, without "\n"; empty at its end or after 10 s.
    std::string Line() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            const std::size_t nl = buffered.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffered.substr(0, nl);
                buffered.erase(0, nl + 1);
                return line;
            }
            pollfd p{out, POLLIN, 0};
            if (std::chrono::steady_clock::now() > deadline || ::poll(&p, 1, 100) < 0) return "";
            if (!(p.revents & (POLLIN | POLLHUP))) continue;
            char chunk[4096];
            const ssize_t n = ::read(out, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffered.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // The window gives no rules and closes the helper's input: the helper says it has done
    // with them, and tells every change from then on.
    bool NoRules() {
        ::close(in);
        in = -1;
        return Line() == "rules";
    }
    std::string Errors() {
        std::string text;
        char chunk[512];
        ssize_t n;
        while ((n = ::read(err, chunk, sizeof chunk)) > 0) text.append(chunk, n);
        return text;
    }
    // Its exit code, waiting up to 10 s; -1 when it has not ended.
    int Wait() {
        for (int i = 0; i < 1000; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }
};

class HelperRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!scratch.problem.empty()) GTEST_SKIP() << "helper tests skipped: " << scratch.problem;
        dir = scratch.folder + "/w";
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    }
    test::ScratchMount scratch;
    std::string dir;
};

TEST_F(HelperRunTest, StreamsNamedWritersUntilItsOutputCloses) {
    for (bool closeOutput : {true, false}) {
        HelperRun helper({"--folder", dir}, {"PKEXEC_UID=0"});
        ASSERT_GT(helper.pid, 0);
        auto engine = ParseHelperLine(helper.Line());
        ASSERT_TRUE(engine && engine->kind == HelperMessage::Kind::Engine);
        EXPECT_TRUE(engine->engine.knowsProcess);
        auto ready = ParseHelperLine(helper.Line());
        ASSERT_TRUE(ready && ready->kind == HelperMessage::Kind::Ready);
        ASSERT_TRUE(helper.NoRules());
        const int pid = test::TouchOnce("create", dir + "/gone.txt");
        ASSERT_GT(pid, 0);
        std::optional<HelperMessage> change;
        while (!change) {
            const std::string line = helper.Line();
            ASSERT_FALSE(line.empty()) << "no change line";
            change = ParseHelperLine(line);
            ASSERT_TRUE(change) << line;
            if (change->kind != HelperMessage::Kind::Change) change.reset();
        }
        ASSERT_EQ(change->records.size(), 1u);
        EXPECT_EQ(change->records[0].name, "gone.txt");
        ASSERT_TRUE(change->records[0].process);
        EXPECT_EQ(change->records[0].process->pid, pid);
        EXPECT_EQ(change->records[0].process->name, "qzxtouch");
        if (closeOutput) {
            ::close(helper.out);
            helper.out = -1;
        } else {
            ::kill(helper.pid, SIGTERM);
        }
        EXPECT_EQ(helper.Wait(), 0);
    }
}

// For an ordinary user the helper tells only of the folders that user may list: a private
// subfolder's changes, and the names moved out of it, stay in the helper.
TEST_F(HelperRunTest, TellsTheUserOnlyWhatTheUserMayList) {
    const std::string open = scratch.folder + "/open";
    for (const char* sub : {"", "/public", "/secret"}) {
        ASSERT_EQ(::mkdir((open + sub).c_str(), 0755), 0);
    }
    ASSERT_EQ(::chmod((open + "/secret").c_str(), 0700), 0);
    HelperRun helper({"--folder", open}, {"PKEXEC_UID=65534"});
    ASSERT_GT(helper.pid, 0);
    ASSERT_TRUE(ParseHelperLine(helper.Line()));  // engine
    ASSERT_EQ(helper.Line(), "ready");
    ASSERT_TRUE(helper.NoRules());
    test::TouchOnce("create", open + "/secret/hidden");
    ASSERT_EQ(::rename((open + "/secret/hidden").c_str(), (open + "/public/shown").c_str()), 0);
    test::TouchOnce("create", open + "/public/last");
    std::vector<std::string> told;
    while (told.empty() || told.back() != "public/last") {
        const std::string line = helper.Line();
        ASSERT_FALSE(line.empty()) << "stream ended";
        auto m = ParseHelperLine(line);
        ASSERT_TRUE(m) << line;
        for (const ChangeRecord& r : m->records) told.push_back(r.name);
    }
    EXPECT_EQ(told, (std::vector<std::string>{"public/shown", "public/last"}));
}

// The names of the changes told up to the one of last, each line read as the window reads it.
std::vector<std::string> ToldUntil(HelperRun& helper, const std::string& last) {
    std::vector<std::string> told;
    while (told.empty() || told.back() != last) {
        const std::string line = helper.Line();
        if (line.empty()) return told;
        auto m = ParseHelperLine(line);
        if (!m) return {"bad line: " + line};
        for (const ChangeRecord& r : m->records) told.push_back(r.name);
    }
    return told;
}

// The window's ignore rules are applied in the helper: what they leave out never leaves it,
// a new block replaces them at once, and a bad block is refused with a message and leaves none.
TEST_F(HelperRunTest, LeavesOutWhatTheWindowsRulesIgnore) {
    ASSERT_EQ(::mkdir((dir + "/skip").c_str(), 0755), 0);
    HelperRun helper({"--folder", dir}, {"PKEXEC_UID=0"});
    ASSERT_GT(helper.pid, 0);
    ASSERT_TRUE(ParseHelperLine(helper.Line()));  // engine
    ASSERT_EQ(helper.Line(), "ready");
    IgnoreRules first;
    first.AddLines({"skip/", "*.tmp", "!keep.tmp"});
    IgnoreRules second;
    second.AddTreeFile({"*.txt"}, "");
    struct Step {
        std::string block;
        std::vector<std::string> touched;
        std::vector<std::string> told;
    };
    const Step steps[] = {
        {HelperRulesBlock(&first), {"skip/a", "b.tmp", "keep.tmp", "c.txt"}, {"keep.tmp", "c.txt"}},
        {HelperRulesBlock(&second), {"skip/d", "e.tmp", "f.txt", "g"}, {"skip/d", "e.tmp", "g"}},
        // Half a block is not kept, and the rules before it are gone.
        {"rules\nline\t*.md\nnonsense\nend\n", {"h.md", "i.txt", "j"}, {"h.md", "i.txt", "j"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.block);
        ASSERT_EQ(::write(helper.in, step.block.data(), step.block.size()),
                  static_cast<ssize_t>(step.block.size()));
        ASSERT_EQ(helper.Line(), "rules");
        for (const std::string& name : step.touched) test::TouchOnce("create", dir + "/" + name);
        EXPECT_EQ(ToldUntil(helper, step.told.back()), step.told);
    }
    ::close(helper.out);
    helper.out = -1;
    EXPECT_EQ(helper.Wait(), 0);
    const std::string errors = helper.Errors();
    EXPECT_NE(errors.find("rules refused at line 3"), std::string::npos) << errors;
}

TEST_F(HelperRunTest, RefusesWithAClearMessage) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> env;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {{}, {}, 2, "usage"},
        {{"--folder", "relative"}, {}, 2, "absolute"},
        {{"--folder", "/tmp/../etc"}, {}, 2, "absolute"},
        {{"--folder", "/tmp"}, {"PKEXEC_UID=x"}, 2, "PKEXEC_UID"},
        // The folder is root's alone: the user who asked may not read it, root's rights or not.
        {{"--folder", dir}, {"PKEXEC_UID=65534"}, 3, "may not read"},
        {{"--folder", dir + "/missing"}, {"PKEXEC_UID=0"}, 3, "may not read"},
    };
    for (const Case& c : cases) {
        HelperRun helper(c.args, c.env);
        ASSERT_GT(helper.pid, 0);
        EXPECT_EQ(helper.Wait(), c.code);
        const std::string errors = helper.Errors();
        EXPECT_NE(errors.find(c.says), std::string::npos) << errors;
        EXPECT_EQ(helper.Line(), "");  // nothing on the stream
    }
}

// The window's source through the helper: run as this process (the test seam for pkexec), it
// names the writers; refused (pkexec's 126), the ordinary source watches instead and says why;
// killed once ready, the run ends with the reason.
TEST_F(HelperRunTest, WindowSourceNamesFallsBackAndEnds) {
    auto inotify = [] { return CreateInotifySource(); };
    {
        CollectingSink sink;
        auto source = CreateHelperSource({}, QZX_HELPER_PATH, inotify);
        auto rules = std::make_shared<IgnoreRules>();
        rules->AddLine("*.skip");
        source->SetIgnoreRules(rules);
        ASSERT_TRUE(source->Start(dir + "/", sink));
        ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ready == 1; }));
        // Ready means the helper has the rules: what they ignore never reaches the window.
        test::TouchOnce("create", dir + "/left.skip");
        const int pid = test::TouchOnce("create", dir + "/named");
        ASSERT_TRUE(sink.Has(1, "named"));
        for (const std::string& t : sink.Snapshot().texts) {
            EXPECT_EQ(t.find("left.skip"), std::string::npos) << t;
        }
        const ChangeRecord r = sink.Snapshot().batches.back().back();
        ASSERT_TRUE(r.process);
        EXPECT_EQ(r.process->pid, pid);
        EXPECT_EQ(r.process->name, "qzxtouch");
        EXPECT_TRUE(source->Engine().knowsProcess);
        EXPECT_EQ(source->Engine().fallbackReason, "");
        source->Stop();
    }
    {
        CollectingSink sink;
        auto source = CreateHelperSource({"/bin/sh", "-c", "exit 126"}, QZX_HELPER_PATH, inotify);
        ASSERT_TRUE(source->Start(dir + "/", sink));
        ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ready == 1; }));
        test::TouchOnce("create", dir + "/unnamed");
        ASSERT_TRUE(sink.Has(1, "unnamed"));
        EXPECT_FALSE(sink.Snapshot().batches.back().back().process);
        const EngineStatus engine = source->Engine();
        EXPECT_FALSE(engine.knowsProcess);
        EXPECT_NE(engine.summary.find("126"), std::string::npos) << engine.summary;
        EXPECT_NE(engine.fallbackReason.find("126"), std::string::npos) << engine.fallbackReason;
        EXPECT_EQ(sink.Snapshot().ended, 0);
        source->Stop();
    }
    {
        CollectingSink sink;
        const std::string pidFile = scratch.folder + "/helper.pid";
        auto source = CreateHelperSource(
            {"/bin/sh", "-c", "\"$0\" \"$@\" & echo $! > " + pidFile + "; wait $!"},
            QZX_HELPER_PATH, inotify);
        ASSERT_TRUE(source->Start(dir + "/", sink));
        ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ready == 1; }));
        test::TouchOnce("create", dir + "/before");
        ASSERT_TRUE(sink.Has(1, "before"));
        int helperPid = 0;
        std::ifstream(pidFile) >> helperPid;
        ASSERT_GT(helperPid, 0);
        ::kill(helperPid, SIGKILL);
        ASSERT_TRUE(sink.WaitFor([](const CollectingSink::State& s) { return s.ended == 1; }));
        EXPECT_NE(source->Engine().fallbackReason.find("137"), std::string::npos)
            << source->Engine().fallbackReason;
        source->Stop();
    }
}

}  // namespace
}  // namespace qzx
