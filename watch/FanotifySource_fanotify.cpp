// The fanotify change source.
//
// Start sets up a notification group that reports file handles, checks that handles of this
// file system can be opened again (the paths are rebuilt from them), and places one mark on
// the whole file system of the watched folder: from then on no change is missed, so the
// source's thread tells the sink it is ready before it reads anything. That thread reads the
// group's queue and hands the events to the translator, which keeps what lies below the
// watched folder, then closes the process handles that came with them. The same group hears of
// every program start on the file systems that hold programs, which names each process even
// when it has ended before its changes are read. Without rename events a
// move's first half at the end of a read waits a few milliseconds for its second half
// (HeldRename.h). Stop wakes it through an eventfd and joins it (SourceThread.h).
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/UniqueFd.h"
#include "watch/EngineTexts.h"
#include "watch/FanotifyParser.h"
#include "watch/FanotifySource.h"
#include "watch/FanotifyTranslator.h"
#include "watch/HeldRename.h"
#include "watch/SourceThread.h"

namespace qzx {
namespace {

constexpr std::uint64_t kChangeMask = FAN_CREATE | FAN_DELETE | FAN_MODIFY | FAN_ATTRIB | FAN_ONDIR;
// Without rename events the two halves come separately, and the watched folder's own end has
// to be heard from its own events, since the deletion in its parent does not name it.
constexpr std::uint64_t kHalvesMask =
    FAN_MOVED_FROM | FAN_MOVED_TO | FAN_DELETE_SELF | FAN_MOVE_SELF;
// What a folder outside the tree has the kernel drop: what is made in it, never its moves,
// since a move out of it may bring something into the tree.
constexpr std::uint64_t kIgnoredMask =
    FAN_CREATE | FAN_DELETE | FAN_MODIFY | FAN_ATTRIB | FAN_ONDIR | FAN_EVENT_ON_CHILD;
// Large reads keep the number of system calls low in a burst.
constexpr std::size_t kReadBufferSize = 256 * 1024;
// As for inotify: a short read in a burst is followed by a moment's pause, so that the next
// read brings many events rather than a few.
constexpr std::size_t kShortRead = 16 * 1024;
constexpr auto kGatherPause = std::chrono::milliseconds(2);
constexpr auto kElsewherePause = std::chrono::milliseconds(20);
constexpr std::size_t kHandleRoom = MAX_HANDLE_SZ;

// A file handle as the kernel's calls take it, with room for the largest.
struct HandleBuffer {
    file_handle header;
    unsigned char bytes[kHandleRoom];
};

// The handle of the folder at path, in the form the events carry it (file system id first).
std::optional<std::string> HandleKey(int dirFd, const char* path, int flags,
                                     const __kernel_fsid_t& fsid) {
    HandleBuffer buffer{};
    buffer.header.handle_bytes = kHandleRoom;
    int mountId = 0;
    if (::name_to_handle_at(dirFd, path, &buffer.header, &mountId, flags) != 0) {
        return std::nullopt;
    }
    std::string key(reinterpret_cast<const char*>(&fsid), sizeof fsid);
    key.append(reinterpret_cast<const char*>(&buffer.header),
               sizeof buffer.header + buffer.header.handle_bytes);
    return key;
}

// Opens what a handle key names, relative to any descriptor on its file system.
int OpenHandle(int mountFd, std::string_view key, int flags) {
    constexpr std::size_t kFsid = sizeof(__kernel_fsid_t);
    if (key.size() < kFsid + sizeof(file_handle)) {
        errno = ESTALE;
        return -1;
    }
    HandleBuffer buffer{};
    const std::size_t length = key.size() - kFsid;
    if (length > sizeof buffer) {
        errno = ESTALE;
        return -1;
    }
    // A copy, because the key's bytes promise no alignment for the header's fields.
    std::memcpy(&buffer, key.data() + kFsid, length);
    if (buffer.header.handle_bytes != length - sizeof(file_handle)) {
        errno = ESTALE;
        return -1;
    }
    return ::open_by_handle_at(mountFd, &buffer.header, flags);
}

// Where an open descriptor is, as the kernel names it from this process's root: the same path
// for the same folder, whichever links led to it. nullopt when /proc cannot say, or the place
// cannot be reached from this process's root.
std::optional<std::string> LinkedPath(int fd) {
    char link[40];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    std::string path(PATH_MAX, '\0');
    ssize_t length = ::readlink(link, path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return std::nullopt;
    path.resize(static_cast<std::size_t>(length));
    if (path.front() != '/') return std::nullopt;
    return path;
}

// Where programs are started from, whose file systems are told of every start when they are not
// the watched folder's: what the processes that change files are named after.
constexpr const char* kProgramPlaces[] = {"/",    "/usr",  "/usr/bin", "/usr/local", "/usr/libexec",
                                          "/opt", "/home", "/tmp",     "/var",       "/snap"};

// A file system told of program starts, and a descriptor on it to open its handles.
struct ProgramFileSystem {
    __kernel_fsid_t fsid{};
    UniqueFd fd;
};

bool SameFsid(const __kernel_fsid_t& a, const __kernel_fsid_t& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The file system below one folder, as the translator asks about it.
class RealFanotifyAccess final : public FanotifyAccess {
  public:
    // notifyFd: the group whose kernel side drops ignored folders' changes; -1 for none.
    RealFanotifyAccess(int mountFd, const __kernel_fsid_t& fsid,
                       const std::vector<ProgramFileSystem>& programs, int notifyFd)
        : mountFd(mountFd), fsid(fsid), programs(programs), notifyFd(notifyFd) {}

    bool IgnoreFolder(std::string_view handle) override {
        if (notifyFd < 0 || handle.size() < sizeof(__kernel_fsid_t)) return false;
        __kernel_fsid_t of;
        std::memcpy(&of, handle.data(), sizeof of);
        if (!SameFsid(of, fsid)) return false;
        UniqueFd fd(OpenHandle(mountFd, handle, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd.Valid()) return false;
        if (::fanotify_mark(notifyFd, FAN_MARK_ADD | FAN_MARK_IGNORE_SURV, kIgnoredMask, fd.Get(),
                            nullptr) == 0) {
            ignoring = true;
            return true;
        }
        // Before Linux 6.0 there is no way to drop a folder's changes and keep its moves.
        if (errno == EINVAL) notifyFd = -1;
        return false;
    }

    void HearAllFolders() override {
        if (!ignoring) return;
        // Only marks of single folders go: the file systems' marks stay.
        ::fanotify_mark(notifyFd, FAN_MARK_FLUSH, 0, AT_FDCWD, nullptr);
        ignoring = false;
    }

    std::optional<std::string> ProgramPath(std::string_view handle,
                                           std::string_view name) override {
        if (handle.size() < sizeof(__kernel_fsid_t)) return std::nullopt;
        __kernel_fsid_t of;
        std::memcpy(&of, handle.data(), sizeof of);
        int fdOn = SameFsid(of, fsid) ? mountFd : -1;
        for (const ProgramFileSystem& fs : programs) {
            if (fdOn < 0 && SameFsid(of, fs.fsid)) fdOn = fs.fd.Get();
        }
        if (fdOn < 0) return std::nullopt;
        UniqueFd fd(OpenHandle(fdOn, handle, O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!fd.Valid()) return std::nullopt;
        std::optional<std::string> path = LinkedPath(fd.Get());
        if (!path) return std::nullopt;
        if (path->back() != '/') *path += '/';
        return *path + std::string(name);
    }

    std::optional<std::string> FolderPath(std::string_view handle) override {
        UniqueFd fd(OpenHandle(mountFd, handle, O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!fd.Valid()) return std::nullopt;
        struct stat info;
        // Still open somewhere but deleted: its path is a memory, not a place.
        if (::fstat(fd.Get(), &info) != 0 || info.st_nlink == 0) return std::nullopt;
        // A folder that this process cannot reach from its own root is no place below it.
        std::optional<std::string> path = LinkedPath(fd.Get());
        if (!path) return std::nullopt;
        // Deleted between the two looks, the link names it with " (deleted)" added; still
        // linked after the link was read, the path read was its place.
        if (::fstat(fd.Get(), &info) != 0 || info.st_nlink == 0) return std::nullopt;
        return path;
    }

    std::optional<std::string> HandleOf(const std::string& path) override {
        return HandleKey(AT_FDCWD, path.c_str(), 0, fsid);
    }

    bool ListFolder(const std::string& path,
                    std::vector<std::pair<std::string, bool>>& entries) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return false;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return false;
        }
        while (dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            bool isDirectory = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat info;
                isDirectory = ::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                              S_ISDIR(info.st_mode);
            }
            entries.emplace_back(name, isDirectory);
        }
        ::closedir(dir);
        return true;
    }

  private:
    int mountFd;
    __kernel_fsid_t fsid;
    const std::vector<ProgramFileSystem>& programs;
    int notifyFd;
    bool ignoring = false;
};

void CloseDescriptors(const std::vector<FanotifyEvent>& events) {
    for (const FanotifyEvent& event : events) {
        if (event.pidfd >= 0) ::close(event.pidfd);
        if (event.fd >= 0) ::close(event.fd);
    }
}

// What Start found out about the kernel and the folder, for the thread.
struct Group {
    UniqueFd notify;
    UniqueFd rootFd;
    // The watched folder as the kernel names it, with "/" at its end: the folders of events
    // are found below it by their paths, which never go through a symbolic link.
    std::string rootPath;
    std::string rootKey;
    __kernel_fsid_t fsid{};
    FanotifyFeatures features;
    // Program starts are heard on the watched folder's file system too.
    bool programStarts = false;
    std::vector<ProgramFileSystem> programs;
};

class FanotifySourceImpl final : public ThreadedChangeSource<FanotifySource> {
  public:
    explicit FanotifySourceImpl(const FanotifyOptions& options) : options(options) {}
    ~FanotifySourceImpl() override { Stop(); }

    bool Start(const std::string& folder, ChangeSink& sink) override {
        Stop();
        refusalError = 0;
        root = folder;
        if (root.empty()) return false;
        if (root.back() != '/') root += '/';
        std::optional<Group> opened = Open();
        if (!opened) return false;
        UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!wake.Valid()) return false;
        group = std::move(*opened);
        wakeFd = std::move(wake);
        return StartThread(sink);
    }

    EngineStatus Engine() const override {
        return EngineStatus{ChangeEngine::Fanotify, options.processes, texts::kEngineFanotify, ""};
    }

    std::string Refusal() const override {
        return refusalError ? FanotifyRefusalText(refusalError) : std::string();
    }
    int RefusalError() const override { return refusalError; }

    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) override {
        std::lock_guard<std::mutex> lock(rulesMutex);
        ignoreRules = std::move(rules);
        rulesChanged = true;
    }

  private:
    // The thread takes a new list between reads; the lock is held for a pointer's copy only.
    void TakeIgnoreRules(FanotifyTranslator& translator) {
        if (!rulesChanged.exchange(false)) return;
        std::lock_guard<std::mutex> lock(rulesMutex);
        translator.SetIgnoreRules(ignoreRules);
    }

    void Wake() override {
        std::uint64_t one = 1;
        // The eventfd counter cannot overflow from one write; the result needs no check.
        [[maybe_unused]] ssize_t written = ::write(wakeFd.Get(), &one, sizeof one);
    }

    void CloseRun() override {
        group = Group{};
        wakeFd.Reset();
    }

    // ---- setting up ----

    // The group with its mark, or nullopt: refusalError tells when fanotify refused rather
    // than the folder.
    std::optional<Group> Open() {
        Group opened;
        opened.rootFd.Reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!opened.rootFd.Valid()) return std::nullopt;
        opened.features.renameEvents = options.renameEvents;
        opened.features.targetHandles = options.targetHandles;
        if (!OpenGroup(opened)) return std::nullopt;
        struct statfs fs;
        if (::fstatfs(opened.rootFd.Get(), &fs) != 0) return Refused(errno);
        static_assert(sizeof fs.f_fsid == sizeof opened.fsid);
        std::memcpy(&opened.fsid, &fs.f_fsid, sizeof opened.fsid);
        std::optional<std::string> key =
            HandleKey(opened.rootFd.Get(), "", AT_EMPTY_PATH, opened.fsid);
        if (!key) return Refused(errno);
        // Paths are rebuilt from handles: without the privilege to open them, or on a file
        // system whose handles cannot be opened, nothing could be placed.
        UniqueFd reopened(OpenHandle(opened.rootFd.Get(), *key, O_PATH | O_CLOEXEC));
        if (!reopened.Valid()) return Refused(errno == ESTALE ? EOPNOTSUPP : errno);
        opened.rootKey = std::move(*key);
        // Without /proc no folder could be placed in the tree: every change would be dropped.
        std::optional<std::string> rootPath = LinkedPath(opened.rootFd.Get());
        if (!rootPath) return Refused(ENOENT);
        opened.rootPath = std::move(*rootPath);
        if (opened.rootPath.back() != '/') opened.rootPath += '/';
        if (!PlaceMark(opened)) return std::nullopt;
        if (opened.programStarts) MarkProgramPlaces(opened);
        return opened;
    }

