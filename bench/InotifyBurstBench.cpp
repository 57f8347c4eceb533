// How the inotify change source copes with a burst of new files, with a large tree to set up,
// and with a burst of appends to existing files while the log is written, side by side with a
// reader that only drains the kernel queue and with inotifywait.
// Run by hand: build/bench/inotify_burst_bench [folders for the set-up run...]
//              build/bench/inotify_burst_bench appends [appends [rounds]]
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
#include "watch/EventRecorder.h"
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
    auto source = qzx::CreateChangeSource();
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
    auto source = qzx::CreateChangeSource();
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
            for (const qzx::EventRow& row : all) rows += row.action == qzx::kActionModified;
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
        qzx::MonitorController controller(recorder, &qzx::CreateChangeSource, prompts);
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
        auto source = qzx::CreateChangeSource();
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

}  // namespace

int main(int argc, char** argv) {
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
