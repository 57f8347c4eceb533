// A burst of new files against the real window: every file must get its row, and the GUI
// thread must keep answering. Also the time from start to the first painted window.
//
//   build/bench/window_burst_bench [files-per-folder=1000] [folders=100]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "app/MonitorController.h"
#include "app/StatusTexts.h"
#include "app/qt/EventListModel.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtPrompts.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "bench/GuiStallProbe.h"
#include "online/OnlineNotices.h"
#include "records/FileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/WindowDeps.h"
#include "watch/ChangeSource.h"

namespace {

class FirstPaint : public QObject {
  public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int perFolder = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 100;

    QApplication app(argc, argv);
    qzx::EventList list;
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    qzx::QtPrompts prompts;
    qzx::MonitorController controller(recorder, &qzx::CreateChangeSource, prompts);
    qzx::OnlineNotices notices(qzx::ServiceStrings::Decode(), qzx::test::NoFetch());
    qzx::test::FakeOpener opener;  // nothing is opened while measuring or drawing
    qzx::MonitorDialog window(
        qzx::test::WindowDeps(list, recorder, controller, prompts, notices, opener)
            .Exports(qzx::SystemFileSystem(), qzx::AppendGbk)
            .Build());
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.show();
    while (!paint.painted) app.processEvents(QEventLoop::AllEvents, 10);
    const double startupMs = static_cast<double>(sinceStart.nsecsElapsed()) / 1e6;

    char pattern[] = "/tmp/qzx-burst-XXXXXX";
    const std::string root = mkdtemp(pattern);
    for (int f = 0; f < folders; ++f)
        std::filesystem::create_directory(root + "/d" + std::to_string(f));

    qzx::MonitorOptions options = qzx::DefaultOptions();
    options.optAutoClear = 0;
    controller.SetOptions(options);
    if (!controller.StartMonitor(root)) {
        std::fprintf(stderr, "cannot watch %s\n", root.c_str());
        return 1;
    }
    // Let the source finish setting up its watches before the burst begins.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) app.processEvents(QEventLoop::AllEvents, 10);

    // The GUI thread's longest gap between two ticks of a 10 ms timer is its longest stall.
    GuiStallProbe probe;
    probe.Start();

    const int total = perFolder * folders;
    QElapsedTimer burst;
    burst.start();
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (int i = 0; i < perFolder; ++i) {
            for (int f = 0; f < folders; ++f) {
                const std::string path =
                    root + "/d" + std::to_string(f) + "/file-" + std::to_string(i);
                int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd >= 0) ::close(fd);
            }
        }
        written = true;
    });
    QElapsedTimer deadline;
    deadline.start();
    while ((!written || window.Model()->rowCount() < total) && deadline.elapsed() < 120000) {
        app.processEvents(QEventLoop::AllEvents, 5);
    }
    const double burstMs = static_cast<double>(burst.nsecsElapsed()) / 1e6;
    writer.join();
    window.PollNow();

    std::size_t added = 0;
    list.Read([&](const qzx::EventList::Rows& rows) {
        for (const qzx::ListedRow& r : rows) added += r.action == qzx::kActionAdded ? 1 : 0;
    });
    const qzx::StatusTexts status = qzx::WindowStatusTexts(controller.Status());
    std::printf("startup_to_first_paint_ms %.1f\n", startupMs);
    std::printf("files %d rows %zu added_rows %zu\n", total, list.Size(), added);
    std::printf("burst_to_last_row_ms %.0f\n", burstMs);
    std::printf("worst_gui_stall_ms %.1f\n", probe.WorstGapMs());
    std::printf("status %s\n", status.line.c_str());
    controller.StopMonitor();
    std::filesystem::remove_all(root);
    return added == static_cast<std::size_t>(total) ? 0 : 2;
}
