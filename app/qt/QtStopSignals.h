// SIGTERM, SIGINT and SIGHUP as a request to close, delivered to the GUI thread.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace qzx {

/// While it lives, the three signals no longer end the process at once: each one emits
/// Requested on the GUI thread, from the event loop, so that the window closes as through its
/// close button (a session that logs out sends SIGTERM; the last changes are still logged).
/// One at a time per process; construct on the GUI thread after the QApplication.
class QtStopSignals : public QObject {
    Q_OBJECT

  public:
    QtStopSignals();
    ~QtStopSignals() override;
    QtStopSignals(const QtStopSignals&) = delete;
    QtStopSignals& operator=(const QtStopSignals&) = delete;

  signals:
    /// A stop signal arrived; emitted once per burst of signals.
    void Requested();

  private:
    void Drain();

    int readFd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};

}  // namespace qzx
