// Runs a program with its standard output and error captured, for tests of command-line tools.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace qzx::test {

/// Adds NAME=VALUE entries to the child's environment, given the pipe that becomes its standard
/// error (the child's variables are its parent's, these first).
using ExtraEnvironment = std::function<std::vector<std::string>(int errFd)>;

/// One child process. Output is collected by Pump, which the Wait* calls run.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const ExtraEnvironment& extra = nullptr) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        // Made before the fork: the child only execs.
        std::vector<std::string> added;
        if (extra) added = extra(err[1]);
        std::vector<char*> env;
        for (std::string& entry : added) env.push_back(entry.data());
        for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
        env.push_back(nullptr);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execve(args[0], args.data(), env.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        outFd = out[0];
        errFd = err[0];
    }
    ~ChildProcess() {
        if (pid > 0 && status < 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (outFd >= 0) ::close(outFd);
        if (errFd >= 0) ::close(errFd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid; }
    void Signal(int sig) { ::kill(pid, sig); }
    /// Closes the reading end of the child's standard output, as a reader that went away.
    void CloseOut() {
        outFd = Closed(outFd);
        outOpen = false;
    }

    /// Reads what is there, waiting up to timeoutMs for something.
    void Pump(int timeoutMs) {
        pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) <= 0) return;
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
            if (n == 0) (i == 0 ? outOpen : errOpen) = false;
        }
        if (!outOpen) outFd = Closed(outFd);
        if (!errOpen) errFd = Closed(errFd);
    }

    /// Pumps until condition() holds; false when the deadline passed first.
    bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            if (outFd < 0 && errFd < 0) {
                Reap(false);
                return condition();
            }
            Pump(20);
        }
        return true;
    }

    /// Waits for the exit and returns its code (128 + signal when killed, -1 on timeout).
    int WaitExit(std::chrono::milliseconds deadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (status < 0 && std::chrono::steady_clock::now() < end) {
            if (outFd >= 0 || errFd >= 0) {
                Pump(20);
            } else {
                Reap(false);
                if (status < 0) ::poll(nullptr, 0, 10);
            }
        }
        return status;
    }

    std::string out;
    std::string err;

  private:
    int Closed(int fd) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    void Reap(bool block) {
        int raw = 0;
        if (status >= 0 || ::waitpid(pid, &raw, block ? 0 : WNOHANG) != pid) return;
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }

    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    bool outOpen = true;
    bool errOpen = true;
    int status = -1;
};

}  // namespace qzx::test
