// The real window watching a folder with "记录日志" ticked, for bench/peers.sh: it prints its
// status line to standard output whenever it changes and quits on SIGTERM or SIGINT.
//
//   build/bench/peer_window FOLDER LOGDIR
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; the log lines go to LOGDIR.
#include <signal.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>

#include "app/ControlIds.h"
#include "app/DailyLogWriter.h"
#include "app/MonitorController.h"
#include "app/StatusTexts.h"
#include "app/qt/EventListModel.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtPrompts.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "online/OnlineNotices.h"
#include "records/DailyLog.h"
#include "records/FileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/WindowDeps.h"
#include "watch/ChangeSource.h"

namespace {

// The stop signals reach the event loop through a pipe, so that the harness adds no timer of
// its own to the window's CPU while it waits.
int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

void PrintStatus(const qzx::MonitorController& controller, std::string& shown) {
    const qzx::StatusTexts status = qzx::WindowStatusTexts(controller.Status());
    std::string text = status.line;
    if (!status.toolTip.empty()) text += "\n" + status.toolTip;
    if (text == shown) return;
    shown = text;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: peer_window FOLDER LOGDIR\n");
        return 1;
    }
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string folder = argv[1];
    std::string logDir = argv[2];
    if (logDir.back() != '/') logDir += '/';
    if (::pipe(g_stopPipe) != 0) return 1;
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);

    QApplication app(argc, argv);
    qzx::LogLocations where;
    where.userLogDirectory = logDir;
    qzx::DailyLog log(qzx::SystemClock(), qzx::SystemFileSystem(), where, qzx::AppendGbk);
    log.CreateLogDirectory();
    qzx::EventList list;
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    qzx::WriteLogTo(recorder, log);
    qzx::QtPrompts prompts;
    qzx::MonitorController controller(recorder, &qzx::CreateChangeSource, prompts);
    qzx::OnlineNotices notices(qzx::ServiceStrings::Decode(), qzx::test::NoFetch());
    qzx::test::FakeOpener opener;
    qzx::MonitorDialog window(
        qzx::test::WindowDeps(list, recorder, controller, prompts, notices, opener)
            .Exports(qzx::SystemFileSystem(), qzx::AppendGbk)
            .LogFolder(log.LogDirectory())
            .Build());
    prompts.SetOwner(&window);
    window.show();

    // As a user would: tick the log, type the folder, press Start.
    auto* recordLog = static_cast<QCheckBox*>(window.Control(qzx::kIdOptRecordLog));
    if (!recordLog->isChecked()) recordLog->click();
    static_cast<QLineEdit*>(window.Control(qzx::kIdFolderPath))
        ->setText(QString::fromStdString(folder));
    static_cast<QPushButton*>(window.Control(qzx::kIdStart))->click();

    // The status is printed as it changes until monitoring runs, and once more at the end,
    // where lost changes would show.
    std::string shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        PrintStatus(controller, shown);
        if (controller.State() == qzx::MonitorState::Monitoring) watch.stop();
    });
    watch.start(50);
    // When rows last reached the list: the time to the last row is measured to the list, not
    // to the log, which is written before the list takes its rows in.
    long long lastRowNs = 0;
    auto noteRows = [&lastRowNs] {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        lastRowNs = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    };
    QObject::connect(window.Model(), &QAbstractItemModel::rowsInserted, noteRows);
    QObject::connect(window.Model(), &QAbstractItemModel::modelReset, noteRows);
    QSocketNotifier stop(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [&] {
        PrintStatus(controller, shown);
        std::printf("last-row %lld\n", lastRowNs);
        std::fflush(stdout);
        window.close();
        app.quit();
    });
    return app.exec();
}
