// qzxwatch as a user runs it: the real engine in a temporary folder, output read from its pipes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "base/Gbk.h"
#include "tests/app/cli/ChildProcess.h"
#include "tests/support/InotifyWatches_linux.h"
#include "tests/support/TempFolder_posix.h"
#include "tests/watch/FanotifyTestSupport.h"

namespace qzx::test {
namespace {

using namespace std::chrono_literals;

const std::string kProgram = QZXWATCH_PATH;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A line without its timestamp, which the test cannot know; checks the stamp's shape.
std::string Unstamped(const std::string& line) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t)");
    std::smatch m;
    if (!std::regex_search(line, m, stamp)) return "bad stamp: " + line;
    return m.suffix();
}

void Create(const std::string& path) {
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
}

void Append(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    [[maybe_unused]] ssize_t n = ::write(fd, "x\n", 2);
    ::close(fd);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The status lines after the engine line, which comes first (with prefix, as the journal gets
// it); a first line that is no engine line is kept, so that the comparison shows it.
std::vector<std::string> AfterEngineLine(const std::string& err, const std::string& prefix = "") {
    std::vector<std::string> lines = Lines(err);
    if (!lines.empty() && lines[0].rfind(prefix + "监控方式：", 0) == 0) lines.erase(lines.begin());
    return lines;
}

// Starts qzxwatch and waits until it watches the whole tree.
bool StartWatching(ChildProcess& child) {
    return child.WaitFor([&] { return child.err.find("监控中..") != std::string::npos; }, 20s);
}

TEST(QzxWatchProcess, ExitCodesForArgumentsAndFolders) {
    TempFolder temp;
    Create(temp.Sub("file"));
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* err;
    };
    const std::vector<Case> cases = {
        {{}, 1, "no folder"},
        {{"--kinds", "added,sideways", temp.path}, 1, "sideways"},
        {{"--bogus", temp.path}, 1, "--bogus"},
        {{temp.Sub("missing")}, 2, "监控路径不正确"},
        {{temp.Sub("file")}, 2, "监控路径不正确"},
        {{"--log", temp.Sub("file") + "/log", temp.path}, 1, "log"},
        {{"--exclude", "a[", temp.path}, 1, "--exclude: bad pattern \"a[\""},
        {{"--exclude-from", temp.Sub("file"), "--exclude-from", temp.Sub("nolist"), temp.path},
         1,
         "no such file"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {kProgram};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ChildProcess child(argv);
        EXPECT_EQ(child.WaitExit(20s), c.code) << ::testing::PrintToString(c.args);
        EXPECT_NE(child.err.find(c.err), std::string::npos) << child.err;
        EXPECT_TRUE(child.out.empty()) << child.out;
    }
    ChildProcess help({kProgram, "--help"});
    EXPECT_EQ(help.WaitExit(20s), 0);
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
    ChildProcess version({kProgram, "--version"});
    EXPECT_EQ(version.WaitExit(20s), 0);
    EXPECT_EQ(version.out.rfind("qzxwatch ", 0), 0u);
}

// Every kind once, in separate steps, with the window off so that nothing is held back.
TEST(QzxWatchProcess, ScriptedChangesGiveTheseLinesAndTheSameLog) {
    TempFolder temp;
    const std::string root = temp.Sub("root");
    const std::string logs = temp.Sub("logs");
    std::filesystem::create_directory(root);
    ChildProcess child({kProgram, "--no-dup-window", "--kinds", "added,modified,deleted,renamed",
                        "--log", logs, root});
    ASSERT_TRUE(StartWatching(child)) << child.err;

    const std::vector<std::pair<std::function<void()>, std::string>> script = {
        {[&] { std::filesystem::create_directory(root + "/sub"); }, "1\t新增\t" + root + "/sub"},
        {[&] { Create(root + "/sub/a.txt"); }, "2\t新增\t" + root + "/sub/a.txt"},
        {[&] { Append(root + "/sub/a.txt"); }, "3\t修改\t" + root + "/sub/a.txt"},
        {[&] { Append(root + "/sub/a.txt"); }, "4\t修改\t" + root + "/sub/a.txt"},
        {[&] { std::filesystem::rename(root + "/sub/a.txt", root + "/sub/名字.txt"); },
         "5\t命名\t" + root + "/sub/a.txt 命名为 " + root + "/sub/名字.txt"},
        {[&] { ::chmod((root + "/sub/名字.txt").c_str(), 0600); },
         "6\t修改\t" + root + "/sub/名字.txt"},
        {[&] { Create(root + "/tab\there"); }, "7\t新增\t" + root + "/tab\\there"},
        {[&] { std::filesystem::remove(root + "/sub/名字.txt"); },
         "8\t删除\t" + root + "/sub/名字.txt"},
    };
    for (std::size_t i = 0; i < script.size(); ++i) {
        script[i].first();
        // One step at a time, so that the order of the lines is the order of the script.
        ASSERT_TRUE(child.WaitFor([&] { return LineCount(child.out) >= i + 1; }, 10s))
            << "step " << i + 1 << "\n"
            << child.out;
    }
    child.Signal(SIGTERM);
    ASSERT_EQ(child.WaitExit(20s), 0) << child.err;

    const std::vector<std::string> lines = Lines(child.out);
    ASSERT_EQ(lines.size(), script.size()) << child.out;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Unstamped(lines[i]), script[i].second);
    // The status as the window shows it, a line each time it changed.
    EXPECT_EQ(AfterEngineLine(child.err),
              (std::vector<std::string>{"准备中..", "监控中..", "已停止.."}));

    // The log holds the same lines, in GBK with CR LF.
    std::string expectedLog;
    for (const std::string& line : lines) expectedLog += Utf8ToGbk(line) + "\r\n";
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(logs))
        log += ReadAll(entry.path());
    EXPECT_EQ(log, expectedLog);
}

