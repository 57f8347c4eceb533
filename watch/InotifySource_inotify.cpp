// The Linux change source: one inotify watch per folder, read by the source's own thread.
//
// How it works. Start checks the folder, opens the inotify descriptor and an eventfd, and
// watches the folder itself before it returns, so that nothing made at the top right after
// Start is missed; then it starts the thread. That thread alone touches the descriptor: it
// waits in poll for events or the eventfd, hands each read to the translator (which keeps the
// table of watched folders and calls the sink with batches), and between reads walks new
// folders a budget at a time so that the kernel queue is read often. A move's first half at
// the end of a read waits a few milliseconds for its second half (HeldRename.h).
// Stop writes the eventfd; the thread sees it in its next poll, reads what the kernel still
// holds if a drain was asked for, and returns. A new ignore list writes it too: the thread then
// hands the list to the translator, which drops the watches of the folders it skips and watches
// the ones it keeps again. Watching also ends by itself when the watched folder goes away or a
// read fails; the sink is then told OnEnded.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/UniqueFd.h"
#include "watch/ChangeSource.h"
#include "watch/InotifySource.h"
#include "watch/HeldRename.h"
#include "watch/InotifyParser.h"
#include "watch/InotifyTranslator.h"
#include "watch/SourceThread.h"

namespace qzx {
namespace {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                                     IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                     IN_DONT_FOLLOW | IN_EXCL_UNLINK;
// Large reads keep the number of system calls low enough to outrun a burst of creations.
constexpr std::size_t kReadBufferSize = 256 * 1024;
// Entries listed between two looks at the kernel queue while setting up or scanning.
constexpr std::size_t kListBudget = 2048;
// Reads shorter than this are followed by a pause of kGatherPause before the next one. In a
// burst of creations every wake-up costs more than the events it brings; two milliseconds of
// the fastest burst is a few hundred events, far below what the kernel queue holds.
constexpr std::size_t kShortRead = 16 * 1024;
constexpr auto kGatherPause = std::chrono::milliseconds(2);

FileTime ClockTime(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<FileTime>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

FileTime StampOf(const statx_timestamp& stamp) {
    return static_cast<FileTime>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// Folder operations below one root, by path, on the real file system.
class RealDirectories : public DirectoryAccess {
  public:
    RealDirectories(int inotifyFd, std::string root)
        : inotifyFd(inotifyFd), root(std::move(root)) {}

    int AddWatch(const std::string& path) override {
        int wd = ::inotify_add_watch(inotifyFd, Full(path).c_str(), kWatchMask);
        return wd >= 0 ? wd : -errno;
    }

    void RemoveWatch(int wd) override { ::inotify_rm_watch(inotifyFd, wd); }

    int ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries,
                      bool withTimes) override {
        int fd = ::open(Full(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return errno;
        UniqueDir dir(::fdopendir(fd));
        if (!dir) {
            int error = errno;
            ::close(fd);
            return error;
        }
        errno = 0;
        while (dirent* entry = ::readdir(dir.get())) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            DirectoryEntry found{name, entry->d_type == DT_DIR};
            // The number the listing gives, as the snapshot's own listing takes it.
            found.fileId = entry->d_ino;
            found.isOther = entry->d_type != DT_DIR && entry->d_type != DT_REG;
            if (withTimes || entry->d_type == DT_UNKNOWN) Inspect(::dirfd(dir.get()), found);
            entries.push_back(std::move(found));
        }
        return 0;
    }

    // Changes are stamped with the coarse clock or a finer one, never earlier than it, so a
    // stamp below this reading belongs to a change made before it.
    FileTime Now() override { return ClockTime(CLOCK_REALTIME_COARSE); }

  private:
    std::string Full(const std::string& path) const { return root + path; }

    static void Inspect(int dirFd, DirectoryEntry& entry) {
        struct statx info;
        // Cached attributes are enough: only changes this machine made matter here.
        if (::statx(dirFd, entry.name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
                    STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME,
                    &info) != 0) {
            return;
        }
        if (info.stx_mask & STATX_TYPE) {
            entry.isDirectory = S_ISDIR(info.stx_mode);
            entry.isOther = !entry.isDirectory && !S_ISREG(info.stx_mode);
        }
        entry.size = info.stx_size;
        if (info.stx_mask & STATX_MTIME) entry.modified = StampOf(info.stx_mtime);
        if (info.stx_mask & STATX_CTIME) entry.changed = StampOf(info.stx_ctime);
        if (info.stx_mask & STATX_BTIME) entry.born = StampOf(info.stx_btime);
    }

    int inotifyFd;
    std::string root;  // ends with "/"
};

class InotifySource final : public ThreadedChangeSource<> {
  public:
    ~InotifySource() override { Stop(); }

    bool Start(const std::string& folder, ChangeSink& sink) override {
        Stop();
        // The precise clock: a change stamped later than this was made after Start.
        startTime = ClockTime(CLOCK_REALTIME);
        root = folder;
        if (root.empty()) return false;
        if (root.back() != '/') root += '/';
        // Watching a folder one may not list would report nothing but its own removal.
        UniqueFd probe(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!probe.Valid()) return false;
        UniqueFd notify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!notify.Valid() || !wake.Valid()) return false;
        // The root's own watch is set up here, so that nothing done right after Start returns
        // at the top of the folder can be missed.
        rootWd = ::inotify_add_watch(notify.Get(), root.c_str(), kWatchMask);
        if (rootWd < 0) return false;
        rootArmedAt = ClockTime(CLOCK_REALTIME_COARSE);
        inotifyFd = std::move(notify);
        wakeFd = std::move(wake);
        return StartThread(sink);
    }

    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) override {
        {
            std::lock_guard<std::mutex> lock(rulesMutex);
            ignoreRules = std::move(rules);
            rulesChangedAt = ClockTime(CLOCK_REALTIME);
            rulesChanged = true;
        }
        // Before Start the thread takes the list when it begins; after a run, nobody reads it.
        if (wakeFd.Valid()) Wake();
    }

    void ShareSetUpListing(SetUpListingTaker take) override { listingTaker = std::move(take); }

  private:
    void Wake() override {
        std::uint64_t one = 1;
        // The eventfd counter cannot overflow from one write; the result needs no check.
        [[maybe_unused]] ssize_t written = ::write(wakeFd.Get(), &one, sizeof one);
    }

    void CloseRun() override {
        inotifyFd.Reset();
        wakeFd.Reset();
    }

    bool Watch(ChangeSink& sink) override {
        RealDirectories directories(inotifyFd.Get(), root);
        InotifyTranslator translator(directories, sink);
        translator.ShareSetUpListing(listingTaker);
        FileTime changedAt = kNoTime;
        translator.SetIgnoreRules(TakeRules(changedAt));
        translator.Begin(rootWd, startTime, rootArmedAt);
        std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);
        std::vector<InotifyEvent> events;
        using Clock = RenameWait::Clock;
        RenameWait heldMove;
        bool listedSinceEmpty = false;
        for (;;) {
            int timeout = -1;
            if (translator.HasPendingWork()) {
                timeout = 0;
            } else if (translator.HasHeldMove()) {
                timeout = static_cast<int>(heldMove.Left(Clock::now()).count());
            }
            pollfd fds[2] = {{wakeFd.Get(), POLLIN, 0}, {inotifyFd.Get(), POLLIN, 0}};
            int ready = ::poll(fds, 2, timeout);
            if (ready < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (fds[0].revents) {
                std::uint64_t count = 0;
                [[maybe_unused]] ssize_t got = ::read(wakeFd.Get(), &count, sizeof count);
                // Stop asks before it writes, so a write this read took is never missed.
                if (StopAsked()) {
                    if (DrainAsked()) Drain(translator, buffer.get(), events);
                    return true;
                }
                if (RulesChanged()) {
                    std::shared_ptr<const IgnoreRules> rules = TakeRules(changedAt);
                    translator.SetIgnoreRules(std::move(rules), changedAt);
                    listedSinceEmpty = true;
                }
            }
            if (fds[1].revents & (POLLERR | POLLNVAL)) return false;
            if (fds[1].revents & POLLIN) {
                ssize_t length = ::read(inotifyFd.Get(), buffer.get(), kReadBufferSize);
                if (length < 0 && errno != EAGAIN && errno != EINTR) return false;
                if (length > 0) {
                    ParseInotifyEvents(buffer.get(), static_cast<std::size_t>(length), events);
                    if (!translator.HandleEvents(events)) return false;
                    if (translator.HasHeldMove()) heldMove.Start(Clock::now());
                    // A short read in a burst means waking for every few events; a moment's
                    // pause lets them gather. The kernel holds thousands, so none is lost.
                    if (static_cast<std::size_t>(length) < kShortRead) {
                        std::this_thread::sleep_for(kGatherPause);
                    }
                }
            } else if (translator.HasHeldMove() && heldMove.Over(Clock::now())) {
                translator.ReleaseHeldMove();
            }
            if (translator.HasPendingWork()) {
                translator.DoPendingWork(kListBudget);
                listedSinceEmpty = true;
                continue;
            }
            if (listedSinceEmpty && !translator.HasHeldMove() && QueueIsEmpty()) {
                translator.OnQueueEmpty();
                listedSinceEmpty = false;
            }
        }
    }

    // Reads what the kernel holds now, no more (a folder that keeps changing would never let
    // the stop end), and lists the new folders among it, whose files are changes too.
    void Drain(InotifyTranslator& translator, char* buffer, std::vector<InotifyEvent>& events) {
        int queued = 0;
        if (::ioctl(inotifyFd.Get(), FIONREAD, &queued) != 0) queued = 0;
        std::size_t left = static_cast<std::size_t>(queued);
        while (left > 0) {
            ssize_t length = ::read(inotifyFd.Get(), buffer, kReadBufferSize);
            if (length < 0 && errno == EINTR) continue;
            if (length <= 0) break;
            left = static_cast<std::size_t>(length) >= left ? 0 : left - length;
            ParseInotifyEvents(buffer, static_cast<std::size_t>(length), events);
            if (!translator.HandleEvents(events)) return;
            while (translator.HasPendingWork()) translator.DoPendingWork(kListBudget);
        }
        while (translator.HasPendingWork()) translator.DoPendingWork(kListBudget);
        // A rename whose other half is not among them went out of the tree.
        translator.ReleaseHeldMove();
    }

    bool RulesChanged() {
        std::lock_guard<std::mutex> lock(rulesMutex);
        return rulesChanged;
    }

    std::shared_ptr<const IgnoreRules> TakeRules(FileTime& changedAt) {
        std::lock_guard<std::mutex> lock(rulesMutex);
        rulesChanged = false;
        changedAt = rulesChangedAt;
        return ignoreRules;
    }

    bool QueueIsEmpty() const {
        int queued = 0;
        return ::ioctl(inotifyFd.Get(), FIONREAD, &queued) == 0 && queued == 0;
    }

    // Set by Start, read by the thread it starts.
    std::string root;
    int rootWd = -1;
    FileTime startTime = kNoTime;    // the precise clock when Start was called
    FileTime rootArmedAt = kNoTime;  // the coarse clock once the root's watch was in place
    UniqueFd inotifyFd;
    UniqueFd wakeFd;
    SetUpListingTaker listingTaker;  // set before Start
    // Set by SetIgnoreRules on the caller's thread, taken by the source's thread.
    std::mutex rulesMutex;
    std::shared_ptr<const IgnoreRules> ignoreRules;
    FileTime rulesChangedAt = kNoTime;
    bool rulesChanged = false;
};

}  // namespace

std::unique_ptr<ChangeSource> CreateInotifySource() { return std::make_unique<InotifySource>(); }

}  // namespace qzx
