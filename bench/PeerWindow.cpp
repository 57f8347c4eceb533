// The real window watching a folder with "记录日志" ticked, for bench/peers.sh: it prints its
// status line to standard output whenever it changes and quits on SIGTERM or SIGINT.
//
//   build/bench/peer_window FOLDER LOGDIR
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; the log lines go to LOGDIR.
#include <signal.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "app/ControlIds.h"
#include "app/DailyLogWriter.h"
#include "app/MonitorController.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtPrompts.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "online/OnlineNotices.h"
#include "records/DailyLog.h"
#include "records/FileSystem.h"
#include "tests/support/FakeOpener.h"
#include "watch/ChangeSource.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

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
    qzx::OnlineNotices notices(
        qzx::ServiceStrings::Decode(),
        [](const std::string&, std::string&, const std::atomic<bool>&) { return 0; });
    qzx::test::FakeOpener opener;
    qzx::MonitorDialog window({list, recorder, controller, prompts, qzx::SystemClock(),
                               qzx::SystemFileSystem(), log.LogDirectory(), notices, opener});
    prompts.SetOwner(&window);
    window.show();

    // As a user would: tick the log, type the folder, press Start.
    auto* recordLog = static_cast<QCheckBox*>(window.Control(qzx::kIdOptRecordLog));
    if (!recordLog->isChecked()) recordLog->click();
    static_cast<QLineEdit*>(window.Control(qzx::kIdFolderPath))
        ->setText(QString::fromStdString(folder));
    static_cast<QPushButton*>(window.Control(qzx::kIdStart))->click();

    std::string shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (g_stop) {
            window.close();
            app.quit();
            return;
        }
        const std::string status = controller.States().status;
        if (status != shown) {
            shown = status;
            std::printf("%s\n", status.c_str());
            std::fflush(stdout);
        }
    });
    watch.start(50);
    return app.exec();
}