    bool OpenGroup(Group& opened) {
        if (options.refuseGroupWith) return Refuse(options.refuseGroupWith);
        unsigned int report = FAN_REPORT_DFID_NAME | FAN_REPORT_FID;
        if (opened.features.targetHandles) report |= FAN_REPORT_TARGET_FID;
        unsigned int pidfd = options.processHandles ? FAN_REPORT_PIDFD : 0;
        // The bound is the reader's (maxQueuedBytes), and the folders it ignores are marks.
        const unsigned int unlimited = FAN_UNLIMITED_QUEUE | FAN_UNLIMITED_MARKS;
        for (;;) {
            int fd = ::fanotify_init(
                FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK | report | pidfd | unlimited,
                O_RDONLY | O_LARGEFILE);
            if (fd >= 0) {
                opened.notify.Reset(fd);
                return true;
            }
            if (errno != EINVAL) return Refuse(errno);
            // An older kernel: without process handles (before 5.15), then without entry
            // handles and rename events (before 5.17); before 5.9 nothing of this exists.
            if (pidfd) {
                pidfd = 0;
            } else if (report & FAN_REPORT_TARGET_FID) {
                report &= ~FAN_REPORT_TARGET_FID;
                pidfd = options.processHandles ? FAN_REPORT_PIDFD : 0;
                opened.features.targetHandles = false;
                opened.features.renameEvents = false;
            } else {
                return Refuse(EINVAL);
            }
        }
    }

