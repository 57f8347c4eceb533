// Renders the main window with a few sample rows into a PNG, for the README; with "menu", the
// list's context menu open on a row and the ignore list's dialog beside the window.
//
//   qzxfile-shot OUT.png [menu]
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/ControlIds.h"
#include "app/MonitorController.h"
#include "app/qt/ElevatedWatching.h"
#include "app/qt/EventListModel.h"
#include "app/qt/IgnoreListDialog.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtPrompts.h"
#include "base/Gbk.h"
#include "online/OnlineNotices.h"
#include "records/FileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/WindowDeps.h"
#include "watch/ChangeSource.h"
#include "watch/HelperSource.h"

namespace {

class SampleClock final : public qzx::Clock {
  public:
    qzx::LocalTime Now() const override { return {2026, 12, 8, 9, 5, 3}; }
};

// Hands the window a fixed set of changes instead of watching a real folder.
class SampleSource final : public qzx::ChangeSource {
  public:
    bool Start(const std::string&, qzx::ChangeSink& sink) override {
        sink.OnBatch({{qzx::kActionAdded, "报告/2026年12月.docx"},
                      {qzx::kActionModified, "报告/2026年12月.docx"},
                      {qzx::kActionAdded, "照片/IMG_0042.jpg"},
                      {qzx::kActionRenamedOld, "草稿.txt"},
                      {qzx::kActionRenamedNew, "定稿.txt"},
                      {qzx::kActionRemoved, "临时/cache.tmp"}});
        sink.OnReady();
        return true;
    }
    void Stop() override {}
};

// The window with the menu of its third row drawn where it opens, and the dialog on a sample
// list to its right.
QPixmap MenuPicture(qzx::MonitorDialog& window) {
    QPixmap shot = window.grab();
    QTableView* list = window.ListView();
    const QPoint at =
        list->viewport()->mapToGlobal(list->visualRect(window.Model()->index(2, 3)).center());
    QPixmap menuShot;
    QPoint menuAt;
    QTimer::singleShot(100, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menuShot = menu->grab();
            menuAt = menu->pos() - window.mapToGlobal(QPoint(0, 0));
            menu->close();
        }
    });
    window.Presenter().OnRowMenu(2, {at.x(), at.y()});
    qzx::IgnoreListDialog dialog("忽略列表",
                                 "# 编辑器和下载的临时文件\n*.tmp\n~$*\n*.sw?\n*.crdownload\n"
                                 "# 构建和版本库\nbuild/\n.git/\nnode_modules/\n/docs/old/\n"
                                 "!keep.tmp",
                                 false);
    dialog.show();
    QApplication::processEvents();
    const QPixmap dialogShot = dialog.grab();
    const int gap = 16;
    QPixmap canvas(shot.width() + gap + dialogShot.width(),
                   std::max(shot.height(), dialogShot.height()));
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawPixmap(0, 0, shot);
    if (!menuShot.isNull()) painter.drawPixmap(menuAt, menuShot);
    painter.drawPixmap(shot.width() + gap, (canvas.height() - dialogShot.height()) / 2, dialogShot);
    return canvas;
}

}  // namespace

// Writers the picture of the process column shows: short-lived programs, each started as a
// script would start it.
void RunWriters(const std::string& folder) {
    const std::string commands[] = {
        "exec cp /etc/hostname '" + folder + "/报告.txt'",
        "exec touch '" + folder + "/照片.jpg'",
        "exec mv '" + folder + "/照片.jpg' '" + folder + "/相册.jpg'",
        "exec dd if=/dev/zero of='" + folder + "/数据.bin' bs=1 count=1 status=none",
        "exec rm '" + folder + "/相册.jpg'",
    };
    for (const std::string& command : commands) {
        // A writer that fails only leaves its row out of the picture, which shows it.
        if (std::system(("sh -c \"" + command + "\"").c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
        }
    }
}

int main(int argc, char** argv) {
    const bool menu = argc == 3 && std::string(argv[2]) == "menu";
    // "process FOLDER": a real run through qzxfile-helper (pkexec, QZX_HELPER_PATH) on FOLDER,
    // as an ordinary user's window gets it.
    const bool process = argc == 4 && std::string(argv[2]) == "process";
    if (argc != 2 && !menu && !process) {
        std::fprintf(stderr, "usage: %s OUT.png [menu | process FOLDER]\n", argv[0]);
        return 2;
    }
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SampleClock clock;
    qzx::EventList list;
    qzx::EventRecorder recorder(list, clock);
    qzx::QtPrompts prompts;
    qzx::MonitorController controller(
        recorder,
        [process]() -> std::unique_ptr<qzx::ChangeSource> {
            if (!process) return std::make_unique<SampleSource>();
            const char* helper = std::getenv("QZX_HELPER_PATH");
            return qzx::CreateHelperSource({"pkexec"}, helper ? helper : "",
                                           &qzx::CreateChangeSource);
        },
        prompts);
    qzx::OnlineNotices notices(qzx::ServiceStrings::Decode(), qzx::test::NoFetch());
    qzx::test::FakeOpener opener;  // nothing is opened while measuring or drawing
    qzx::MonitorDialog window(
        qzx::test::WindowDeps(list, recorder, controller, prompts, notices, opener)
            .Exports(qzx::SystemFileSystem(), qzx::AppendGbk)
            .Build());
    window.show();
    qobject_cast<QLineEdit*>(window.Control(qzx::kIdFolderPath))
        ->setText(process ? QString::fromLocal8Bit(argv[3]) : QString::fromUtf8("/home/user/文档"));
    qobject_cast<QPushButton*>(window.Control(qzx::kIdStart))->click();
    // The rows are recorded on a thread of their own; the picture waits for them and for
    // "监控中..", a second at most.
    for (int i = 0; i < 200 && controller.State() != qzx::MonitorState::Monitoring; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        window.PollNow();
    }
    if (process) {
        RunWriters(argv[3]);
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            window.PollNow();
            app.processEvents();
        }
    }
    app.processEvents();
    const QPixmap picture = menu ? MenuPicture(window) : window.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
