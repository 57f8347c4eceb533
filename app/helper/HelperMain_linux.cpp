// qzxfile-helper: the only code of the desktop program that runs as root. Started by the
// window through pkexec, it watches one folder with the fanotify engine and writes what it
// sees to its standard output (watch/HelperStream.h), until that output closes or it is told
// to end (SIGTERM, SIGINT, SIGHUP). Its standard input brings the window's ignore rules, and
// what they leave out is never written. It takes one argument, the folder, which the user who
// started it (PKEXEC_UID) must be able to read with that user's own rights, and it tells only
// of changes in the folders below it that the user may list; it reads no
// configuration, opens no file for its contents, writes no file and uses no network.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/fsuid.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "base/UniqueFd.h"
#include "watch/FanotifySource.h"
#include "watch/HelperStream.h"
#include "watch/MakeRows.h"

namespace {

// Exit codes, which the window tells apart: 2 the arguments, 3 the folder is not the user's to
// read, 4 fanotify cannot watch it, 5 the system refused something else.
constexpr int kBadArguments = 2;
constexpr int kNotReadable = 3;
constexpr int kNoFanotify = 4;
constexpr int kSystem = 5;

int Fail(int code, const std::string& why) {
    std::fprintf(stderr, "qzxfile-helper: %s\n", why.c_str());
    return code;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The user who asked, as the checks of what may be told take them.
struct Caller {
    bool checked = false;  // false: root asked, everything below the folder may be told
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Whether the caller may list the folder that holds path (relative to the watched folder,
// whose descriptor is root): a change in a subfolder the user cannot read is not the user's
// to learn of. The rights are taken on the calling thread alone (the file system ids and the
// groups of one thread), and given back before it returns.
bool CallerMayList(const Caller& caller, int root, const std::string& path) {
    if (!caller.checked) return true;
    std::string folder = path;
    ::syscall(SYS_setgroups, caller.groups.size(), caller.groups.data());
    ::setfsgid(caller.gid);
    ::setfsuid(caller.uid);
    bool may = false;
    // A folder removed since is judged by the nearest one that is still there.
    for (;;) {
        const std::size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? "." : folder.substr(0, slash);
        if (::faccessat(root, folder.c_str(), R_OK | X_OK, AT_EACCESS) == 0) {
            may = true;
            break;
        }
        if ((errno != ENOENT && errno != ENOTDIR) || folder == ".") break;
    }
    ::setfsuid(0);
    ::setfsgid(0);
    ::syscall(SYS_setgroups, 0, nullptr);
    // Still the user's on this thread: nothing more is told, rather than told as the user.
    return may && ::setfsuid(static_cast<uid_t>(-1)) == 0;
}

// Writes the stream; lines from the source's thread wait until the engine line is out.
class StreamSink : public qzx::ChangeSink {
  public:
    StreamSink(int wakeFd, const Caller& caller, int root)
        : wakeFd(wakeFd), caller(caller), root(root) {}

    void Begin(const qzx::EngineStatus& engine) {
        std::lock_guard<std::mutex> lock(mutex);
        started = true;
        Write(qzx::HelperEngineLine(engine) + pending);
        pending.clear();
    }

    // A block read from the window: from the next batch on, and "rules" tells it so.
    void SetRules(std::shared_ptr<const qzx::IgnoreRules> taken) {
        {
            std::lock_guard<std::mutex> lock(rulesMutex);
            rules = std::move(taken);
        }
        RulesSettled();
    }
    // The rules in force are the ones to wait for: a block was taken, or no more can come.
    void RulesSettled() {
        {
            std::lock_guard<std::mutex> lock(rulesMutex);
            settled = true;
        }
        Send("rules\n");
    }

    void OnBatch(const qzx::ChangeBatch& batch) override {
        std::shared_ptr<const qzx::IgnoreRules> current;
        {
            std::lock_guard<std::mutex> lock(rulesMutex);
            // Before the window's rules are known nothing is told that they might leave out;
            // the window records nothing before they are in place either.
            if (!settled) return;
            current = rules;
        }
        // What the window's recorder would leave out of the line is not written.
        auto line = [&](const qzx::ChangeRecord& record, const qzx::ChangeRecord* from,
                        std::int64_t at) {
            const bool ignored = from ? qzx::IgnoresChange(current.get(), *from, &record)
                                      : qzx::IgnoresChange(current.get(), record, nullptr);
            return ignored ? std::string() : qzx::HelperChangeLine(record, from, at);
        };
        std::string lines;
        const std::int64_t now = NowMs();
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const qzx::ChangeRecord& record = batch[i];
            if (record.action == qzx::kActionRenamedOld && i + 1 < batch.size() &&
                batch[i + 1].action == qzx::kActionRenamedNew) {
                const qzx::ChangeRecord& to = batch[i + 1];
                ++i;
                const bool from = MayTell(record.name);
                const bool into = MayTell(to.name);
                // Half of a move the user may see is an arrival or a departure.
                if (from && into) {
                    lines += line(to, &record, now);
                } else if (from || into) {
                    qzx::ChangeRecord half = from ? record : to;
                    half.action = from ? qzx::kActionRemoved : qzx::kActionAdded;
                    lines += line(half, nullptr, now);
                }
                continue;
            }
            if (MayTell(record.name)) lines += line(record, nullptr, now);
        }
        Send(lines);
    }
    void OnReady() override { Send("ready\n"); }
    void OnOverflow() override { Send("overflow\n"); }
    void OnWarning(qzx::WatchWarning warning, const std::string& path) override {
        Send(qzx::HelperWarningLine(warning, path));
    }
    void OnEnded() override {
        Send("ended\n");
        Wake();
    }

  private:
    bool MayTell(const std::string& path) { return CallerMayList(caller, root, path); }

    void Send(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!started) {
            pending += text;
            return;
        }
        Write(text);
    }
    void Write(const std::string& text) {
        if (closed || text.empty()) return;
        if (!WriteAll(STDOUT_FILENO, text)) {
            closed = true;
            Wake();
        }
    }
    void Wake() {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    std::mutex rulesMutex;
    std::shared_ptr<const qzx::IgnoreRules> rules;
    bool settled = false;
    std::mutex mutex;
    bool started = false;
    bool closed = false;
    std::string pending;
    int wakeFd;
    const Caller& caller;
    int root;
};

// Opens the folder with the rights of the user who asked, so that root's reach lends nothing
// to them; the descriptor then names that folder whatever is renamed or linked afterwards.
int OpenAsUser(const std::string& folder, unsigned uid, Caller& caller, std::string& why) {
    const passwd* user = ::getpwuid(uid);
    if (!user) {
        why = "user " + std::to_string(uid) + " is unknown";
        return -1;
    }
    const gid_t gid = user->pw_gid;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user->pw_name, gid, groups.data(), &count) < 0) count = 0;
    }
    groups.resize(static_cast<std::size_t>(count));
    caller = Caller{uid != 0, uid, gid, groups};
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setegid(gid) != 0 ||
        ::seteuid(uid) != 0) {
        why = std::string("cannot take the user's rights: ") + std::strerror(errno);
        return -2;
    }
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    // Back to root's own, or nothing more is done.
    if (::seteuid(0) != 0 || ::setegid(0) != 0 || ::setgroups(0, nullptr) != 0) {
        if (fd >= 0) ::close(fd);
        why = std::string("cannot drop the user's rights: ") + std::strerror(errno);
        return -2;
    }
    if (fd < 0) {
        why = "user " + std::string(user->pw_name) + " may not read " + folder + ": " +
              std::strerror(error);
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    const qzx::HelperRequest request = qzx::ParseHelperArguments(args, ::getenv("PKEXEC_UID"));
    if (!request.error.empty()) return Fail(kBadArguments, request.error);

    // The end of the output, or a signal to end, stops the watch; neither kills the process
    // half-way through.
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t ends;
    sigemptyset(&ends);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&ends, s);
    if (::sigprocmask(SIG_BLOCK, &ends, nullptr) != 0) return Fail(kSystem, "sigprocmask");
    qzx::UniqueFd signals(::signalfd(-1, &ends, SFD_CLOEXEC));
    qzx::UniqueFd wake(::eventfd(0, EFD_CLOEXEC));
    if (!signals.Valid() || !wake.Valid()) return Fail(kSystem, std::strerror(errno));

    std::string why;
    qzx::UniqueFd folder;
    Caller caller;
    if (request.callerUid) {
        folder.Reset(OpenAsUser(request.folder, *request.callerUid, caller, why));
        if (!folder.Valid()) return Fail(why.empty() ? kSystem : kNotReadable, why);
    } else {
        folder.Reset(::open(request.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.Valid()) {
            return Fail(kNotReadable,
                        "cannot read " + request.folder + ": " + std::strerror(errno));
        }
    }

    StreamSink sink(wake.Get(), caller, folder.Get());
    auto source = qzx::CreateFanotifySource();
    // The folder the user's rights opened, not the path again: nothing swapped in between.
    const std::string opened = "/proc/self/fd/" + std::to_string(folder.Get()) + "/";
    if (!source->Start(opened, sink)) {
        const std::string refusal = source->Refusal();
        return Fail(kNoFanotify, refusal.empty() ? "cannot watch " + request.folder : refusal);
    }
    sink.Begin(source->Engine());

    qzx::HelperRulesReader reader;
    // Once the window's end of the input closes, no rules come any more: the last ones stay.
    bool input = true;
    for (;;) {
        pollfd fds[4] = {{signals.Get(), POLLIN, 0},
                         {wake.Get(), POLLIN, 0},
                         {STDOUT_FILENO, 0, 0},
                         {input ? STDIN_FILENO : -1, POLLIN, 0}};
        if (::poll(fds, 4, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[3].revents) {
            char chunk[16384];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                input = false;
                sink.RulesSettled();
            } else {
                for (qzx::HelperRulesRead& read :
                     reader.Read(std::string_view(chunk, static_cast<std::size_t>(n)))) {
                    if (!read.error.empty()) Fail(0, read.error);
                    sink.SetRules(std::move(read.rules));
                }
            }
        }
        // A pipe whose reader has gone reports an error on its writing end.
        if (fds[0].revents || fds[1].revents || (fds[2].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            break;
        }
    }
    source->Stop();
    return 0;
}