    bool PlaceMark(Group& opened) {
        if (options.refuseMarkWith) return Refuse(options.refuseMarkWith);
        opened.programStarts = options.processes && options.programEvents;
        for (;;) {
            const std::uint64_t mask = kChangeMask |
                                       (opened.features.renameEvents ? FAN_RENAME : kHalvesMask) |
                                       (opened.programStarts ? FAN_OPEN_EXEC : 0);
            if (::fanotify_mark(opened.notify.Get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, mask,
                                opened.rootFd.Get(), nullptr) == 0) {
                return true;
            }
            if (errno != EINVAL) return Refuse(errno);
            // An older kernel: without program starts (before 5.0), then without renames.
            if (opened.programStarts) {
                opened.programStarts = false;
            } else if (opened.features.renameEvents) {
                opened.features.renameEvents = false;
            } else {
                return Refuse(errno);
            }
        }
    }

    // The other file systems that hold programs hear of their starts; one that refuses only
    // leaves its programs' processes to be read from /proc.
    void MarkProgramPlaces(Group& opened) {
        for (const char* place : kProgramPlaces) {
            UniqueFd fd(::open(place, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            struct statfs fs;
            if (!fd.Valid() || ::fstatfs(fd.Get(), &fs) != 0) continue;
            __kernel_fsid_t fsid;
            std::memcpy(&fsid, &fs.f_fsid, sizeof fsid);
            bool known = SameFsid(fsid, opened.fsid);
            for (const ProgramFileSystem& other : opened.programs) {
                known = known || SameFsid(fsid, other.fsid);
            }
            if (known) continue;
            if (::fanotify_mark(opened.notify.Get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM,
                                FAN_OPEN_EXEC, fd.Get(), nullptr) != 0) {
                continue;
            }
            opened.programs.push_back(ProgramFileSystem{fsid, std::move(fd)});
        }
    }

    // Notes why fanotify cannot be had; false, for the caller to return.
    bool Refuse(int error) {
        refusalError = error ? error : EINVAL;
        return false;
    }
    std::optional<Group> Refused(int error) {
        Refuse(error);
        return std::nullopt;
    }

    // ---- reading ----

    bool Watch(ChangeSink& sink) override {
        // The mark is in place: every change from now on is queued for this thread.
        sink.OnReady();
        RealFanotifyAccess access(group.rootFd.Get(), group.fsid, group.programs,
                                  options.ignoreElsewhere ? group.notify.Get() : -1);
        ProcessCache processes(SystemProcessReader());
        FanotifyTranslator translator(access, sink, options.processes ? &processes : nullptr,
                                      group.features);
        translator.Begin(group.rootPath, group.rootKey);
        rulesChanged = true;
        TakeIgnoreRules(translator);
        std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);
        std::vector<FanotifyEvent> events;
        using Clock = RenameWait::Clock;
        RenameWait heldMove;
        const int notifyFd = group.notify.Get();
        for (;;) {
            int timeout = -1;
            if (translator.HasHeldMove()) {
                timeout = static_cast<int>(heldMove.Left(Clock::now()).count());
            }
            pollfd fds[2] = {{wakeFd.Get(), POLLIN, 0}, {notifyFd, POLLIN, 0}};
            int ready = ::poll(fds, 2, timeout);
            if (ready < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            // Only Stop writes the eventfd.
            if (fds[0].revents) {
                if (DrainAsked()) Drain(translator, buffer.get(), events);
                return true;
            }
            if (fds[1].revents & (POLLERR | POLLNVAL)) return false;
            if (!(fds[1].revents & POLLIN)) {
                if (translator.HasHeldMove() && heldMove.Over(Clock::now())) {
                    translator.ReleaseHeldMove();
                }
                continue;
            }
            ssize_t length = ::read(notifyFd, buffer.get(), kReadBufferSize);
            if (length < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                return false;
            }
            if (length == 0) continue;
            ParseFanotifyEvents(buffer.get(), static_cast<std::size_t>(length), events);
            // A long read means a backlog: only then can the queue have grown past its bound.
            if (static_cast<std::size_t>(length) >= kShortRead) BoundQueue(events);
            const Clock::time_point now = Clock::now();
            const std::size_t reportedBefore = translator.Reported();
            TakeIgnoreRules(translator);
            const bool goesOn = translator.HandleEvents(events, now);
            // The process handles have told who each process was; they must not pile up.
            CloseDescriptors(events);
            if (!goesOn) return false;
            if (translator.HasHeldMove()) heldMove.Start(now);
            if (static_cast<std::size_t>(length) < kShortRead) {
                if (translator.WaitsForEmptyQueue() && !translator.HasHeldMove() &&
                    QueueIsEmpty()) {
                    translator.OnQueueEmpty(now);
                }
                // After a read of nothing but changes elsewhere, a longer pause: the moves
                // there, which the kernel cannot drop, then come many to a read.
                const bool elsewhere =
                    translator.Reported() == reportedBefore && !translator.HasHeldMove();
                std::this_thread::sleep_for(elsewhere ? kElsewherePause : kGatherPause);
            }
        }
    }

    // Reads what the kernel holds now, no more: a file system that keeps changing would never
    // let the stop end.
    void Drain(FanotifyTranslator& translator, char* buffer, std::vector<FanotifyEvent>& events) {
        int queued = 0;
        if (::ioctl(group.notify.Get(), FIONREAD, &queued) != 0) queued = 0;
        std::size_t left = static_cast<std::size_t>(queued);
        while (left > 0) {
            ssize_t length = ::read(group.notify.Get(), buffer, kReadBufferSize);
            if (length < 0 && errno == EINTR) continue;
            if (length <= 0) break;
            left = static_cast<std::size_t>(length) >= left ? 0 : left - length;
            ParseFanotifyEvents(buffer, static_cast<std::size_t>(length), events);
            const bool goesOn = translator.HandleEvents(events, std::chrono::steady_clock::now());
            CloseDescriptors(events);
            if (!goesOn) return;
        }
        // A move whose other half is not among them went where nobody looks.
        translator.ReleaseHeldMove();
    }

    // Behind by more than the bound: what waits in the kernel is dropped, and the events of
    // this read end with an overflow, as the kernel's own bound would have it.
    void BoundQueue(std::vector<FanotifyEvent>& events) {
        int queued = 0;
        if (::ioctl(group.notify.Get(), FIONREAD, &queued) != 0) return;
        if (static_cast<std::size_t>(queued) <= options.maxQueuedBytes) return;
        std::unique_ptr<char[]> scratch(new char[kReadBufferSize]);
        std::vector<FanotifyEvent> dropped;
        std::size_t left = static_cast<std::size_t>(queued);
        while (left > 0) {
            ssize_t length = ::read(group.notify.Get(), scratch.get(), kReadBufferSize);
            if (length < 0 && errno == EINTR) continue;
            if (length <= 0) break;
            left = static_cast<std::size_t>(length) >= left ? 0 : left - length;
            ParseFanotifyEvents(scratch.get(), static_cast<std::size_t>(length), dropped);
            CloseDescriptors(dropped);
        }
        FanotifyEvent overflow;
        overflow.mask = FAN_Q_OVERFLOW;
        events.push_back(overflow);
    }

    bool QueueIsEmpty() const {
        int queued = 0;
        return ::ioctl(group.notify.Get(), FIONREAD, &queued) == 0 && queued == 0;
    }

    FanotifyOptions options;
    // Set by Start, read by the thread it starts.
    std::string root;
    Group group;
    UniqueFd wakeFd;
    int refusalError = 0;
    std::mutex rulesMutex;
    std::shared_ptr<const IgnoreRules> ignoreRules;  // guarded by rulesMutex
    std::atomic<bool> rulesChanged{false};
};

}  // namespace

std::string FanotifyRefusalText(int error) {
    switch (error) {
        case EPERM:
        case EACCES:
            return texts::kNoFanotifyPermission;
        case ENODEV:
            return texts::kNoFanotifyNoDevice;
        case EXDEV:
            return texts::kNoFanotifySubvolume;
        case EOPNOTSUPP:
        case ESTALE:
            return texts::kNoFanotifyHandles;
        case EINVAL:
        case ENOSYS:
            return texts::kNoFanotifyKernel;
        case EMFILE:
        case ENFILE:
        case ENOSPC:
        case ENOMEM:
            return texts::kNoFanotifyLimit;
        default:
            return texts::kNoFanotifyOther + std::to_string(error);
    }
}

std::unique_ptr<FanotifySource> CreateFanotifySource(const FanotifyOptions& options) {
    return std::make_unique<FanotifySourceImpl>(options);
}

}  // namespace qzx
