// How many changes made by short-lived writers carry the right process (PID and name), the way
// scripts and build tools change files: each writer is `sh -c 'exec PROGRAM ARGS'`, run and
// reaped one after the other, so that most have ended before their changes are read. Measured
// quiet and with both cores taken by busy loops, with the fanotify source as it names
// processes now and as it did before (the name read from /proc when the change is read).
// Also the CPU the source spends per change elsewhere on the file system, next to an inotify
// source of the same quiet folder.
// Run as root: build/bench/process_names_bench [writers [rounds]]
//              build/bench/process_names_bench elsewhere [changes [rounds]]
#include <signal.h>
#include <spawn.h>
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
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "watch/ChangeSource.h"
#include "watch/FanotifySource.h"
#include "watch/InotifySource.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string MakeTempDir(const char* under) {
    std::string pattern = std::string(under) + "/qzx-names-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : "";
}

// Every record kept, by path, with its process.
class KeepingSink : public qzx::ChangeSink {
  public:
    void OnBatch(const qzx::ChangeBatch& batch) override {
        std::lock_guard<std::mutex> lock(mutex);
        for (const qzx::ChangeRecord& r : batch) {
            seen[r.name].push_back(r.process ? *r.process : qzx::ProcessInfo{});
        }
        count += static_cast<long>(batch.size());
    }
    void OnOverflow() override { ++overflows; }
    void OnWarning(qzx::WatchWarning, const std::string&) override {}
    void OnReady() override { ready = true; }
    void OnEnded() override {}

    std::mutex mutex;
    std::map<std::string, std::vector<qzx::ProcessInfo>> seen;
    std::atomic<long> count{0};
    std::atomic<int> overflows{0};
    std::atomic<bool> ready{false};
};

struct Writer {
    std::string path;     // relative to the tree: the record the writer must make
    std::string name;     // the name it must carry
    std::string command;  // what sh -c runs
    int pid = 0;
};

pid_t Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

// Busy loops on every core, as other work on the machine would be.
std::vector<pid_t> Load(bool on) {
    std::vector<pid_t> loops;
    if (!on) return loops;
    for (unsigned i = 0; i < std::thread::hardware_concurrency(); ++i) {
        loops.push_back(Spawn({"/bin/sh", "-c", "while :; do :; done"}));
    }
    return loops;
}

