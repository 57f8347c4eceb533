// What the fanotify tests share: a file system of their own, mounted where only this test
// process sees it, and a helper process with a known name that changes files when told.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

extern char** environ;

namespace qzx::test {

/// Moves this process into a mount namespace of its own, once; returns why it could not
/// (empty when it did). Mounts made afterwards are seen by nobody else and go with the process.
inline std::string EnterPrivateMounts() {
    static const std::string problem = [] {
        if (::geteuid() != 0) return std::string("needs root (CAP_SYS_ADMIN) for its own mounts");
        if (::unshare(CLONE_NEWNS) != 0) {
            return std::string("cannot make a mount namespace: ") + std::strerror(errno);
        }
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::string("cannot make the mounts private: ") + std::strerror(errno);
        }
        return std::string();
    }();
    return problem;
}

/// A tmpfs mounted on a fresh folder under /tmp in this process's own mount namespace;
/// unmounted and removed at the end.
class ScratchMount {
  public:
    explicit ScratchMount(const char* type = "tmpfs", const char* options = "size=256m") {
        problem = EnterPrivateMounts();
        if (!problem.empty()) return;
        char pattern[] = "/tmp/qzx-fanotify-XXXXXX";
        if (!::mkdtemp(pattern)) {
            problem = std::string("mkdtemp: ") + std::strerror(errno);
            return;
        }
        folder = pattern;
        if (::mount(type, folder.c_str(), type, 0, options) != 0) {
            problem = std::string("cannot mount a ") + type + ": " + std::strerror(errno);
            ::rmdir(folder.c_str());
            folder.clear();
        }
    }
    ~ScratchMount() {
        if (folder.empty()) return;
        ::umount2(folder.c_str(), MNT_DETACH);
        ::rmdir(folder.c_str());
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    std::string problem;  // why there is no mount; empty when there is
    std::string folder;   // without a trailing "/"
};

/// The helper process `qzxtouch`, started with a pipe on each side; it runs until destroyed.
class Toucher {
  public:
    Toucher() {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        char* args[] = {const_cast<char*>(QZX_TOUCH_PATH), nullptr};
        if (::posix_spawn(&pid, QZX_TOUCH_PATH, &actions, nullptr, args, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild = in[1];
        fromChild = out[0];
    }
    ~Toucher() {
        if (toChild >= 0) ::close(toChild);
        if (fromChild >= 0) ::close(fromChild);
        if (pid > 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
    Toucher(const Toucher&) = delete;
    Toucher& operator=(const Toucher&) = delete;

    /// Runs one command (see qzxtouch.cpp); its answer, "ok" or "error <errno>", or "timeout".
    std::string Do(const std::string& command) {
        std::string line = command + "\n";
        if (::write(toChild, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return "write failed";
        }
        std::string answer;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (answer.empty() || answer.back() != '\n') {
            pollfd p{fromChild, POLLIN, 0};
            if (std::chrono::steady_clock::now() > deadline || ::poll(&p, 1, 100) < 0) {
                return "timeout";
            }
            if (!(p.revents & (POLLIN | POLLHUP))) continue;
            char c;
            if (::read(fromChild, &c, 1) != 1) return "ended";
            answer += c;
        }
        answer.pop_back();
        return answer;
    }
    int Pid() const { return pid; }

  private:
    int pid = -1;
    int toChild = -1;
    int fromChild = -1;
};

/// Runs qzxtouch once with these arguments and waits until it has ended and is reaped; its
/// PID, or -1.
inline int TouchOnce(const std::string& op, const std::string& path) {
    char* args[] = {const_cast<char*>(QZX_TOUCH_PATH), const_cast<char*>(op.c_str()),
                    const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, QZX_TOUCH_PATH, nullptr, nullptr, args, environ) != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? pid : -1;
}

/// The helper's program file as /proc shows it.
inline std::string TouchProgram() {
    std::error_code ignored;
    return std::filesystem::canonical(QZX_TOUCH_PATH, ignored).string();
}

}  // namespace qzx::test
