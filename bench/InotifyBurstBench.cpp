// How the inotify change source copes with a burst of new files, with a large tree to set up,
// and with a burst of appends to existing files while the log is written, side by side with a
// reader that only drains the kernel queue and with inotifywait; and how the fanotify source
// compares: its set-up on big trees, and what changes elsewhere on the file system cost it.
// Run by hand: build/bench/inotify_burst_bench [folders for the set-up run...]
//              build/bench/inotify_burst_bench appends [appends [rounds]]
//              build/bench/inotify_burst_bench engines [cold] [rounds [folders...]]
//              build/bench/inotify_burst_bench outside [appends [rounds [changes a minute]]]
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/DailyLogWriter.h"
#include "app/MonitorController.h"
#include "app/Prompts.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "records/DailyLog.h"
#include "records/FileSystem.h"
#include "watch/ChangeSource.h"
#include "watch/EngineChoice.h"
#include "watch/InotifySource.h"
#include "watch/EventRecorder.h"
#include "watch/FanotifySource.h"
#include "watch/InotifyParser.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string MakeTempDir() {
    char pattern[] = "/tmp/qzx-bench-XXXXXX";
    return ::mkdtemp(pattern) ? pattern : "";
}

class CountingSink : public qzx::ChangeSink {
  public:
    void OnBatch(const qzx::ChangeBatch& batch) override {
        long files = 0;
        for (const qzx::ChangeRecord& r : batch) {
            // Files are named d<i>/f<j>; the folders themselves carry no "/".
            if (r.action == qzx::kActionAdded && r.name.find("/f") != std::string::npos) ++files;
        }
        addedFiles += files;
        records += static_cast<long>(batch.size());
        ++batches;
        lastRecord = Clock::now().time_since_epoch().count();
    }
    void OnOverflow() override {
        ++overflows;
        lastRecord = Clock::now().time_since_epoch().count();
    }
    void OnWarning(qzx::WatchWarning, const std::string&) override { ++warnings; }
    void OnReady() override { readyAt = Clock::now().time_since_epoch().count(); }
    void OnEnded() override { ended = true; }

    std::atomic<long> addedFiles{0};
    std::atomic<long> records{0};
    std::atomic<long> batches{0};
    std::atomic<int> overflows{0};
    std::atomic<int> warnings{0};
    std::atomic<bool> ended{false};
    std::atomic<Clock::rep> lastRecord{0};
    std::atomic<Clock::rep> readyAt{0};
};

void Burst(int folders, int files) {
    std::string root = MakeTempDir();
    CountingSink sink;
    auto source = qzx::CreateInotifySource();
    if (!source->Start(root + "/", sink)) {
        std::printf("burst: cannot start\n");
        return;
    }
    Clock::time_point begin = Clock::now();
    for (int i = 0; i < folders; ++i) ::mkdir((root + "/d" + std::to_string(i)).c_str(), 0755);
    for (int j = 0; j < files; ++j) {
        std::string name = root + "/d" + std::to_string(j % folders) + "/f" + std::to_string(j);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) ::close(fd);
    }
    Clock::time_point created = Clock::now();
    // Done when every file arrived, or when nothing more came for a second.
    for (;;) {
        if (sink.addedFiles >= files) break;
        Clock::time_point last{Clock::duration(sink.lastRecord.load())};
        if (Clock::now() - std::max(last, created) > std::chrono::seconds(1)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Clock::time_point last{Clock::duration(sink.lastRecord.load())};
    source->Stop();
    std::printf("burst: %d folders, %d files created in %.3f s\n", folders, files,
                Seconds(created - begin));
    std::printf("burst: added records for files %ld of %d, records %ld in %ld batches\n",
                sink.addedFiles.load(), files, sink.records.load(), sink.batches.load());
    std::printf("burst: overflow %s (%d), last record %.3f s after the burst began\n",
                sink.overflows ? "yes" : "no", sink.overflows.load(), Seconds(last - begin));
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

// The source's inotify descriptor, found among the process's own descriptors.
int FindInotifyFd() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target.string() == "anon_inode:inotify") {
            return std::atoi(entry.path().filename().c_str());
        }
    }
    return -1;
}

