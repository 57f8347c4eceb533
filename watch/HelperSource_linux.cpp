// Runs qzxfile-helper as a child, reads its stream on the source's thread, and stands in for it
// with the ordinary source when it is refused or fails before it is ready.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/UniqueFd.h"
#include "watch/HelperSource.h"
#include "watch/HelperStream.h"
#include "watch/SourceThread.h"

extern char** environ;

namespace qzx {
namespace {

constexpr const char* kHelperEngine = "监控方式：管理员助手（fanotify），显示改动文件的进程";
constexpr const char* kRefused = "未获管理员授权（pkexec 退出码 ";
constexpr const char* kCannotStart = "管理员助手无法启动：";
constexpr const char* kFailed = "管理员助手未能监控：";
constexpr const char* kEnded = "管理员助手已退出";
constexpr const char* kBadStream = "管理员助手的输出有误";

class HelperSourceImpl final : public ThreadedChangeSource<ChangeSource> {
  public:
    HelperSourceImpl(std::vector<std::string> elevation, std::string helper,
                     std::function<std::unique_ptr<ChangeSource>()> fallback)
        : elevation(std::move(elevation)),
          helper(std::move(helper)),
          makeFallback(std::move(fallback)) {}
    ~HelperSourceImpl() override { Stop(); }