void Unload(const std::vector<pid_t>& loops) {
    for (pid_t pid : loops) {
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}

// The share of writers whose record carries their PID and name: 0..1.
double NamedShare(bool programEvents, const std::string& tree, const std::string& tools, int count,
                  bool loaded, int* wrongOut) {
    std::error_code ignored;
    std::filesystem::remove_all(tree, ignored);
    std::filesystem::create_directories(tree);
    std::vector<Writer> writers;
    const char* kinds[] = {"copy-of-touch", "cp", "mv", "rm", "dd"};
    for (int i = 0; i < count; ++i) {
        const std::string kind = kinds[i % 5];
        const std::string n = std::to_string(i);
        Writer w;
        w.name = kind;
        if (kind == "copy-of-touch") {
            w.path = "t" + n;
            w.command = "exec " + tools + "/copy-of-touch " + tree + "/" + w.path;
        } else if (kind == "cp") {
            w.path = "c" + n;
            w.command = "exec cp /etc/hostname " + tree + "/" + w.path;
        } else if (kind == "mv") {
            std::ofstream(tree + "/m" + n) << "x";
            w.path = "m" + n + ".moved";
            w.command = "exec mv " + tree + "/m" + n + " " + tree + "/" + w.path;
        } else if (kind == "rm") {
            w.path = "r" + n;
            std::ofstream(tree + "/" + w.path) << "x";
            w.command = "exec rm " + tree + "/" + w.path;
        } else {
            w.path = "d" + n;
            w.command =
                "exec dd if=/dev/zero of=" + tree + "/" + w.path + " bs=1 count=1 status=none";
        }
        writers.push_back(w);
    }
    qzx::FanotifyOptions options;
    options.programEvents = programEvents;
    auto source = qzx::CreateFanotifySource(options);
    KeepingSink sink;
    if (!source->Start(tree, sink)) {
        std::printf("fanotify refused: %s\n", source->Refusal().c_str());
        return -1;
    }
    while (!sink.ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<pid_t> loops = Load(loaded);
    for (Writer& w : writers) {
        w.pid = Spawn({"/bin/sh", "-c", w.command});
        int status = 0;
        ::waitpid(w.pid, &status, 0);
    }
    Unload(loops);
    // Every writer's record, or a while without any new one.
    long last = -1;
    for (int quiet = 0; quiet < 20;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        long now = sink.count.load();
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
    source->Stop();
    int named = 0;
    int wrong = 0;
    for (const Writer& w : writers) {
        bool right = false;
        for (const qzx::ProcessInfo& p : sink.seen[w.path]) {
            if (p.pid == w.pid && p.name == w.name) right = true;
            // A name that is not the writer's own, on its PID, would be a lie.
            if (p.pid == w.pid && !p.name.empty() && p.name != w.name) {
                if (++wrong <= 5 || std::getenv("QZX_NAMES_SHOW")) {
                    std::printf("  %s: %s, not %s\n", w.path.c_str(), p.name.c_str(),
                                w.name.c_str());
                }
            }
        }
        named += right;
    }
    *wrongOut = wrong;
    return static_cast<double>(named) / count;
}

void Names(int count, int rounds) {
    const std::string tools = MakeTempDir("/tmp");
    std::filesystem::copy_file("/usr/bin/touch", tools + "/copy-of-touch");
    ::chmod((tools + "/copy-of-touch").c_str(), 0755);
    const std::string tree = tools + "/tree";
    std::printf(
        "%d short-lived writers, sh -c 'exec copy-of-touch|cp|mv|rm|dd ...', each run "
        "and reaped in turn\n",
        count);
    std::printf(
        "| round | machine | names read from /proc (before) | from the program's start "
        "(after) | after / before |\n|---|---|---|---|---|\n");
    for (int round = 1; round <= rounds; ++round) {
        for (bool loaded : {false, true}) {
            int wrongBefore = 0, wrongAfter = 0;
            const double before = NamedShare(false, tree, tools, count, loaded, &wrongBefore);
            const double after = NamedShare(true, tree, tools, count, loaded, &wrongAfter);
            std::printf("| %d | %s | %.1f%% (%d wrong) | %.1f%% (%d wrong) | %.2f× |\n", round,
                        loaded ? "both cores busy" : "quiet", 100 * before, wrongBefore,
                        100 * after, wrongAfter, before > 0 ? after / before : 0.0);
            std::fflush(stdout);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(tools, ignored);
}

double ProcessCpu() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU a source spends while another process appends to and renames files in a folder beside
// the watched one, which stays quiet.
double ElsewhereCpu(std::unique_ptr<qzx::ChangeSource> source, const std::string& tree,
                    const std::string& beside, int changes) {
    KeepingSink sink;
    if (!source->Start(tree, sink)) return -1;
    while (!sink.ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The writer is this process's child, so that its own CPU is not counted.
    pid_t writer = ::fork();
    if (writer == 0) {
        const int files = 100;
        // One append and two renames each time: changes in all.
        for (int i = 0; i < changes / 3; ++i) {
            const std::string a = beside + "/f" + std::to_string(i % files);
            FILE* f = std::fopen(a.c_str(), "a");
            if (f) {
                std::fputc('x', f);
                std::fclose(f);
            }
            std::rename(a.c_str(), (a + ".r").c_str());
            std::rename((a + ".r").c_str(), a.c_str());
        }
        ::_exit(0);
    }
    const double cpu = ProcessCpu();
    int status = 0;
    ::waitpid(writer, &status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The writer's CPU is a child's: RUSAGE_SELF leaves it out.
    const double used = ProcessCpu() - cpu;
    source->Stop();
    return sink.count.load() == 0 ? used : -2;
}

void Elsewhere(int changes, int rounds) {
    const std::string top = MakeTempDir("/tmp");
    const std::string tree = top + "/tree";
    const std::string beside = top + "/beside";
    std::filesystem::create_directories(tree);
    std::filesystem::create_directories(beside);
    std::printf(
        "%d changes beside a quiet watched folder (appends and renames; µs of the "
        "source's CPU per change)\n",
        changes);
    std::printf(
        "| round | inotify source | fanotify source | fanotify, before | fanotify without "
        "process handles |\n|---|---|---|---|---|\n");
    for (int round = 1; round <= rounds; ++round) {
        const double inotify = ElsewhereCpu(qzx::CreateInotifySource(), tree, beside, changes);
        const double now = ElsewhereCpu(qzx::CreateFanotifySource(), tree, beside, changes);
        qzx::FanotifyOptions old;
        old.programEvents = false;
        old.ignoreElsewhere = false;
        const double before = ElsewhereCpu(qzx::CreateFanotifySource(old), tree, beside, changes);
        qzx::FanotifyOptions bare;
        bare.processHandles = false;
        const double noHandles =
            ElsewhereCpu(qzx::CreateFanotifySource(bare), tree, beside, changes);
        std::printf("| %d | %.2f | %.2f | %.2f | %.2f |\n", round, inotify / changes * 1e6,
                    now / changes * 1e6, before / changes * 1e6, noHandles / changes * 1e6);
        std::fflush(stdout);
    }
    std::error_code ignored;
    std::filesystem::remove_all(top, ignored);
}

}  // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0) {
        std::printf("run as root: the fanotify source needs CAP_SYS_ADMIN\n");
        return 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "elsewhere") == 0) {
        Elsewhere(argc > 2 ? std::atoi(argv[2]) : 200000, argc > 3 ? std::atoi(argv[3]) : 3);
        return 0;
    }
    Names(argc > 1 ? std::atoi(argv[1]) : 1000, argc > 2 ? std::atoi(argv[2]) : 1);
    return 0;
}
