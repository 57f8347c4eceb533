// Signals, output and time zone for qzxwatch on a POSIX system.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/cli/Console.h"

namespace qzx::cli {
namespace {

// SIGUSR1 is the wake-up, sent to the main thread alone; like the stop signals it is only ever
// taken by WaitForStopSignal.
sigset_t WaitedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    return set;
}

pthread_t mainThread;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void PrepareStopSignals() {
    const sigset_t set = WaitedSignals();
    // Threads made later inherit the mask, so no signal lands in the middle of a write there.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    mainThread = pthread_self();
    ::signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    // The terminal's bytes are taken as they come: UTF-8 on any system set up today.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// A terminal here takes bytes; what it makes of GBK is the user's choice of terminal.
void SetOutputGbk(bool) {}

bool WaitForStopSignal(int timeoutMs) {
    const sigset_t set = WaitedSignals();
    timespec timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    const int taken = ::sigtimedwait(&set, nullptr, &timeout);
    return taken == SIGINT || taken == SIGTERM;
}

// A pending SIGUSR1 is not counted twice, so wake-ups faster than the main thread takes them
// cost one wait each at most.
void WakeMain() { pthread_kill(mainThread, SIGUSR1); }

bool WriteOut(const std::string& bytes) {
    return WriteAll(STDOUT_FILENO, bytes.data(), bytes.size());
}

void WriteErrLine(const std::string& line) {
    std::string text = line;
    text += '\n';
    WriteAll(STDERR_FILENO, text.data(), text.size());
}

bool ErrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    char rest = 0;
    if (std::sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2) return false;
    struct stat err;
    if (::fstat(STDERR_FILENO, &err) != 0) return false;
    // The variable passes on to children whose standard error was sent elsewhere (a file, a
    // pipe): only the stream it names reads the priority prefixes.
    return static_cast<unsigned long long>(err.st_dev) == device &&
           static_cast<unsigned long long>(err.st_ino) == inode;
}

int UtcOffsetMinutes(const LocalTime& t) {
    std::tm broken{};
    broken.tm_year = t.year - 1900;
    broken.tm_mon = t.month - 1;
    broken.tm_mday = t.day;
    broken.tm_hour = t.hour;
    broken.tm_min = t.minute;
    broken.tm_sec = t.second;
    broken.tm_isdst = -1;
    if (std::mktime(&broken) == static_cast<std::time_t>(-1)) return 0;
    return static_cast<int>(broken.tm_gmtoff / 60);
}

long long SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace qzx::cli
