// The window with a list of a million rows: taking them in, scrolling through them, and
// exporting them while the GUI thread keeps answering.
//
//   build/bench/window_big_list_bench [rows=1000000]
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/ControlIds.h"
#include "app/qt/EventListModel.h"
#include "app/qt/MonitorDialog.h"
#include "base/Gbk.h"
#include "bench/GuiStallProbe.h"
#include "online/OnlineNotices.h"
#include "records/FileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/WindowDeps.h"
#include "watch/ChangeSource.h"

namespace {

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

// Resident memory, as the Windows benchmark reads the working set.
double ResidentBytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

class StillClock final : public qzx::Clock {
  public:
    qzx::LocalTime Now() const override { return {2026, 12, 8, 14, 7, 9}; }
};

class NoSource final : public qzx::ChangeSource {
  public:
    bool Start(const std::string&, qzx::ChangeSink& sink) override {
        sink.OnReady();
        return true;
    }
    void Stop() override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int total = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QApplication app(argc, argv);
    StillClock clock;
    qzx::EventList list;
    qzx::EventRecorder recorder(list, clock);
    qzx::test::FakePrompts prompts;
    qzx::MonitorController controller(
        recorder, [] { return std::make_unique<NoSource>(); }, prompts);
    qzx::OnlineNotices notices(qzx::ServiceStrings::Decode(), qzx::test::NoFetch());
    qzx::test::FakeOpener opener;  // nothing is opened while measuring or drawing
    qzx::MonitorDialog window(
        qzx::test::WindowDeps(list, recorder, controller, prompts, notices, opener)
            .Exports(qzx::SystemFileSystem(), qzx::AppendGbk)
            .Build());
    window.show();
    app.processEvents();
    qzx::MonitorOptions options = qzx::DefaultOptions();
    options.optAutoClear = 0;
    recorder.SetOptions(options);

    const double residentBefore = ResidentBytes();
    const int run = recorder.BeginRun("/home/user/watched/");
    qzx::ChangeBatch batch;
    for (int i = 0; i < 1000; ++i) {
        batch.push_back({qzx::kActionAdded, "folder" + std::to_string(i % 37) + "/文件-" +
                                                std::to_string(i) + ".txt"});
    }
    for (int done = 0; done < total; done += 1000) recorder.RecordBatch(run, batch);

    QElapsedTimer t;
    t.start();
    window.PollNow();
    app.processEvents();
    std::printf("rows %d, taking them into the view: %.1f ms\n", window.Model()->rowCount(), Ms(t));
    std::printf("memory per row: %.1f bytes\n", (ResidentBytes() - residentBefore) / total);

    QScrollBar* bar = window.ListView()->verticalScrollBar();
    double worstStep = 0;
    QElapsedTimer all;
    all.start();
    const int steps = 200;
    for (int i = 0; i <= steps; ++i) {
        t.restart();
        bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * i / steps));
        window.ListView()->viewport()->repaint();
        worstStep = std::max(worstStep, Ms(t));
    }
    std::printf("scrolling: %d jumps with repaint, worst %.1f ms, mean %.2f ms\n", steps + 1,
                worstStep, Ms(all) / (steps + 1));

    // The GUI thread's longest gap between ticks of a 10 ms timer while the export runs.
    char pattern[] = "/tmp/qzx-bigexport-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    prompts.saveFiles.push_back(dir + "/records");
    GuiStallProbe probe;
    QElapsedTimer exportTime;
    exportTime.start();
    probe.Start();
    qobject_cast<QPushButton*>(window.Control(qzx::kIdExport))->click();
    while (window.ExportRunning() || prompts.messages.empty())
        app.processEvents(QEventLoop::AllEvents, 5);
    const double exportMs = Ms(exportTime);
    std::printf("export: %.0f ms, %.1f MB, worst gap between 10 ms ticks %.1f ms, message %s\n",
                exportMs,
                static_cast<double>(std::filesystem::file_size(dir + "/records.log")) / 1e6,
                probe.WorstGapMs(), prompts.messages.back().text.c_str());
    std::filesystem::remove_all(dir);
    return 0;
}