// Into the journal (JOURNAL_STREAM names standard error) each status line starts with its
// syslog priority; a JOURNAL_STREAM inherited from elsewhere names another stream and changes
// nothing.
TEST(QzxWatchProcess, StatusLinesIntoTheJournalCarryTheirPriority) {
    TempFolder temp;
    for (const bool named : {true, false}) {
        SCOPED_TRACE(named ? "standard error is the journal" : "another stream is");
        ChildProcess child({kProgram, temp.path}, [named](int errFd) {
            struct stat err {};
            ::fstat(errFd, &err);
            const unsigned long long inode = err.st_ino + (named ? 0 : 1);
            return std::vector<std::string>{"JOURNAL_STREAM=" + std::to_string(err.st_dev) + ":" +
                                            std::to_string(inode)};
        });
        ASSERT_TRUE(StartWatching(child)) << child.err;
        child.Signal(SIGTERM);
        ASSERT_EQ(child.WaitExit(20s), 0) << child.err;
        const std::vector<std::string> plain = {"准备中..", "监控中..", "已停止.."};
        const std::vector<std::string> journal = {"<6>准备中..", "<6>监控中..", "<6>已停止.."};
        EXPECT_EQ(AfterEngineLine(child.err, named ? "<6>" : ""), named ? journal : plain);
    }
}

