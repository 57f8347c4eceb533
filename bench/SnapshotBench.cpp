// What the tree's snapshot costs on a big tree, against the inotify set-up walk of the same tree
// in the same run: its size on disk per entry, the listing, the save at Stop, the compare at
// Start, the memory held, the time to "监控中.." with the catch-up listing running beside the
// set-up, and after a forced overflow the share of lost changes that a compare recovers.
// Run by hand: build/bench/snapshot_bench [folders [files [burst]]]
//              (default 100000 folders, 1000000 files, a burst of 20000 files)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/CatchUp.h"
#include "base/Clock.h"
#include "records/FileSystem.h"
#include "watch/ChangeQueue.h"
#include "watch/InotifySource.h"
#include "watch/TreeLister.h"
#include "watch/TreeSnapshot.h"

namespace {

using Steady = std::chrono::steady_clock;

double Since(Steady::time_point t) {
    return std::chrono::duration<double>(Steady::now() - t).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long PeakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void Touch(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
}

std::string FolderOf(const std::string& root, int i) {
    return root + "g" + std::to_string(i % 100) + "/d" + std::to_string(i);
}

class ReadySink final : public qzx::ChangeSink {
  public:
    void OnBatch(const qzx::ChangeBatch&) override {}
    void OnOverflow() override {}
    void OnWarning(qzx::WatchWarning, const std::string&) override { ++warnings; }
    void OnReady() override { ready = true; }
    void OnEnded() override {}
    std::atomic<bool> ready{false};
    std::atomic<int> warnings{0};
};

// Time from Start to OnReady of the inotify source, with work() running beside it from the
// same moment when given.
double SetUpSeconds(const std::string& root, const std::function<void()>& beside = nullptr) {
    ReadySink sink;
    auto source = qzx::CreateInotifySource();
    const Steady::time_point begin = Steady::now();
    if (!source->Start(root, sink)) return -1;
    std::thread other;
    if (beside) other = std::thread(beside);
    while (!sink.ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double seconds = Since(begin);
    if (other.joinable()) other.join();
    source->Stop();
    if (sink.warnings) std::printf("  (set-up warned %d times)\n", sink.warnings.load());
    return seconds;
}

// Records as the recorder's sink gets them, slowly, so that a burst overflows the queue.
class SlowSink final : public qzx::ChangeSink {
  public:
    explicit SlowSink(qzx::CatchUp& c) : catchUp(c) {}
    void OnBatch(const qzx::ChangeBatch& batch) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        catchUp.Note(batch);
        for (const qzx::ChangeRecord& r : batch) {
            const bool burstFile =
                r.action == qzx::kActionAdded && r.name.find("/b") != std::string::npos;
            if (r.found == qzx::kFoundLive && burstFile) ++live;
            if (r.found == qzx::kFoundRecovered) (burstFile ? recovered : otherRecovered)++;
        }
    }
    void OnOverflow() override { ++overflows; }
    void OnWarning(qzx::WatchWarning, const std::string&) override {}
    void OnReady() override { ready = true; }
    void OnEnded() override {}
    qzx::CatchUp& catchUp;
    std::atomic<long> live{0};
    std::atomic<long> recovered{0};
    std::atomic<long> otherRecovered{0};
    std::atomic<int> overflows{0};
    std::atomic<bool> ready{false};
};

// Hands the source's OnReady to the catch-up as the program's sink does, and counts its rows.
class CatchUpSink final : public qzx::ChangeSink {
  public:
    explicit CatchUpSink(qzx::CatchUp& c) : catchUp(c) {}
    void OnBatch(const qzx::ChangeBatch& batch) override {
        catchUp.Note(batch);
        for (const qzx::ChangeRecord& r : batch) found += r.found == qzx::kFoundCatchUp;
    }
    void OnOverflow() override {}
    void OnWarning(qzx::WatchWarning, const std::string&) override {}
    void OnReady() override {
        catchUp.SourceReady();
        ready = true;
    }
    void OnEnded() override {}
    qzx::CatchUp& catchUp;
    std::atomic<long> found{0};
    std::atomic<bool> ready{false};
};

// A Start with catch-up on as the program makes it, the set-up walk's listing shared: the
// seconds to "监控中.." and to the last catch-up row handed on, counted from Start.
struct CatchUpTimes {
    double ready = -1;
    double rows = -1;
    long found = 0;
};
CatchUpTimes CatchUpFromStart(const std::string& root, const std::string& state) {
    qzx::CatchUp catchUp(state, qzx::SystemFileSystem(), &qzx::ListTree, qzx::SystemClock());
    CatchUpSink sink(catchUp);
    qzx::ChangeQueue queue(sink);
    auto source = qzx::CreateInotifySource();
    CatchUpTimes times;
    if (!queue.Start()) return times;
    const Steady::time_point begin = Steady::now();
    catchUp.Begin(root, nullptr, queue);
    source->ShareSetUpListing(catchUp.ListingTaker());
    if (!source->Start(root, queue)) return times;
    while (!sink.ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    times.ready = Since(begin);
    catchUp.WaitIdle(std::chrono::minutes(10));
    queue.WaitUntilHandedOn(std::chrono::minutes(5));
    times.rows = Since(begin);
    times.found = sink.found;
    catchUp.End(false);
    source->Stop();
    queue.Stop(qzx::Backlog::Discard);
    return times;
}

void Recovery(const std::string& root, int folders, int burst) {
    qzx::CatchUp catchUp(root + "../state/", qzx::SystemFileSystem(), &qzx::ListTree,
                         qzx::SystemClock());
    SlowSink sink(catchUp);
    // The seam: a queue that holds few records, in front of a recorder that is slow.
    qzx::ChangeQueue queue(sink, 1000);
    auto source = qzx::CreateInotifySource();
    if (!queue.Start() || !source->Start(root, queue)) return;
    while (!sink.ready) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    catchUp.Begin(root, nullptr, queue);
    catchUp.SourceReady();
    catchUp.WaitIdle(std::chrono::minutes(10));
    // Files made and deleted within the burst: no compare can see them.
    const int fleeting = burst / 10;
    for (int j = 0; j < burst; ++j) Touch(FolderOf(root, j % folders) + "/b" + std::to_string(j));
    for (int j = 0; j < fleeting; ++j) {
        const std::string path = FolderOf(root, j % folders) + "/t" + std::to_string(j);
        Touch(path);
        ::unlink(path.c_str());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    queue.WaitUntilHandedOn(std::chrono::minutes(5));
    const long live = sink.live;
    const Steady::time_point recoverAt = Steady::now();
    if (sink.overflows > 0) catchUp.Recover();
    catchUp.WaitIdle(std::chrono::minutes(10));
    queue.WaitUntilHandedOn(std::chrono::minutes(5));
    const double recoverSeconds = Since(recoverAt);
    catchUp.End();
    source->Stop();
    queue.Stop(qzx::Backlog::Discard);
    const long lost = burst - live;
    std::printf("recovery: burst of %d new files and %d made and deleted at once; queue of 1000\n",
                burst, fleeting);
    std::printf("recovery: overflows %d, recorded live %ld, lost %ld (visible to a compare)\n",
                sink.overflows.load(), live, lost);
    std::printf("recovery: recovered %ld of %ld = %.1f%% in %.2f s; other rows recovered %ld\n",
                sink.recovered.load(), lost, lost ? 100.0 * sink.recovered / lost : 100.0,
                recoverSeconds, sink.otherRecovered.load());
    std::printf("recovery: the %d made-and-deleted files cannot be recovered by any compare\n",
                fleeting);
    std::filesystem::remove_all(root + "../state/");
}

}  // namespace

int main(int argc, char** argv) {
    const int folders = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1000000;
    const int burst = argc > 3 ? std::atoi(argv[3]) : 20000;
    char pattern[] = "/tmp/qzx-snapshot-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string top = std::string(pattern) + "/";
    const std::string root = top + "tree/";
    ::mkdir(root.c_str(), 0755);

    Steady::time_point t = Steady::now();
    for (int g = 0; g < 100; ++g) ::mkdir((root + "g" + std::to_string(g)).c_str(), 0755);
    for (int i = 0; i < folders; ++i) ::mkdir(FolderOf(root, i).c_str(), 0755);
    for (int j = 0; j < files; ++j) {
        Touch(FolderOf(root, j % folders) + "/f" + std::to_string(j) + ".txt");
    }
    std::printf("tree: %d folders (in 100 groups), %d files, made in %.1f s\n", folders, files,
                Since(t));

    const std::atomic<bool> never{false};
    std::vector<double> setUp, listing;
    qzx::TreeListing listed;
    const long rssBefore = PeakRssKb();
    for (int round = 0; round < 3; ++round) {
        setUp.push_back(SetUpSeconds(root));
        t = Steady::now();
        listed = qzx::ListTree(root, nullptr, never);
        listing.push_back(Since(t));
    }
    const long rssAfter = PeakRssKb();
    const double baseline = Median(setUp);
    std::printf("inotify set-up walk to 监控中..: %.3f s (median of 3)\n", baseline);
    std::printf("snapshot listing alone:        %.3f s = %.2fx the set-up walk\n", Median(listing),
                Median(listing) / baseline);

    std::vector<double> together;
    for (int round = 0; round < 3; ++round) {
        together.push_back(SetUpSeconds(root, [&] { (void)qzx::ListTree(root, nullptr, never); }));
    }
    std::printf(
        "had the listing run beside the set-up: %.3f s = %.2fx to 监控中.. (not done: "
        "it waits for 监控中..)\n",
        Median(together), Median(together) / baseline);
    std::printf(
        "as done, the listing after 监控中..: 监控中.. at 1.00x, catch-up listed at %.2fx\n",
        (baseline + Median(listing)) / baseline);

    qzx::SnapshotHeader header;
    header.folder = root;
    header.takenAt = listed.startedAt;
    t = Steady::now();
    const std::string bytes = qzx::SnapshotFileBytes(header, listed.tree);
    const std::string file = top + "tree.snap";
    qzx::SystemFileSystem().ReplaceFile(file, bytes);
    const double encodeWrite = Since(t);
    const double entries = static_cast<double>(listed.tree.count);
    std::printf("snapshot: %llu entries, %zu bytes on disk = %.2f bytes per entry\n",
                static_cast<unsigned long long>(listed.tree.count), bytes.size(),
                static_cast<double>(bytes.size()) / entries);
    std::printf("save at Stop: listing %.3f s + encode and write %.3f s = %.2fx the set-up walk\n",
                Median(listing), encodeWrite, (Median(listing) + encodeWrite) / baseline);
    std::printf(
        "memory held for the view: %zu bytes (%.2f per entry); peak RSS grew %ld KiB "
        "over the listings\n",
        listed.tree.bytes.capacity(), static_cast<double>(listed.tree.bytes.capacity()) / entries,
        rssAfter - rssBefore);

    // What a stop leaves to find: a thousand files written, a hundred removed, made, renamed.
    for (int j = 0; j < 1000; ++j) {
        Touch(FolderOf(root, j % folders) + "/f" + std::to_string(j) + ".txt");
    }
    for (int j = 1000; j < 1100; ++j) {
        ::unlink((FolderOf(root, j % folders) + "/f" + std::to_string(j) + ".txt").c_str());
        Touch(FolderOf(root, j % folders) + "/n" + std::to_string(j));
        const std::string from =
            FolderOf(root, (j + 100) % folders) + "/f" + std::to_string(j + 100);
        ::rename((from + ".txt").c_str(), (from + ".moved").c_str());
    }
    t = Steady::now();
    std::string read;
    qzx::SystemFileSystem().ReadWholeFile(file, qzx::kMaxSnapshotFileBytes, read);
    const qzx::LoadedSnapshot loaded = qzx::ParseSnapshotFile(read, root);
    const double readCheck = Since(t);
    t = Steady::now();
    const qzx::TreeListing now = qzx::ListTree(root, nullptr, never);
    const double relist = Since(t);
    t = Steady::now();
    const qzx::TreeDifference found = qzx::CompareTrees(loaded.tree, now.tree);
    const double compare = Since(t);
    std::printf(
        "compare at Start: read and check %.3f s, listing %.3f s, compare %.3f s; "
        "found %zu added, %zu removed, %zu modified, %zu renamed\n",
        readCheck, relist, compare, found.added, found.removed, found.modified, found.renamed);
    std::printf("compare at Start beyond the listing: %.3f s = %.2fx the set-up walk\n",
                readCheck + compare, (readCheck + compare) / baseline);

    // The program's own Start with catch-up on: the snapshot saved above, the set-up walk's
    // listing taken for the compare, each round beside a set-up walk without catch-up.
    const std::string state = top + "state/";
    qzx::SystemFileSystem().MakeFolders(state);
    qzx::SystemFileSystem().ReplaceFile(qzx::SnapshotFileFor(state, root), bytes);
    std::vector<double> plain, ready, rows;
    long foundRows = 0;
    for (int round = 0; round < 3; ++round) {
        plain.push_back(SetUpSeconds(root));
        const CatchUpTimes times = CatchUpFromStart(root, state);
        ready.push_back(times.ready);
        rows.push_back(times.rows);
        foundRows = times.found;
    }
    std::printf(
        "catch-up on, set-up walk shared (median of 3): 监控中.. %.3f s = %.2fx, last of %ld "
        "catch-up rows %.3f s = %.2fx the set-up walk without catch-up (%.3f s)\n",
        Median(ready), Median(ready) / Median(plain), foundRows, Median(rows),
        Median(rows) / Median(plain), Median(plain));

    Recovery(root, folders, burst);
    std::filesystem::remove_all(top);
    return 0;
}
