// How the inotify change source copes with a burst of new files and with a large tree to set up.
// Run by hand: build/bench/inotify_burst_bench [folders for the set-up run...]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "watch/ChangeSource.h"

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
    void OnEnded() override { ended = true; }

    std::atomic<long> addedFiles{0};
    std::atomic<long> records{0};
    std::atomic<long> batches{0};
    std::atomic<int> overflows{0};
    std::atomic<int> warnings{0};
    std::atomic<bool> ended{false};
    std::atomic<Clock::rep> lastRecord{0};
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
    const long wanted = folders + 1;  // and the root
    long watches = 0;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    while ((watches = CountWatches(fd)) < wanted && Clock::now() < deadline && !sink.warnings) {
        std::this_thread::sleep_for(std::chrono::milliseconds(folders > 20000 ? 100 : 10));
    }
    Clock::time_point watched = Clock::now();
    source->Stop();
    std::printf("set-up: %d folders: Start returned in %.6f s, %ld watches after %.3f s%s\n",
                folders, Seconds(startReturned - begin), watches, Seconds(watched - begin),
                sink.warnings ? " (watch limit or unreadable folder warned)" : "");
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QZX_SKIP_BURST")) Burst(100, 100000);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10000, 100000};
    for (int size : sizes) SetUp(size);
    return 0;
}
