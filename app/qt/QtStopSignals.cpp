// A signal handler may do almost nothing: it writes one byte into a pipe, and the event loop,
// which watches the pipe's other end, does the rest on the GUI thread.
#include "app/qt/QtStopSignals.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace qzx {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

int g_stopWriteFd = -1;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request: the byte may be dropped.
    [[maybe_unused]] ssize_t n = ::write(g_stopWriteFd, &byte, 1);
    errno = saved;
}

}  // namespace

QtStopSignals::QtStopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their defaults
    readFd = fds[0];
    g_stopWriteFd = fds[1];
    notifier = std::make_unique<QSocketNotifier>(readFd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &QtStopSignals::Drain);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kStopSignals) ::sigaction(number, &action, nullptr);
}

QtStopSignals::~QtStopSignals() {
    if (readFd < 0) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : kStopSignals) ::sigaction(number, &action, nullptr);
    notifier.reset();
    ::close(g_stopWriteFd);
    g_stopWriteFd = -1;
    ::close(readFd);
}

void QtStopSignals::Drain() {
    char bytes[64];
    while (::read(readFd, bytes, sizeof bytes) > 0) {
    }
    emit Requested();
}

}  // namespace qzx