long CountWatches(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    long count = 0;
    std::string line;
    while (std::getline(info, line)) {
        if (line.compare(0, 11, "inotify wd:") == 0) ++count;
    }
    return count;
}

void SetUp(int folders) {
    std::string root = MakeTempDir();
    const int wide = 100;
    for (int i = 0; i < wide; ++i) {
        std::string top = root + "/t" + std::to_string(i);
        ::mkdir(top.c_str(), 0755);
        for (int j = 0; j < folders / wide - 1; ++j) {
            ::mkdir((top + "/s" + std::to_string(j)).c_str(), 0755);
        }
    }
    CountingSink sink;
    auto source = qzx::CreateInotifySource();
    Clock::time_point begin = Clock::now();
    bool started = source->Start(root + "/", sink);
    Clock::time_point startReturned = Clock::now();
    if (!started) {
        std::printf("set-up: cannot start\n");
        return;
    }
    int fd = FindInotifyFd();
    long watches = 0;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    while (sink.readyAt.load() == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(folders > 20000 ? 100 : 10));
    }
    watches = CountWatches(fd);
    Clock::time_point ready{Clock::duration(sink.readyAt.load())};
    source->Stop();
    std::printf(
        "set-up: %d folders: Start returned in %.6f s, ready (%ld watches) after %.3f s%s\n",
        folders, Seconds(startReturned - begin), watches, Seconds(ready - begin),
        sink.warnings ? " (watch limit or unreadable folder warned)" : "");
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

// ---- Appends to existing files, logging on, against a draining reader and inotifywait ----

constexpr int kAppendFolders = 10;
constexpr int kFilesPerFolder = 100;

double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The files of the burst, made before any watcher starts; their names are ready before the
// generator is forked, so that the child never allocates.
struct AppendTree {
    std::string root;
    std::vector<std::string> files;
    AppendTree() {
        root = MakeTempDir();
        for (int d = 0; d < kAppendFolders; ++d) {
            std::string folder = root + "/d" + std::to_string(d);
            ::mkdir(folder.c_str(), 0755);
            for (int f = 0; f < kFilesPerFolder; ++f) {
                files.push_back(folder + "/f" + std::to_string(f));
                int fd = ::open(files.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd >= 0) ::close(fd);
            }
        }
    }
    ~AppendTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

// Appends one byte to each file in turn, at full speed, in a child process: consecutive appends
// go to different files, so that the kernel merges none of their events.
pid_t StartAppends(const AppendTree& tree, int appends) {
    std::vector<const char*> names;
    for (const std::string& file : tree.files) names.push_back(file.c_str());
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    for (int i = 0; i < appends; ++i) {
        int fd = ::open(names[static_cast<std::size_t>(i) % names.size()], O_WRONLY | O_APPEND);
        if (fd < 0) ::_exit(1);
        if (::write(fd, "x", 1) != 1) ::_exit(1);
        ::close(fd);
    }
    ::_exit(0);
}

struct Outcome {
    const char* name = "";
    long captured = 0;
    bool overflow = false;
    double cpu = 0;             // seconds of the watcher's process
    double burst = 0;           // seconds the generator ran
    double lastAfterBurst = 0;  // seconds from the burst's end to the last record
    int logLines = -1;          // log lines written, and lost, where there is a log
    int logFailures = 0;
};

// Runs one burst while captured() counts; done when all arrived, or nothing came for a second
// after the burst ended.
Outcome RunBurst(const AppendTree& tree, int appends, const std::function<long()>& captured,
                 const std::function<void()>& poll = {}) {
    Outcome o;
    Clock::time_point begin = Clock::now();
    pid_t child = StartAppends(tree, appends);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (poll) poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Clock::time_point burstEnd = Clock::now();
    long seen = captured();
    Clock::time_point lastChange = burstEnd;
    while (seen < appends && Clock::now() - lastChange < std::chrono::seconds(1)) {
        if (poll) poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        long now = captured();
        if (now != seen) lastChange = Clock::now();
        seen = now;
    }
    o.captured = seen;
    o.burst = Seconds(burstEnd - begin);
    o.lastAfterBurst = seen > 0 ? std::max(0.0, Seconds(lastChange - burstEnd)) : 0;
    return o;
}

// The floor: a reader that only drains the kernel queue and counts modifications.
Outcome MinimalReader(const AppendTree& tree, int appends) {
    int fd = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(fd, tree.root.c_str(), IN_MODIFY | IN_CREATE | IN_DELETE);
    for (int d = 0; d < kAppendFolders; ++d) {
        std::string folder = tree.root + "/d" + std::to_string(d);
        ::inotify_add_watch(fd, folder.c_str(), IN_MODIFY | IN_CREATE | IN_DELETE);
    }
    std::atomic<long> modified{0};
    std::atomic<bool> overflow{false};
    std::atomic<bool> quit{false};
    std::thread reader([&] {
        std::vector<char> buffer(256 * 1024);
        std::vector<qzx::InotifyEvent> events;
        while (!quit) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n <= 0) continue;
            qzx::ParseInotifyEvents(buffer.data(), static_cast<std::size_t>(n), events);
            for (const qzx::InotifyEvent& e : events) {
                if (e.mask & IN_MODIFY) ++modified;
                if (e.mask & IN_Q_OVERFLOW) overflow = true;
            }
        }
    });
    double cpu = CpuSeconds();
    Outcome o = RunBurst(tree, appends, [&] { return modified.load(); });
    o.cpu = CpuSeconds() - cpu;
    quit = true;
    reader.join();
    ::close(fd);
    o.name = "minimal reader";
    o.overflow = overflow;
    return o;
}