// The keys a JSON line ends with for a change this test process made: its own where the
// engine knows who made each change, none with inotify.
std::string OwnProcessKeys(const std::string& err) {
    if (Lines(err).empty() || Lines(err)[0].find("fanotify，") == std::string::npos) return "";
    std::string name = ReadAll("/proc/self/comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    return ",\"pid\":" + std::to_string(::getpid()) + ",\"process\":\"" + name + "\",\"exe\":\"" +
           exe + "\"";
}

// The defaults: a change right after a new file of the same name is the same event, and
// the JSON form carries both paths of a rename.
TEST(QzxWatchProcess, JsonAndTheDuplicateWindow) {
    TempFolder temp;
    ChildProcess child({kProgram, "--json", temp.path});
    ASSERT_TRUE(StartWatching(child)) << child.err;
    Create(temp.Sub("a"));
    Append(temp.Sub("a"));
    std::filesystem::rename(temp.Sub("a"), temp.Sub("b \"q\""));
    ASSERT_TRUE(child.WaitFor([&] { return LineCount(child.out) >= 2; }, 10s)) << child.out;
    child.Signal(SIGINT);
    ASSERT_EQ(child.WaitExit(20s), 0);

    static const std::regex time(R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d")");
    std::vector<std::string> lines = Lines(child.out);
    for (std::string& line : lines) line = std::regex_replace(line, time, "\"time\":\"T\"");
    ASSERT_EQ(lines.size(), 2u) << child.out;
    const std::string keys = OwnProcessKeys(child.err);
    EXPECT_EQ(lines[0], "{\"id\":1,\"time\":\"T\",\"kind\":\"新增\",\"path\":\"" + temp.Sub("a") +
                            "\"" + keys + "}");
    EXPECT_EQ(lines[1], "{\"id\":2,\"time\":\"T\",\"kind\":\"命名\",\"path\":\"" + temp.Sub("a") +
                            "\",\"newPath\":\"" + temp.path + "/b \\\"q\\\"\"" + keys + "}");
}

// Who made a change: with fanotify the JSON form has the helper's pid, name and program file,
// and --process adds "name(pid)" as a fifth field; with inotify (the privilege dropped) the
// engine line says why, the keys are absent and the field is empty. The line itself stays the
// daily log's.
TEST(QzxWatchProcess, ProcessOfEachChangeWhereTheEngineKnowsIt) {
    const std::string toucher = TouchProgram();
    const std::vector<std::string> noAdmin = {"/usr/bin/setpriv", "--inh-caps=-sys_admin",
                                              "--bounding-set=-sys_admin"};
    for (const bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "without CAP_SYS_ADMIN" : "as started");
        if (dropped && !std::filesystem::exists(noAdmin[0])) GTEST_SKIP() << "no setpriv";
        TempFolder temp;
        std::vector<std::string> json = {kProgram, "--json", "--no-dup-window", temp.path};
        std::vector<std::string> text = {kProgram, "--process", "--no-dup-window", temp.path};
        if (dropped) {
            json.insert(json.begin(), noAdmin.begin(), noAdmin.end());
            text.insert(text.begin(), noAdmin.begin(), noAdmin.end());
        }
        ChildProcess jsonChild(json);
        ChildProcess textChild(text);
        ASSERT_TRUE(StartWatching(jsonChild)) << jsonChild.err;
        ASSERT_TRUE(StartWatching(textChild)) << textChild.err;
        const std::string engine = Lines(textChild.err).at(0);
        ASSERT_EQ(Lines(jsonChild.err).at(0), engine);
        const bool fanotify = engine.find("fanotify，") != std::string::npos;
        if (dropped) {
            EXPECT_FALSE(fanotify) << engine;
            EXPECT_NE(engine.find("没有 fanotify 所需的权限"), std::string::npos) << engine;
        }

        // Kept running until both have printed, so that its name can still be read.
        Toucher helper;
        ASSERT_EQ(helper.Do("create " + temp.Sub("made")), "ok");
        const int pid = helper.Pid();
        ASSERT_TRUE(jsonChild.WaitFor([&] { return LineCount(jsonChild.out) >= 1; }, 10s));
        ASSERT_TRUE(textChild.WaitFor([&] { return LineCount(textChild.out) >= 1; }, 10s));
        jsonChild.Signal(SIGTERM);
        textChild.Signal(SIGTERM);
        ASSERT_EQ(jsonChild.WaitExit(20s), 0);
        ASSERT_EQ(textChild.WaitExit(20s), 0);

        const std::string who = std::to_string(pid);
        const std::string keys =
            fanotify ? ",\"pid\":" + who + ",\"process\":\"qzxtouch\",\"exe\":\"" + toucher + "\"}"
                     : "}";
        EXPECT_EQ(Lines(jsonChild.out).at(0).substr(Lines(jsonChild.out)[0].find(",\"path\":")),
                  ",\"path\":\"" + temp.Sub("made") + "\"" + keys);
        EXPECT_EQ(
            Unstamped(Lines(textChild.out).at(0)),
            "1\t新增\t" + temp.Sub("made") + "\t" + (fanotify ? "qzxtouch(" + who + ")" : ""));
    }
}

// What the patterns leave out never reaches standard output, also in a folder made after the
// start with files made in it at once; the kept file beside them is printed, and the count of
// what was left out is said at the end. Under inotify (the privilege dropped) the excluded
// folders cost no watch.
TEST(QzxWatchProcess, ExcludedChangesAreLeftOut) {
    const std::vector<std::string> noAdmin = {"/usr/bin/setpriv", "--inh-caps=-sys_admin",
                                              "--bounding-set=-sys_admin"};
    for (const bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "without CAP_SYS_ADMIN" : "as started");
        // Without root there is nothing to drop: the run as started is the inotify one.
        if (dropped && ::geteuid() != 0) continue;
        if (dropped && !std::filesystem::exists(noAdmin[0])) GTEST_SKIP() << "no setpriv";
        TempFolder temp;
        std::filesystem::create_directory(temp.Sub("old"));
        std::filesystem::create_directory(temp.Sub("old/build"));
        std::vector<std::string> argv = {kProgram,    "--no-dup-window", "--exclude", "*.tmp",
                                         "--exclude", "build/",          temp.path};
        if (dropped) argv.insert(argv.begin(), noAdmin.begin(), noAdmin.end());
        ChildProcess child(argv);
        ASSERT_TRUE(StartWatching(child)) << child.err;
        Create(temp.Sub("a.tmp"));
        Create(temp.Sub("old/build/x.o"));
        std::filesystem::create_directory(temp.Sub("build"));
        Create(temp.Sub("build/y.o"));
        std::filesystem::create_directory(temp.Sub("build/sub"));
        Create(temp.Sub("build/sub/z.o"));
        Create(temp.Sub("keep.txt"));
        Append(temp.Sub("a.tmp"));
        Create(temp.Sub("last.txt"));
        ASSERT_TRUE(
            child.WaitFor([&] { return child.out.find("last.txt") != std::string::npos; }, 10s))
            << child.out;
        // Only the watched folder and old hold a watch; fanotify holds no inotify descriptor.
        const int watches = InotifyWatches(std::to_string(child.Pid()));
        if (dropped || watches >= 0) {
            EXPECT_EQ(watches, 2);
        }
        child.Signal(SIGINT);
        ASSERT_EQ(child.WaitExit(20s), 0);
        std::vector<std::string> lines = Lines(child.out);
        for (std::string& line : lines) line = Unstamped(line);
        EXPECT_EQ(lines, (std::vector<std::string>{"1\t新增\t" + temp.Sub("keep.txt"),
                                                   "2\t新增\t" + temp.Sub("last.txt")}));
        EXPECT_NE(child.err.find("已忽略 "), std::string::npos) << child.err;
    }
}