    bool Start(const std::string& folderPath, ChangeSink& sink) override {
        Stop();
        folder = folderPath;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        // A folder this user cannot open is refused here, as every source refuses it: neither
        // the helper nor the fallback could watch it, and the user is told at once.
        if (folder.empty() ||
            !UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)).Valid()) {
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            engine = EngineStatus{ChangeEngine::Fanotify, true, kHelperEngine, ""};
        }
        std::string why;
        if (!Spawn(why)) return StartFallback(sink, kCannotStart + why);
        UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!wake.Valid() || !(wakeFd = std::move(wake), StartThread(sink))) {
            EndChild();
            return StartFallback(sink, kCannotStart + std::string(std::strerror(errno)));
        }
        return true;
    }

    EngineStatus Engine() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return engine;
    }

    // The helper leaves out what the rules ignore. The block is written on the source's
    // thread, so the window never waits for the helper to read it.
    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) override {
        ignoreRules = std::move(rules);
        {
            std::lock_guard<std::mutex> lock(mutex);
            rulesBlock = HelperRulesBlock(ignoreRules.get());
        }
        if (wakeFd.Valid()) Wake();
        if (fallback) fallback->SetIgnoreRules(ignoreRules);
    }

  private:
    bool Spawn(std::string& why) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            why = std::strerror(errno);
            return false;
        }
        // A socket rather than a pipe for the rules: a write to a helper gone is EPIPE with
        // MSG_NOSIGNAL, never a SIGPIPE that would end the window.
        int in[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
            why = std::strerror(errno);
            ::close(out[0]);
            ::close(out[1]);
            return false;
        }
        UniqueFd childIn(in[0]);
        rulesFd.Reset(in[1]);
        {
            std::lock_guard<std::mutex> lock(mutex);
            rulesBlock = HelperRulesBlock(ignoreRules.get());
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<std::string> args = elevation;
        args.push_back(helper);
        args.push_back("--folder");
        args.push_back(folder);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t spawned = -1;
        const int error =
            ::posix_spawnp(&spawned, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (error != 0) {
            rulesFd.Reset();
            ::close(out[0]);
            why = std::string(argv[0]) + ": " + std::strerror(error);
            return false;
        }
        child = spawned;
        stream.Reset(out[0]);
        return true;
    }

    // The ordinary source, with why the helper is not watching.
    bool StartFallback(ChangeSink& sink, const std::string& why) {
        fallback = makeFallback ? makeFallback() : nullptr;
        if (!fallback) return false;
        fallback->SetIgnoreRules(ignoreRules);
        if (!fallback->Start(folder + "/", sink)) return false;
        EngineStatus status = fallback->Engine();
        status.fallbackReason = why;
        // The tooltip tells the engine and why the helper is not it, as for fanotify.
        status.summary += "（" + why + "）";
        std::lock_guard<std::mutex> lock(mutex);
        engine = status;
        return true;
    }

    void Wake() override {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd.Get(), &one, sizeof one);
    }

    void CloseRun() override {
        EndChild();
        wakeFd.Reset();
        if (fallback) {
            if (DrainAsked()) {
                fallback->StopAfterDraining();
            } else {
                fallback->Stop();
            }
        }
        fallback.reset();
    }

    // The helper ends when its output closes; pkexec still asking for the password ends on
    // SIGTERM, which it may still receive from its caller. Stop runs on the window's thread,
    // so the child is reaped by a thread of its own rather than waited for here; that thread
    // holds nothing but the pid and ends when the child does.
    void EndChild() {
        stream.Reset();
        rulesFd.Reset();
        if (child <= 0) return;
        const pid_t ending = child;
        child = -1;
        ::kill(ending, SIGTERM);
        int status = 0;
        if (::waitpid(ending, &status, WNOHANG) == ending) return;
        try {
            std::thread([ending] {
                int code = 0;
                while (::waitpid(ending, &code, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        } catch (const std::system_error&) {
            // No thread to be had: it is the system's then, as a child that outlives us is.
        }
    }

    int Reap() {
        if (child <= 0) return -1;
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        child = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void SetReason(const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex);
        engine.fallbackReason = why;
    }

    bool Watch(ChangeSink& sink) override {
        std::string buffered;
        bool ready = false;
        helperReady = false;
        rulesTaken = false;
        std::string problem;
        std::string outgoing;
        for (;;) {
            {
                // A block half written goes out whole before a newer one.
                std::lock_guard<std::mutex> lock(mutex);
                if (outgoing.empty() && !rulesBlock.empty()) outgoing = std::move(rulesBlock);
                rulesBlock.clear();
            }
            const bool writing = !outgoing.empty() && rulesFd.Valid();
            pollfd fds[3] = {{wakeFd.Get(), POLLIN, 0},
                             {stream.Get(), POLLIN, 0},
                             {writing ? rulesFd.Get() : -1, POLLOUT, 0}};
            if (::poll(fds, 3, -1) < 0) {
                if (errno == EINTR) continue;
                problem = std::strerror(errno);
                break;
            }
            if (fds[0].revents) {
                std::uint64_t count = 0;
                [[maybe_unused]] ssize_t r = ::read(wakeFd.Get(), &count, sizeof count);
                if (StopAsked()) return true;
            }
            if (fds[2].revents) {
                const ssize_t n = ::send(rulesFd.Get(), outgoing.data(), outgoing.size(),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    outgoing.erase(0, static_cast<std::size_t>(n));
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    // A helper that reads no more ends by its output soon; the recorder still
                    // leaves out what the rules ignore.
                    rulesFd.Reset();
                    outgoing.clear();
                    rulesTaken = true;
                }
            }
            if (!fds[1].revents) continue;
            char chunk[16384];
            const ssize_t n = ::read(stream.Get(), chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            buffered.append(chunk, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t nl; (nl = buffered.find('\n', start)) != std::string::npos;
                 start = nl + 1) {
                std::optional<HelperMessage> m =
                    ParseHelperLine(std::string_view(buffered).substr(start, nl - start));
                if (!m) {
                    problem = kBadStream;
                    break;
                }
                if (!Handle(*m, sink, ready)) break;
            }
            if (!problem.empty()) break;
            buffered.erase(0, start);
            if (buffered.size() >= kHelperLineMax) {
                problem = kBadStream;
                break;
            }
        }
        int code = -1;
        if (problem.empty()) {
            code = Reap();
        } else {
            EndChild();
        }
        if (StopAsked()) return true;
        if (!ready) {
            std::string why;
            if (code == 126 || code == 127) {
                why = kRefused + std::to_string(code) + "）";
            } else {
                why = kFailed + (problem.empty() ? "退出码 " + std::to_string(code) : problem);
            }
            // Nothing was recorded yet: the ordinary source takes over and says when it is ready.
            if (StartFallback(sink, why)) return WaitForStop();
            SetReason(why);
            return false;
        }
        SetReason(problem.empty() ? std::string(kEnded) + "（退出码 " + std::to_string(code) + "）"
                                  : problem);
        return false;
    }

    bool Handle(const HelperMessage& m, ChangeSink& sink, bool& ready) {
        switch (m.kind) {
            case HelperMessage::Kind::Engine: {
                std::lock_guard<std::mutex> lock(mutex);
                engine.knowsProcess = m.engine.knowsProcess;
                return true;
            }
            case HelperMessage::Kind::Ready:
                helperReady = true;
                break;
            case HelperMessage::Kind::Change:
                if (ready) sink.OnBatch(m.records);
                return true;
            case HelperMessage::Kind::Overflow:
                sink.OnOverflow();
                return true;
            case HelperMessage::Kind::Warning:
                sink.OnWarning(m.warning, m.path);
                return true;
            case HelperMessage::Kind::Rules:
                rulesTaken = true;
                break;
            case HelperMessage::Kind::Ended:
                return false;
        }
        // Ready once the helper watches with the rules given at Start: nothing the rules
        // leave out is recorded before they are in place.
        if (helperReady && rulesTaken && !ready) {
            ready = true;
            sink.OnReady();
        }
        return true;
    }

    bool WaitForStop() {
        for (;;) {
            // New rules wake it too; they are the fallback's already.
            pollfd p{wakeFd.Get(), POLLIN, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR) return true;
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t r = ::read(wakeFd.Get(), &count, sizeof count);
            if (StopAsked()) return true;
        }
    }

    std::vector<std::string> elevation;
    std::string helper;
    std::function<std::unique_ptr<ChangeSource>()> makeFallback;
    std::shared_ptr<const IgnoreRules> ignoreRules;
    std::string folder;
    mutable std::mutex mutex;
    EngineStatus engine;
    std::unique_ptr<ChangeSource> fallback;
    UniqueFd stream;
    UniqueFd rulesFd;
    // Watcher's thread: the helper said "ready", and took the first block of rules.
    bool helperReady = false;
    bool rulesTaken = false;
    UniqueFd wakeFd;
    // The block the source's thread is to write next; empty when none is waiting.
    std::string rulesBlock;
    pid_t child = -1;
};

}  // namespace

std::unique_ptr<ChangeSource> CreateHelperSource(
    std::vector<std::string> elevation, std::string helper,
    std::function<std::unique_ptr<ChangeSource>()> fallback) {
    return std::make_unique<HelperSourceImpl>(std::move(elevation), std::move(helper),
                                              std::move(fallback));
}

}  // namespace qzx