// inotifywait -m -r, its output read through a pipe; its CPU from its own accounting.
Outcome InotifyWait(const AppendTree& tree, int appends) {
    Outcome o;
    o.name = "inotifywait -m -r";
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return o;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::string root = tree.root;
    char* args[] = {const_cast<char*>("inotifywait"), const_cast<char*>("-m"),
                    const_cast<char*>("-r"), root.data(), nullptr};
    pid_t pid = 0;
    int spawned = ::posix_spawnp(&pid, "inotifywait", &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        std::printf("appends: inotifywait cannot be run\n");
        return o;
    }
    // Ready once it says so on standard error.
    std::string said;
    char chunk[512];
    while (said.find("Watches established") == std::string::npos) {
        ssize_t n = ::read(err[0], chunk, sizeof chunk);
        if (n <= 0) break;
        said.append(chunk, static_cast<std::size_t>(n));
    }
    std::atomic<long> modified{0};
    std::atomic<bool> overflow{false};
    std::thread reader([&] {
        std::string pending;
        ssize_t n;
        while ((n = ::read(out[0], chunk, sizeof chunk)) > 0) {
            pending.append(chunk, static_cast<std::size_t>(n));
            std::size_t start = 0, end;
            while ((end = pending.find('\n', start)) != std::string::npos) {
                std::string_view line(pending.data() + start, end - start);
                if (line.find(" MODIFY ") != std::string_view::npos) ++modified;
                if (line.find("Q_OVERFLOW") != std::string_view::npos) overflow = true;
                start = end + 1;
            }
            pending.erase(0, start);
        }
    });
    Outcome run = RunBurst(tree, appends, [&] { return modified.load(); });
    ::kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    reader.join();
    ::close(out[0]);
    ::close(err[0]);
    run.name = o.name;
    run.overflow = overflow;
    run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

class NoPrompts final : public qzx::Prompts {
  public:
    void ShowMessage(const std::string&, qzx::MessageIcon) override {}
    bool AskYesNo(const std::string&) override { return false; }
    int ChooseFolder(const std::string&, std::string&) override { return 0; }
    int ChooseSaveFile(const std::vector<qzx::FileFilter>&, std::string&) override { return 0; }
};

// Records on the reading thread itself, as the engine did before the queue: the way to see
// what the queue buys.
class RecordingSink final : public qzx::ChangeSink {
  public:
    RecordingSink(qzx::EventRecorder& r, int run) : recorder(r), run(run) {}
    void OnBatch(const qzx::ChangeBatch& batch) override { recorder.RecordBatch(run, batch); }
    void OnOverflow() override { overflow = true; }
    void OnWarning(qzx::WatchWarning, const std::string&) override {}
    void OnEnded() override {}
    qzx::EventRecorder& recorder;
    int run;
    std::atomic<bool> overflow{false};
};

// The engine as the window runs it: source, queue, recorder, list, and the daily log ticked.
// With pauseMs the recorder is held for that long from 50 ms into the burst, as a clear or an
// export of a long list holds it.
Outcome Engine(const AppendTree& tree, int appends, bool queued, int pauseMs = 0) {
    std::string logRoot = MakeTempDir();
    qzx::DailyLog log(qzx::SystemClock(), qzx::SystemFileSystem(),
                      qzx::LogLocations{logRoot + "/", ""}, qzx::AppendGbk);
    log.CreateLogDirectory();
    qzx::EventList list;
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    qzx::WriteLogTo(recorder, log);
    qzx::MonitorOptions options = qzx::DefaultOptions();
    options.optRecordLog = 1;
    options.optAutoClear = 0;
    recorder.SetOptions(options);
    auto modified = [&] {
        long rows = 0;
        list.Read([&](const qzx::EventList::Rows& all) {
            for (const qzx::ListedRow& row : all) rows += row.action == qzx::kActionModified;
        });
        return rows;
    };
    Outcome o;
    double cpu = 0;
    std::thread pauser;
    auto holdRecorder = [&] {
        if (pauseMs <= 0) return;
        pauser = std::thread([&recorder, pauseMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            qzx::PauseScope pause(recorder);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        });
    };
    if (queued) {
        NoPrompts prompts;
        qzx::MonitorController controller(recorder, &qzx::CreateInotifySource, prompts);
        controller.SetOptions(options);
        controller.StartMonitor(tree.root);
        while (controller.State() == qzx::MonitorState::Arming) {
            controller.Poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        cpu = CpuSeconds();
        holdRecorder();
        // The window polls every 50 ms; so does this loop, at about that rate.
        auto lastPoll = Clock::now();
        o = RunBurst(tree, appends, modified, [&] {
            if (Clock::now() - lastPoll < std::chrono::milliseconds(50)) return;
            lastPoll = Clock::now();
            controller.Poll();
        });
        o.cpu = CpuSeconds() - cpu;
        if (pauser.joinable()) pauser.join();
        controller.Poll();
        o.overflow = qzx::Headline(controller.Status()) != qzx::StatusHeadline::Monitoring;
        controller.StopMonitor();
        o.name = "QzxFile engine (queued)";
    } else {
        int run = recorder.BeginRun(tree.root + "/");
        RecordingSink sink(recorder, run);
        auto source = qzx::CreateInotifySource();
        source->Start(tree.root + "/", sink);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a tiny tree: set up
        cpu = CpuSeconds();
        holdRecorder();
        o = RunBurst(tree, appends, modified);
        o.cpu = CpuSeconds() - cpu;
        if (pauser.joinable()) pauser.join();
        source->Stop();
        o.overflow = sink.overflow;
        o.name = "QzxFile engine (recording on the reader)";
    }
    o.logLines = recorder.LogLinesWritten();
    o.logFailures = recorder.LogFailures();
    std::error_code ignored;
    std::filesystem::remove_all(logRoot, ignored);
    return o;
}

void Appends(int appends, int rounds) {
    std::printf("appends: %d appends to %d existing files in %d folders, log ticked\n", appends,
                kAppendFolders * kFilesPerFolder, kAppendFolders);
    std::printf(
        "| round | watcher | captured | overflow | CPU s | CPU vs inotifywait | burst s |"
        " last record after burst s |\n|---|---|---|---|---|---|---|---|\n");
    for (int round = 1; round <= rounds; ++round) {
        AppendTree tree;
        std::vector<Outcome> outcomes;
        outcomes.push_back(MinimalReader(tree, appends));
        outcomes.push_back(InotifyWait(tree, appends));
        outcomes.push_back(Engine(tree, appends, false));
        outcomes.push_back(Engine(tree, appends, true));
        outcomes.push_back(Engine(tree, appends, false, 1000));
        outcomes.back().name = "QzxFile engine (recording on the reader), recorder held 1 s";
        outcomes.push_back(Engine(tree, appends, true, 1000));
        outcomes.back().name = "QzxFile engine (queued), recorder held 1 s";
        const double base = outcomes[1].cpu > 0 ? outcomes[1].cpu : 1;
        for (const Outcome& o : outcomes) {
            std::printf("| %d | %s | %.1f%% | %s | %.3f | %.2f | %.2f | %.3f |\n", round, o.name,
                        100.0 * static_cast<double>(o.captured) / appends,
                        o.overflow ? "yes" : "no", o.cpu, o.cpu / base, o.burst, o.lastAfterBurst);
            if (o.logLines >= 0 && (o.logLines != o.captured || o.logFailures > 0)) {
                std::printf("(log of the row above: %d lines written, %d lost)\n", o.logLines,
                            o.logFailures);
            }
        }
        std::fflush(stdout);
    }
}

// ---- fanotify next to inotify: set-up on big trees, changes elsewhere on the file system ----

// The programs beside this one in the build tree.
std::string BuildFile(const std::string& relative) {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path() / relative).lexically_normal().string();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Writes what the page cache holds and drops it, so that the next walk reads the disk.
bool DropCaches() {
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3\n";
    drop.flush();
    return static_cast<bool>(drop);
}

// A tree of 100 folders with folders/100 - 1 subfolders each, on the disk's /tmp.
std::string MakeTree(int folders) {
    std::string root = MakeTempDir();
    for (int i = 0; i < 100; ++i) {
        std::string top = root + "/t" + std::to_string(i);
        ::mkdir(top.c_str(), 0755);
        for (int j = 0; j < folders / 100 - 1; ++j) {
            ::mkdir((top + "/s" + std::to_string(j)).c_str(), 0755);
        }
    }
    return root;
}

// Seconds from Start to OnReady of a source in this process; -1 when it would not start.
double SourceReady(qzx::ChangeSource& source, const std::string& root) {
    CountingSink sink;
    Clock::time_point begin = Clock::now();
    if (!source.Start(root + "/", sink)) return -1;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    while (sink.readyAt.load() == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    Clock::time_point ready{Clock::duration(sink.readyAt.load())};
    source.Stop();
    return Seconds(ready - begin);
}

// Seconds from starting a program to the text on its standard error that says it watches;
// -1 when it cannot be run or never says so.
double ProgramReady(std::vector<std::string> args, const std::string& readyText) {
    int err[2];
    if (::pipe(err) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    Clock::time_point begin = Clock::now();
    pid_t pid = 0;
    int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(err[0]);
        return -1;
    }
    std::string said;
    char chunk[512];
    double seconds = -1;
    while (said.find(readyText) == std::string::npos) {
        ssize_t n = ::read(err[0], chunk, sizeof chunk);
        if (n <= 0) break;
        said.append(chunk, static_cast<std::size_t>(n));
    }
    if (said.find(readyText) != std::string::npos) seconds = Seconds(Clock::now() - begin);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(err[0]);
    return seconds;
}

void EngineSetUp(bool cold, int rounds, const std::vector<int>& sizes) {
    const std::string qzxwatch = BuildFile("../app/cli/qzxwatch");
    struct Watcher {
        const char* name;
        std::function<double(const std::string&)> ready;
    };
    std::vector<Watcher> watchers = {
        {"fanotify source",
         [](const std::string& root) {
             auto source = qzx::CreateFanotifySource();
             return SourceReady(*source, root);
         }},
        {"inotify source",
         [](const std::string& root) {
             auto source = qzx::CreateInotifySource();
             return SourceReady(*source, root);
         }},
        {"qzxwatch (fanotify)",
         [&](const std::string& root) {
             return ProgramReady({qzxwatch, root}, "监控中..");
         }},
        {"qzxwatch (inotify)",
         [&](const std::string& root) {
             // Without the privilege fanotify needs, qzxwatch falls back to inotify.
             return ProgramReady({"setpriv", "--inh-caps=-sys_admin", "--bounding-set=-sys_admin",
                                  qzxwatch, root},
                                 "监控中..");
         }},
        {"inotifywait -m -r",
         [](const std::string& root) {
             return ProgramReady({"inotifywait", "-m", "-r", root}, "Watches established");
         }},
    };
    std::printf("set-up, %s caches, median of %d alternating runs (seconds to watching):\n",
                cold ? "cold" : "warm", rounds);
    std::printf("| folders |");
    for (const Watcher& w : watchers) std::printf(" %s |", w.name);
    std::printf("\n|---|");
    for (std::size_t i = 0; i < watchers.size(); ++i) std::printf("---|");
    std::printf("\n");
    for (int size : sizes) {
        std::string root = MakeTree(size);
        std::vector<std::vector<double>> times(watchers.size());
        if (!cold) watchers[1].ready(root);  // the first walk warms what the others read
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t k = 0; k < watchers.size(); ++k) {
                const std::size_t i = (k + static_cast<std::size_t>(round)) % watchers.size();
                if (cold && !DropCaches()) {
                    std::printf("(cannot drop the caches here: run as root)\n");
                    cold = false;
                }
                times[i].push_back(watchers[i].ready(root));
            }
        }
        const double base = Median(times.back());
        std::printf("| %d |", size);
        for (const auto& t : times) {
            const double m = Median(t);
            std::printf(" %.4f (%.3f×) |", m, base > 0 ? m / base : 0.0);
        }
        std::printf("\n");
        std::fflush(stdout);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
}

// Changes elsewhere on the same file system, at a steady rate, from another process.
pid_t StartStream(const std::string& folder, int perMinute) {
    const std::string generator = BuildFile("peers/burst_gen");
    std::string rate = std::to_string(perMinute);
    char* args[] = {const_cast<char*>(generator.c_str()), const_cast<char*>("stream"),
                    const_cast<char*>(folder.c_str()), rate.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, generator.c_str(), nullptr, nullptr, args, environ) != 0) return -1;
    return pid;
}

void StopStream(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// A source alone, counting modifications, over one burst of appends.
Outcome SourceAlone(const char* name, const AppendTree& tree, int appends,
                    std::unique_ptr<qzx::ChangeSource> source) {
    struct ModifySink : CountingSink {
        void OnBatch(const qzx::ChangeBatch& batch) override {
            long n = 0;
            for (const qzx::ChangeRecord& r : batch) n += r.action == qzx::kActionModified;
            modified += n;
        }
        std::atomic<long> modified{0};
    } sink;
    Outcome o;
    o.name = name;
    if (!source->Start(tree.root + "/", sink)) return o;
    while (sink.readyAt.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpu = CpuSeconds();
    o = RunBurst(tree, appends, [&] { return sink.modified.load(); });
    o.cpu = CpuSeconds() - cpu;
    o.name = name;
    o.overflow = sink.overflows > 0;
    source->Stop();
    return o;
}

// CPU a watcher spends on nothing but the stream elsewhere, over a few seconds.
double IdleCpu(std::unique_ptr<qzx::ChangeSource> source, const std::string& root, double seconds) {
    CountingSink sink;
    if (!source->Start(root + "/", sink)) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpu = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double used = CpuSeconds() - cpu;
    source->Stop();
    return used;
}

void Outside(int appends, int rounds, int perMinute) {
    std::printf(
        "outside: %d appends in the tree, with and without %d changes a minute elsewhere "
        "on the same file system\n",
        appends, perMinute);
    std::printf(
        "| round | watcher | stream elsewhere | captured | overflow | CPU µs per change |"
        " vs inotifywait |\n|---|---|---|---|---|---|---|\n");
    auto fanotify = [](bool pidfd, bool processes) {
        qzx::FanotifyOptions options;
        options.processHandles = pidfd;
        options.processes = processes;
        return qzx::CreateFanotifySource(options);
    };
    for (int round = 1; round <= rounds; ++round) {
        for (bool stream : {false, true}) {
            AppendTree tree;
            std::string elsewhere = MakeTempDir();
            pid_t streamer = stream ? StartStream(elsewhere, perMinute) : -1;
            std::vector<Outcome> outcomes;
            outcomes.push_back(InotifyWait(tree, appends));
            outcomes.push_back(
                SourceAlone("inotify source", tree, appends, qzx::CreateInotifySource()));
            outcomes.push_back(SourceAlone("fanotify source", tree, appends, fanotify(true, true)));
            outcomes.push_back(SourceAlone("fanotify source, no process handles", tree, appends,
                                           fanotify(false, true)));
            outcomes.push_back(SourceAlone("fanotify source, no processes", tree, appends,
                                           fanotify(false, false)));
            StopStream(streamer);
            const double base = outcomes[0].cpu > 0 ? outcomes[0].cpu : 1;
            for (const Outcome& o : outcomes) {
                std::printf("| %d | %s | %s | %.1f%% | %s | %.2f | %.2f× |\n", round, o.name,
                            stream ? "yes" : "no",
                            100.0 * static_cast<double>(o.captured) / appends,
                            o.overflow ? "yes" : "no", o.cpu / appends * 1e6, o.cpu / base);
            }
            std::fflush(stdout);
            std::error_code ignored;
            std::filesystem::remove_all(elsewhere, ignored);
        }
    }
    // What the stream alone costs the fanotify source: the filter's price per change elsewhere.
    AppendTree tree;
    const double seconds = 5;
    const double changes = perMinute / 60.0 * seconds;
    for (bool pidfd : {true, false}) {
        std::string elsewhere = MakeTempDir();
        const double quiet = IdleCpu(fanotify(pidfd, true), tree.root, seconds);
        pid_t streamer = StartStream(elsewhere, perMinute);
        const double busy = IdleCpu(fanotify(pidfd, true), tree.root, seconds);
        const double busyInotify = IdleCpu(qzx::CreateInotifySource(), tree.root, seconds);
        StopStream(streamer);
        std::printf(
            "outside only, %.0f s: fanotify source%s %.4f s CPU without the stream, %.4f s "
            "with it (%.2f µs per change elsewhere); inotify source %.4f s with it\n",
            seconds, pidfd ? "" : " without process handles", quiet, busy,
            (busy - quiet) / changes * 1e6, busyInotify);
        std::error_code ignored;
        std::filesystem::remove_all(elsewhere, ignored);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "engines") == 0) {
        int next = 2;
        const bool cold = argc > next && std::strcmp(argv[next], "cold") == 0;
        if (cold) ++next;
        const int rounds = argc > next ? std::atoi(argv[next++]) : 3;
        std::vector<int> sizes;
        for (; next < argc; ++next) sizes.push_back(std::atoi(argv[next]));
        if (sizes.empty()) sizes = {1000, 10000, 100000};
        EngineSetUp(cold, rounds, sizes);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "outside") == 0) {
        Outside(argc > 2 ? std::atoi(argv[2]) : 50000, argc > 3 ? std::atoi(argv[3]) : 3,
                argc > 4 ? std::atoi(argv[4]) : 100000);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "appends") == 0) {
        Appends(argc > 2 ? std::atoi(argv[2]) : 50000, argc > 3 ? std::atoi(argv[3]) : 3);
        return 0;
    }
    if (!std::getenv("QZX_SKIP_BURST")) Burst(100, 100000);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10000, 100000};
    for (int size : sizes) SetUp(size);
    return 0;
}