TEST(QzxWatchProcess, GbkLinesAreTheLogFilesBytes) {
    TempFolder temp;
    ChildProcess child({kProgram, "--gbk", temp.path});
    ASSERT_TRUE(StartWatching(child)) << child.err;
    Create(temp.Sub("名字.txt"));
    ASSERT_TRUE(child.WaitFor([&] { return LineCount(child.out) >= 1; }, 10s));
    child.Signal(SIGTERM);
    ASSERT_EQ(child.WaitExit(20s), 0);
    ASSERT_GT(child.out.size(), 20u);
    EXPECT_EQ(child.out.substr(19), Utf8ToGbk("\t1\t新增\t" + temp.Sub("名字.txt")) + "\r\n");
}

TEST(QzxWatchProcess, WatchedFolderGoneEndsWithCodeThree) {
    TempFolder temp;
    const std::string root = temp.Sub("root");
    std::filesystem::create_directory(root);
    ChildProcess child({kProgram, root});
    ASSERT_TRUE(StartWatching(child)) << child.err;
    std::filesystem::remove(root);
    EXPECT_EQ(child.WaitExit(20s), 3);
    const std::vector<std::string> err = Lines(child.err);
    ASSERT_GE(err.size(), 2u) << child.err;
    EXPECT_EQ(err[err.size() - 2], "已停止..");
    EXPECT_NE(err.back().find("监控已停止"), std::string::npos) << "the reason follows";
}

// A reader that went away is a failure to say so, not a reason to go on watching unheard.
TEST(QzxWatchProcess, ClosedOutputEndsWithCodeFour) {
    TempFolder temp;
    ChildProcess child({kProgram, temp.path});
    ASSERT_TRUE(StartWatching(child)) << child.err;
    child.CloseOut();
    Create(temp.Sub("a"));
    EXPECT_EQ(child.WaitExit(20s), 4) << child.err;
}

// Stopped in the middle of a burst, it still prints and logs every change made before the
// signal: the IDs have no gap, every file named was created, and the log holds the same lines.
TEST(QzxWatchProcess, SigtermDuringABurstLosesNothingMadeBeforeIt) {
    TempFolder temp;
    const std::string root = temp.Sub("root");
    const std::string logs = temp.Sub("logs");
    std::filesystem::create_directory(root);
    ChildProcess child({kProgram, "--log", logs, root});
    ASSERT_TRUE(StartWatching(child)) << child.err;

    constexpr int kBeforeSignal = 2000;
    constexpr int kFiles = 4000;
    for (int i = 0; i < kFiles; ++i) {
        if (i == kBeforeSignal) child.Signal(SIGTERM);
        Create(root + "/f" + std::to_string(i));
        if (i % 500 == 0) child.Pump(0);
    }
    ASSERT_EQ(child.WaitExit(30s), 0) << child.err;

    const std::vector<std::string> lines = Lines(child.out);
    std::set<std::string> seen;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string rest = Unstamped(lines[i]);
        const std::string prefix = std::to_string(i + 1) + "\t新增\t" + root + "/f";
        ASSERT_EQ(rest.rfind(prefix, 0), 0u) << lines[i];
        seen.insert(rest.substr(prefix.size()));
    }
    EXPECT_EQ(seen.size(), lines.size());
    // What the kernel held when the signal came is read before the end.
    for (int i = 0; i < kBeforeSignal; ++i) {
        ASSERT_EQ(seen.count(std::to_string(i)), 1u) << "f" << i << " made before the signal";
    }
    std::string expectedLog;
    for (const std::string& line : lines) expectedLog += Utf8ToGbk(line) + "\r\n";
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(logs))
        log += ReadAll(entry.path());
    // Compared as a flag: thousands of lines make an unreadable failure message.
    EXPECT_TRUE(log == expectedLog)
        << "log " << log.size() << " bytes, expected " << expectedLog.size();
}

}  // namespace
}  // namespace qzx::test
