// The main window offscreen: defaults, the empty-path message, Start and Stop, rows arriving.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "app/qt/AboutDialog.h"
#include "app/qt/EventListModel.h"
#include "app/qt/IgnoreListDialog.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtDesktopOpener.h"
#include "app/qt/QtPrompts.h"
#include "app/qt/QtText.h"
#include "app/qt/QtTranslations.h"
#include "base/Gbk.h"
#include "online/UpdateCheck.h"
#include "records/FileSystem.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/FakeSource.h"
#include "tests/support/FakeWindowParts.h"
#include "tests/support/LaidOutControls.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/WindowDeps.h"
#include "watch/ChangeSource.h"
#include "watch/EventRow.h"
#include "watch/FanotifySource.h"
#include "watch/HelperSource.h"
#include "watch/InotifySource.h"

namespace qzx {
namespace {

// Named after the unit, as every suite is; the dialog itself is qzx::MonitorDialog here.
struct MonitorDialog : ::testing::Test, test::FakeWindowParts {
    test::FakeFileSystem settings;
    qzx::MonitorDialog window{Deps()
                                  .Exports(SystemFileSystem(), AppendGbk)
                                  .IgnoreFile(settings, {"/home/u/.config/qzxfile/ignore", "\n"})
                                  .LogFolder("/tmp/log/")
                                  .Build()};

    template <class T>
    T* Get(int id) {
        return qobject_cast<T*>(window.Control(id));
    }
    QString Cell(int row, int column) {
        return window.Model()->index(row, column).data().toString();
    }
};

TEST_F(MonitorDialog, FreshWindowShowsTheDefaults) {
    window.show();
    EXPECT_TRUE(window.windowTitle().startsWith(QString::fromUtf8("翠鸮文件之哨 Ver1.2 - http")));
    EXPECT_EQ(window.size(), QSize(636, 455));
    for (int id : {kIdOptAdded, kIdOptModified, kIdOptDeleted, kIdOptRenamed, kIdOptAutoClear})
        EXPECT_TRUE(Get<QCheckBox>(id)->isChecked()) << id;
    for (int id : {kIdOptOther, kIdOptRecordLog})
        EXPECT_FALSE(Get<QCheckBox>(id)->isChecked()) << id;
    EXPECT_TRUE(Get<QLineEdit>(kIdFolderPath)->text().isEmpty());
    EXPECT_TRUE(Get<QPushButton>(kIdStart)->isEnabled());
    EXPECT_FALSE(Get<QPushButton>(kIdStop)->isEnabled());
    EXPECT_TRUE(Get<QPushButton>(kIdStart)->isDefault());
    EXPECT_EQ(Get<QLabel>(kIdStatus)->text(), QString::fromUtf8("监控状态"));
    EXPECT_EQ(Get<QLabel>(kIdTicker)->text(), window.windowTitle().section(" - ", 1));

    QTableView* view = window.ListView();
    const int columns = static_cast<int>(std::size(kEventColumns));
    EXPECT_EQ(window.Model()->columnCount(), columns);
    for (int i = 0; i < columns; ++i) {
        EXPECT_EQ(window.Model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QString::fromUtf8(kEventColumns[i].title));
        EXPECT_EQ(view->columnWidth(i), kEventColumns[i].width);
    }
    EXPECT_TRUE(view->showGrid());
    EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_FALSE(view->horizontalHeader()->sectionsMovable());
    EXPECT_FALSE(view->horizontalHeader()->sectionsClickable());
}

// The path box has the focus; Tab walks the template's order.
TEST_F(MonitorDialog, KeyboardFollowsTheTemplate) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), window.Control(kIdFolderPath));
    const int order[] = {kIdBrowse,     kIdOptAdded,  kIdOptModified, kIdOptDeleted,
                         kIdOptRenamed, kIdEventList, kIdOptOther,    kIdStart};
    for (int id : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), window.Control(id)) << id;
    }
}

TEST_F(MonitorDialog, EmptyPathGivesTheMessageAndEnterPressesStart) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.Control(kIdFolderPath), Qt::Key_Return);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "监控路径不正确，请选择正确的路径！");
    EXPECT_TRUE(Get<QPushButton>(kIdStart)->isEnabled());
    EXPECT_EQ(Get<QLabel>(kIdStatus)->text(), QString::fromUtf8("监控状态"));
}

TEST_F(MonitorDialog, StartStopAndRowsArrivingNewestOnTop) {
    window.show();
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    EXPECT_EQ(source.folder, "/data/");
    EXPECT_FALSE(Get<QPushButton>(kIdStart)->isEnabled());
    EXPECT_TRUE(Get<QPushButton>(kIdStop)->isEnabled());
    EXPECT_FALSE(Get<QLineEdit>(kIdFolderPath)->isEnabled());
    EXPECT_FALSE(Get<QPushButton>(kIdBrowse)->isEnabled());
    // "准备中.." until the source has every existing folder watched, then "监控中..".
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Get<QLabel>(kIdStatus)->text() == QString::fromUtf8("监控中.."); }, 5000));
    EXPECT_EQ(Get<QLineEdit>(kIdFolderPath)->text(), QString("/data"))
        << "the edit keeps the typed path";

    source.Deliver(
        {{kActionAdded, "a.txt"}, {kActionRenamedOld, "a.txt"}, {kActionRenamedNew, "b.txt"}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 2; }, 5000));
    EXPECT_EQ(Cell(0, 0), "2");
    EXPECT_EQ(Cell(0, 1), "14:7:9");
    EXPECT_EQ(Cell(0, 2), QString::fromUtf8("命名"));
    EXPECT_EQ(Cell(0, 3), QString::fromUtf8("/data/a.txt 命名为 /data/b.txt"));
    EXPECT_EQ(Cell(1, 3), QString("/data/a.txt"));

    // The Qt box reaches the presenter while monitoring; what the option then does is the
    // presenter's rule, tested in MainWindowTest.
    Get<QCheckBox>(kIdOptAdded)->click();
    EXPECT_EQ(recorder.Options().optAdded, 0);

    Get<QPushButton>(kIdStop)->click();
    EXPECT_TRUE(Get<QPushButton>(kIdStart)->isEnabled());
    EXPECT_EQ(Get<QLabel>(kIdStatus)->text(), QString::fromUtf8("已停止.."));

    Get<QPushButton>(kIdClear)->click();
    EXPECT_EQ(window.Model()->rowCount(), 0);
    EXPECT_EQ(recorder.EventCount(), 0);
}

// "进程" shows the process of each row only while the engine knows processes; a Start with one
// that does not brings back the four columns of old, at their widths.
TEST_F(MonitorDialog, TheProcessColumnIsThereOnlyWithAnEngineThatKnowsProcesses) {
    window.show();
    const auto header = [&](int column) {
        return window.Model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    };
    source.engine = {ChangeEngine::Fanotify, true, "fan", ""};
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    ASSERT_EQ(window.Model()->columnCount(), 5);
    EXPECT_EQ(header(kProcessColumn), QString::fromUtf8("进程"));
    EXPECT_EQ(window.ListView()->columnWidth(kProcessColumn), kProcessEventColumn.width);
    ChangeRecord made(kActionAdded, "a.txt");
    made.process = std::make_shared<const ProcessInfo>(ProcessInfo{42, "qzxtouch", ""});
    source.Deliver({made});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 1; }, 5000));
    EXPECT_EQ(Cell(0, kProcessColumn), QString("qzxtouch(42)"));
    EXPECT_EQ(Cell(0, 3), QString("/data/a.txt"));
    Get<QPushButton>(kIdStop)->click();

    source.engine = {ChangeEngine::Inotify, false, "ino", ""};
    Get<QPushButton>(kIdStart)->click();
    ASSERT_EQ(window.Model()->columnCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(header(i), QString::fromUtf8(kEventColumns[i].title));
        EXPECT_EQ(window.ListView()->columnWidth(i), kEventColumns[i].width) << i;
    }
    EXPECT_EQ(Cell(0, 3), QString("/data/a.txt")) << "the rows stay";
    Get<QPushButton>(kIdStop)->click();
}

TEST_F(MonitorDialog, TimerTickEndsTheDuplicateWindow) {
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    source.Deliver({{kActionModified, "a"}, {kActionModified, "a"}});
    window.TickTicker();
    source.Deliver({{kActionModified, "a"}});
    window.PollNow();
    EXPECT_EQ(window.Model()->rowCount(), 2);
}

// Every widget goes where the presenter asks, and the details column takes its width.
TEST_F(MonitorDialog, ResizingPlacesWidgetsWhereThePresenterSays) {
    window.show();
    window.resize(1000, 700);
    LayoutResult layout;
    for (const ControlRect& c : test::LaidOutControls(1000, 700, &layout)) {
        const Rect r = c.rect;
        EXPECT_EQ(window.Control(c.id)->geometry(), QRect(r.x, r.y, r.width, r.height)) << c.id;
    }
    EXPECT_EQ(window.ListView()->columnWidth(3), layout.detailsColumnWidth);
}

// Alt+A opens the About box, which names the log folder in use; Escape ends it.
TEST_F(MonitorDialog, AltAOpensTheAboutBox) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QString seen;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        seen = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>()) seen += "|" + label->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(seen.startsWith(QString::fromUtf8("关于 QzxFile|")));
    EXPECT_TRUE(seen.contains(QString::fromUtf8("QzxFile 1.0 版")));
    EXPECT_TRUE(seen.contains("/tmp/log/"));
}

// The export flow end to end: ".log" added, the overwrite question, the three messages, and the
// file written off the GUI thread.
TEST_F(MonitorDialog, ExportAsksBeforeOverwritingAndReportsTheResult) {
    char pattern[] = "/tmp/qzx-export-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    source.Deliver({{kActionAdded, "a.txt"}});
    window.PollNow();
    auto exportOnce = [&](const std::string& chosen) {
        const std::size_t before = prompts.messages.size();
        prompts.saveFiles.push_back(chosen);
        Get<QPushButton>(kIdExport)->click();
        return QTest::qWaitFor(
            [&] { return !window.ExportRunning() && prompts.messages.size() > before; }, 5000);
    };
    const std::string path = dir + "/out.log";
    ASSERT_TRUE(exportOnce(dir + "/out"));
    EXPECT_EQ(prompts.lastFilters.size(), 2u);
    EXPECT_EQ(prompts.messages.back().text, "保存成功！位置[" + path + "]。");
    EXPECT_TRUE(prompts.questions.empty());

    prompts.answers.push_back(false);
    prompts.saveFiles.push_back(dir + "/out");
    Get<QPushButton>(kIdExport)->click();
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0], "文件[" + path + "]已经存在，是否覆盖？");
    EXPECT_EQ(prompts.messages.size(), 1u) << "No ends the export silently";
    EXPECT_FALSE(window.ExportRunning());

    // A folder of that name: the question, then the failure message.
    std::filesystem::create_directory(dir + "/old.files");
    prompts.answers.push_back(true);
    ASSERT_TRUE(exportOnce(dir + "/old.files"));
    EXPECT_EQ(prompts.questions.back(), "文件[" + dir + "/old.files]已经存在，是否覆盖？");
    EXPECT_EQ(prompts.messages.back().text, "保存失败！位置[" + dir + "/old.files]。");
    EXPECT_EQ(prompts.messages.back().icon, MessageIcon::Exclamation);
    std::filesystem::remove_all(dir);
}

// The ticker tick by tick: the default title while the feed is fetched, then the items in their
// colours, a click opening only web addresses.
TEST_F(MonitorDialog, TickerRotatesThroughTheFeedInItsColours) {
    web.documents.push_back(
        {"http://feed.example/news.txt",
         "<QZXADS><soft>*</soft><url>http://news.example/a</url><title>Spring News</title>"
         "<color>1</color>##<soft>qzxfile</soft><url>javascript:alert(1)</url>"
         "<title>第二条</title><color>4</color>##<soft>qzxfile,!qzxfilesentry</soft>"
         "<url>http://x.example/</url><title>hidden</title><color>2</color></QZXADS>"});
    auto* ticker = Get<QLabel>(kIdTicker);
    const auto colour = [&] { return ticker->palette().color(QPalette::WindowText); };
    EXPECT_EQ(ticker->text(), QString("http://maker.example/")) << "before the first tick";
    QTest::mouseClick(ticker, Qt::LeftButton);
    EXPECT_EQ(opener.urls.back(), "http://link.example/");

    window.TickTicker();
    EXPECT_EQ(ticker->text(), QString::fromUtf8("默认标题"));
    EXPECT_EQ(colour(), QColor(0, 0, 0));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            window.PollNow();
            return notices.Ticker().ItemCount() == 2;
        },
        5000));

    window.TickTicker();
    EXPECT_EQ(ticker->text(), QString("spring news"));
    EXPECT_EQ(colour(), QColor(255, 0, 0));
    QTest::mouseClick(ticker, Qt::LeftButton);
    EXPECT_EQ(opener.urls.back(), "http://news.example/a");

    window.TickTicker();
    EXPECT_EQ(ticker->text(), QString::fromUtf8("第二条"));
    EXPECT_EQ(colour(), QColor(130, 100, 20));
    QTest::mouseClick(ticker, Qt::LeftButton);
    EXPECT_EQ(opener.urls.back(), "http://link.example/") << "a script address is never opened";

    window.TickTicker();
    EXPECT_EQ(ticker->text(), QString("spring news"));
    EXPECT_EQ(web.fetches, 1) << "no refetch once the ticker holds items";

    QTest::mouseClick(Get<QLabel>(kIdBanner), Qt::LeftButton);
    Get<QPushButton>(kIdAbout)->click();
    EXPECT_EQ(opener.urls[opener.urls.size() - 2], "http://site.example/");
    EXPECT_EQ(opener.urls.back(), "http://site.example/");
    EXPECT_EQ(ticker->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Get<QLabel>(kIdBanner)->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Get<QLineEdit>(kIdFolderPath)->cursor().shape(), Qt::IBeamCursor);
}

// The ticker and the banner open their page once per click that starts and ends on them: the
// second press of a double-click and a press dragged off the control open nothing more.
TEST_F(MonitorDialog, LinksOpenOncePerClickOnThem) {
    enum Step { Press, ReleaseInside, ReleaseOutside, DoubleClickPress };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::size_t opens;
    } cases[] = {
        {"click", {Press, ReleaseInside}, 1},
        {"double-click", {Press, ReleaseInside, DoubleClickPress, ReleaseInside}, 1},
        {"dragged off", {Press, ReleaseOutside}, 0},
        {"release without a press", {ReleaseInside}, 0},
        {"two clicks", {Press, ReleaseInside, Press, ReleaseInside}, 2},
    };
    for (int id : {kIdTicker, kIdBanner}) {
        QWidget* link = window.Control(id);
        const QPoint inside = link->rect().center();
        const QPoint outside(link->width() + 5, inside.y());
        for (const auto& c : cases) {
            const std::size_t before = opener.urls.size();
            for (Step step : c.steps) {
                switch (step) {
                    case Press:
                        QTest::mousePress(link, Qt::LeftButton, Qt::NoModifier, inside);
                        break;
                    case ReleaseInside:
                        QTest::mouseRelease(link, Qt::LeftButton, Qt::NoModifier, inside);
                        break;
                    case ReleaseOutside:
                        QTest::mouseRelease(link, Qt::LeftButton, Qt::NoModifier, outside);
                        break;
                    case DoubleClickPress:
                        QTest::mouseDClick(link, Qt::LeftButton, Qt::NoModifier, inside);
                        break;
                }
            }
            EXPECT_EQ(opener.urls.size() - before, c.opens) << c.name << " on control " << id;
        }
    }
}

// The logo and the banner fill their controls from the drawing that matches the screen's
// density (a second run of this case has QT_SCALE_FACTOR=2): 1x pictures upscaled are blurred.
TEST_F(MonitorDialog, PicturesFollowTheScreensDensity) {
    const qreal want = window.devicePixelRatioF() > 1.0 ? 2.0 : 1.0;
    std::vector<QSize> drawn;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        const QPixmap pixmap = label->pixmap();
        if (pixmap.isNull()) continue;
        EXPECT_EQ(pixmap.devicePixelRatio(), want);
        EXPECT_TRUE(label->hasScaledContents());
        drawn.push_back(pixmap.deviceIndependentSize().toSize());
    }
    EXPECT_EQ(drawn, (std::vector<QSize>{{42, 48}, {390, 32}}));
}

// The update check two seconds after start: the question with its line breaks; Yes opens the
// download page.
TEST_F(MonitorDialog, NewerVersionIsOfferedOnce) {
    web.documents.push_back({"http://update.example/update.txt",
                             "<QZXVersion>1.20</QZXVersion><QZXUpdateUrl>https://dl.example/q"
                             "</QZXUpdateUrl><QZXUpdateAbout>更快的导出</QZXUpdateAbout>"});
    prompts.answers.push_back(true);
    window.TickUpdateCheck();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            window.PollNow();
            return !prompts.questions.empty();
        },
        5000));
    EXPECT_EQ(prompts.questions[0],
              "发现新版本:1.20\n\n 升级描述:\n 更快的导出\n\n是否查看新的版本？");
    ASSERT_EQ(opener.urls.size(), 1u);
    EXPECT_EQ(opener.urls[0], "https://dl.example/q");
    window.TickUpdateCheck();
    window.PollNow();
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(web.fetches, 1);
}

// A double-click opens the folder of the row's file (the old one for a rename); nothing else
// of the list opens anything.
TEST_F(MonitorDialog, DoubleClickOpensTheFolderOfTheRow) {
    window.show();
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    source.Deliver(
        {{kActionAdded, "sub/a.txt"}, {kActionRenamedOld, "old/x"}, {kActionRenamedNew, "new/y"}});
    window.PollNow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();
    QTableView* view = window.ListView();
    const auto doubleClick = [&](int row) {
        const QRect cell = view->visualRect(window.Model()->index(row, 3));
        const QPoint at = row < 0 ? QPoint(20, view->viewport()->height() - 5) : cell.center();
        // A real double-click starts with a press, which the view needs to see first.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    doubleClick(0);
    doubleClick(1);
    doubleClick(-1);
    QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier,
                      view->visualRect(window.Model()->index(1, 0)).center());
    EXPECT_EQ(opener.folders, (std::vector<std::string>{"/data/old", "/data/sub"}));
}

// Runs act on the widget find gives as soon as there is one, from the event loop of whatever
// menu or modal window is open by then.
template <class Find, class Act>
void WhenShown(Find find, Act act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, find, act] {
        QWidget* w = find();
        if (w == nullptr) return;
        timer->stop();
        timer->deleteLater();
        act(w);
    });
    timer->start(5);
}

QWidget* OpenMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
QWidget* OpenIgnoreList() {
    QWidget* w = QApplication::activeModalWidget();
    return w != nullptr && w->isVisible() ? qobject_cast<IgnoreListDialog*>(w) : nullptr;
}

// The menu comes on the list's custom-menu signal for the row under the pointer and on the menu
// key for the selected row; "忽略列表..." opens the dialog, which comes back on the user's text
// after a wrong line, and its OK saves the list.
TEST_F(MonitorDialog, RowMenuAndTheIgnoreListDialog) {
    settings.folders.insert("/");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    source.Deliver({{kActionAdded, "sub/a.txt"}, {kActionAdded, "b.log"}});
    window.PollNow();
    window.PollNow();
    QTableView* view = window.ListView();
    ASSERT_EQ(window.Model()->rowCount(), 2);
    QStringList shown;
    const auto readAndClose = [&shown](QWidget* menu) {
        for (QAction* a : menu->actions()) shown << a->text();
        menu->close();
    };
    WhenShown(OpenMenu, readAndClose);
    emit view->customContextMenuRequested(view->visualRect(window.Model()->index(1, 3)).center());
    EXPECT_TRUE(shown.contains(QString::fromUtf8("忽略此类文件 (*.txt)"))) << S(shown.join("|"));
    view->selectRow(0);
    shown.clear();
    WhenShown(OpenMenu, readAndClose);
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1),
                          view->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(view, &key);
    EXPECT_TRUE(shown.contains(QString::fromUtf8("忽略此类文件 (*.log)"))) << S(shown.join("|"));

    QStringList opened;
    const auto answer = [&opened](QWidget* w, const char* text) {
        auto* dialog = static_cast<IgnoreListDialog*>(w);
        opened << dialog->Editor()->toPlainText();
        dialog->Editor()->setPlainText(QString::fromUtf8(text));
        for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
            if (b->text() == QString::fromUtf8("确定")) b->click();
        }
    };
    WhenShown(OpenMenu, [](QWidget* w) {
        auto* menu = static_cast<QMenu*>(w);
        menu->setActiveAction(menu->actions().back());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    WhenShown(OpenIgnoreList, [&](QWidget* w) {
        answer(w, "*.log\n*.[ch");
        WhenShown(OpenIgnoreList, [&](QWidget* again) { answer(again, "*.log"); });
    });
    emit view->customContextMenuRequested(QPoint(5, view->viewport()->height() - 5));
    EXPECT_EQ(opened, QStringList({"", "*.log\n*.[ch"}));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(settings.files["/home/u/.config/qzxfile/ignore"], "*.log\n");
}

TEST_F(MonitorDialog, EscapeClosesTheWindowWhileMonitoring) {
    window.show();
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

// Tab and Shift+Tab leave the list for its neighbours in the template's order, also when the
// list holds rows (a table would otherwise walk its cells).
TEST_F(MonitorDialog, TabLeavesTheListWhateverItHolds) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    source.Deliver({{kActionAdded, "a"}, {kActionAdded, "b"}, {kActionModified, "c"}});
    window.PollNow();
    ASSERT_EQ(window.Model()->rowCount(), 3);
    QTableView* view = window.ListView();
    view->setFocus();
    view->setCurrentIndex(window.Model()->index(1, 1));
    ASSERT_EQ(QApplication::focusWidget(), view);
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window.Control(kIdOptOther));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), window.Control(kIdOptRenamed));
}

// Fetched text and paths are shown as written: the ticker, the status tooltip.
TEST_F(MonitorDialog, FetchedTextAndPathsStayPlainText) {
    web.documents.push_back({"http://feed.example/news.txt",
                             "<qzxads><soft>*</soft><url>http://n.example/</url><title><a href="
                             "'file:///etc/passwd'>x</a></title><color>1</color></qzxads>"});
    window.TickTicker();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            window.PollNow();
            return notices.Ticker().ItemCount() == 1;
        },
        5000));
    window.TickTicker();
    auto* ticker = Get<QLabel>(kIdTicker);
    EXPECT_EQ(ticker->text(), QString("<a href='file:///etc/passwd'>x</a>"));
    EXPECT_EQ(ticker->textFormat(), Qt::PlainText);

    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    source.WithSink(
        [](ChangeSink& sink) { sink.OnWarning(WatchWarning::UnreadableFolder, "<b>x</b>"); });
    window.PollNow();
    const QString tip = window.Control(kIdStatus)->toolTip();
    EXPECT_TRUE(tip.contains("&lt;b&gt;x&lt;/b&gt;")) << tip.toStdString();
    EXPECT_FALSE(tip.contains("<b>")) << tip.toStdString();
}

// With the list minimised nothing reaches the view; on restore the rows arrive in one insert.
// A burst between two ticks is one insert too.
TEST_F(MonitorDialog, RowsArriveInOneInsertPerTickAndNotWhileMinimised) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    QSignalSpy inserts(window.Model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy resets(window.Model(), &QAbstractItemModel::modelReset);
    for (int i = 0; i < 3; ++i) source.Deliver({{kActionAdded, "f" + std::to_string(i)}});
    window.PollNow();
    EXPECT_EQ(inserts.count(), 1);
    EXPECT_EQ(window.Model()->rowCount(), 3);

    window.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMinimized(); }, 5000));
    for (int i = 0; i < 20; ++i) {
        source.Deliver({{kActionAdded, "g" + std::to_string(i)}});
        window.PollNow();
    }
    EXPECT_EQ(inserts.count(), 1);
    EXPECT_EQ(window.Model()->rowCount(), 3);
    window.showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 23; }, 5000));
    EXPECT_EQ(inserts.count(), 2);
    EXPECT_EQ(resets.count(), 0);
}

// A quiet window does not poll; a change wakes it, from the watcher's thread.
TEST_F(MonitorDialog, AChangeWakesAQuietWindow) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Polling(); }, 5000));
    source.Deliver({{kActionAdded, "late"}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 1; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Polling(); }, 5000));
}

// Scrolled down to read, the reader keeps the rows in sight while new ones arrive above.
TEST_F(MonitorDialog, ScrolledListKeepsTheRowsInSight) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Get<QLineEdit>(kIdFolderPath)->setText("/data");
    Get<QPushButton>(kIdStart)->click();
    ChangeBatch many;
    for (int i = 0; i < 200; ++i) many.push_back({kActionAdded, "f" + std::to_string(i)});
    source.Deliver(many);
    window.PollNow();
    QApplication::processEvents();
    QScrollBar* bar = window.ListView()->verticalScrollBar();
    bar->setValue(50);
    ASSERT_EQ(bar->value(), 50);
    const QString before = window.ListView()->indexAt(QPoint(5, 5)).data().toString();
    source.Deliver({{kActionAdded, "x"}, {kActionAdded, "y"}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 202; }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(window.ListView()->indexAt(QPoint(5, 5)).data().toString(), before);

    bar->setValue(0);
    source.Deliver({{kActionAdded, "z"}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() == 203; }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 0) << "at the top, the newest row shows";
    EXPECT_EQ(window.ListView()->indexAt(QPoint(5, 5)).data().toString(), QString("203"));
}

// The update question built from a document whose version carries markup and whose notes carry
// a link of another scheme: the box shows the tags as text, and nothing in it is a link.
TEST(QtPrompts, MessageBoxesShowFetchedTextAsPlainText) {
    const std::optional<UpdateOffer> offer = UpdateCheck::Evaluate(
        "<QZXVersion>9.9<b></b></QZXVersion><QZXUpdateUrl>http://dl.example/</QZXUpdateUrl>"
        "<QZXUpdateAbout><a href=\"file:///etc/passwd\">notes</a></QZXUpdateAbout>",
        "http://site.example/");
    ASSERT_TRUE(offer.has_value());
    QtPrompts prompts;
    const auto inspect = [](QString& shown, int& format, bool& links) {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            ASSERT_NE(label, nullptr);
            shown = label->text();
            format = label->textFormat();
            links = label->openExternalLinks() && label->textFormat() != Qt::PlainText;
            box->reject();
        });
    };
    QString shown;
    int format = -1;
    bool links = true;
    inspect(shown, format, links);
    EXPECT_FALSE(prompts.AskYesNo(offer->question));
    EXPECT_TRUE(shown.startsWith(QString::fromUtf8("发现新版本:9.9<b></b>")));
    EXPECT_TRUE(shown.contains("<a href=\"file:///etc/passwd\">notes</a>"));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_FALSE(links);

    inspect(shown, format, links);
    prompts.ShowMessage("保存失败！位置[/tmp/<i>x</i>.log]。", MessageIcon::Exclamation);
    EXPECT_EQ(shown, QString::fromUtf8("保存失败！位置[/tmp/<i>x</i>.log]。"));
    EXPECT_EQ(format, Qt::PlainText);
}

// On a Chinese desktop Qt's own buttons speak Chinese too.
TEST(QtPrompts, StandardButtonsFollowTheDesktopLanguage) {
    QApplication* app = qApp;
    ASSERT_TRUE(InstallQtTranslations(*app, QLocale(QLocale::Chinese, QLocale::China)));
    QtPrompts prompts;
    QStringList buttons;
    const auto read = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            box->reject();
        });
    };
    read();
    prompts.AskYesNo("问题");
    read();
    prompts.ShowMessage("消息", MessageIcon::Information);
    for (QTranslator* t : app->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    const QString all = buttons.join('|');
    EXPECT_TRUE(all.contains(QString::fromUtf8("是"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QString::fromUtf8("否"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QString::fromUtf8("确定"))) << all.toStdString();
}

// The About box's texts fit their 119 dialog units in the 9-point dialog font.
TEST(AboutDialog, TextsFitTheirWidth) {
    AboutDialog box("/tmp/log/");
    int checked = 0;
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text().isEmpty() || label->objectName() == "logFolder") continue;
        ++checked;
        EXPECT_EQ(label->width(), DialogUnitsToPixels(119));
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
    }
    EXPECT_EQ(checked, 2);
    EXPECT_DOUBLE_EQ(box.font().pointSizeF(), 9.0);
}

// Addresses with a blank, braces or a bar reach the desktop; other schemes never do.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void Open(const QUrl& url) { urls << url; }
};

TEST(QtDesktopOpener, TakesAddressesThatBrowsersTake) {
    UrlCatcher catcher;
    for (const char* scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(scheme, &catcher, "Open");
    QtDesktopOpener opener;
    EXPECT_TRUE(opener.OpenUrl("http://n.example/a b{c}|d"));
    EXPECT_TRUE(opener.OpenUrl("https://n.example/%7Bx%7D"));
    EXPECT_FALSE(opener.OpenUrl("file:///etc/passwd"));
    for (const char* scheme : {"http", "https", "file"}) QDesktopServices::unsetUrlHandler(scheme);
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0].toEncoded(), QByteArray("http://n.example/a%20b%7Bc%7D%7Cd"));
    EXPECT_EQ(catcher.urls[1].host(), QString("n.example"));
}

// The whole road of one change: a file created in a real folder becomes a row.
TEST(MonitorDialogWithRealFolder, CreatedFileArrivesAsARow) {
    char pattern[] = "/tmp/qzx-window-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    EventList list;
    EventRecorder recorder(list, SystemClock());
    test::FakePrompts prompts;
    MonitorController controller(recorder, &CreateChangeSource, prompts);
    test::FakeWeb web;
    OnlineNotices notices{test::ExampleStrings(), web.Fetcher()};
    test::FakeOpener opener;
    qzx::MonitorDialog window(test::WindowDeps(list, recorder, controller, prompts, notices, opener)
                                  .Exports(SystemFileSystem(), AppendGbk)
                                  .Build());
    qobject_cast<QLineEdit*>(window.Control(kIdFolderPath))->setText(QString::fromStdString(dir));
    qobject_cast<QPushButton*>(window.Control(kIdStart))->click();
    ASSERT_TRUE(prompts.messages.empty());
    // While the folders that exist are still being set up, a folder made now may be found by
    // the set-up walk after its own file; only from "监控中.." on is the order of rows the order
    // of the changes.
    auto* status = qobject_cast<QLabel*>(window.Control(kIdStatus));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return status->text() == QString::fromUtf8("监控中.."); }, 5000));
    std::filesystem::create_directory(dir + "/子目录");
    { std::ofstream(dir + "/子目录/a.txt") << "x"; }
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() >= 2; }, 5000));
    const auto cell = [&](int row, int column) {
        return window.Model()->index(row, column).data().toString();
    };
    EXPECT_EQ(cell(1, 2), QString::fromUtf8("新增"));
    EXPECT_EQ(cell(1, 3), QString::fromStdString(dir + "/子目录"));
    EXPECT_EQ(cell(0, 3), QString::fromStdString(dir + "/子目录/a.txt"));

    // The folder going away ends monitoring, and the window says so.
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return status->text() == QString::fromUtf8("已停止.."); }, 5000));
    EXPECT_TRUE(window.Control(kIdStart)->isEnabled());
}

// With the whole-tree engine (root only) the window grows "进程", and a file this process makes
// names this process in it; the same through qzxfile-helper, started without pkexec (the seam
// for a test that runs as root), as the window of an ordinary user gets it.
TEST(MonitorDialogWithRealFolder, TheFanotifyEngineBringsTheProcessColumn) {
    if (::geteuid() != 0) GTEST_SKIP() << "fanotify needs root";
    const MonitorController::SourceFactory makers[] = {
        [] { return CreateFanotifySource(); },
        [] {
            return CreateHelperSource({}, QZX_HELPER_PATH, [] { return CreateInotifySource(); });
        },
    };
    for (const auto& maker : makers) {
        char pattern[] = "/tmp/qzx-window-XXXXXX";
        const std::string dir = mkdtemp(pattern);
        EventList list;
        EventRecorder recorder(list, SystemClock());
        test::FakePrompts prompts;
        MonitorController controller(recorder, maker, prompts);
        test::FakeWeb web;
        OnlineNotices notices{test::ExampleStrings(), web.Fetcher()};
        test::FakeOpener opener;
        qzx::MonitorDialog window(
            test::WindowDeps(list, recorder, controller, prompts, notices, opener).Build());
        qobject_cast<QLineEdit*>(window.Control(kIdFolderPath))
            ->setText(QString::fromStdString(dir));
        qobject_cast<QPushButton*>(window.Control(kIdStart))->click();
        if (!prompts.messages.empty()) {
            std::filesystem::remove_all(dir);
            GTEST_SKIP() << "fanotify refused: " << prompts.messages[0].text;
        }
        ASSERT_EQ(window.Model()->columnCount(), 5);
        EXPECT_EQ(
            window.Model()->headerData(kProcessColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
            QString::fromUtf8("进程"));
        // The helper places its mark after Start has returned.
        auto* status = qobject_cast<QLabel*>(window.Control(kIdStatus));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return status->text() == QString::fromUtf8("监控中.."); }, 5000));
        { std::ofstream(dir + "/a.txt") << "x"; }
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->rowCount() >= 1; }, 5000));
        std::string comm;
        std::getline(std::ifstream("/proc/self/comm"), comm);
        const QModelIndex newest = window.Model()->index(0, kProcessColumn);
        EXPECT_EQ(newest.data().toString().toStdString(),
                  ProcessLabel({static_cast<int>(::getpid()), comm, ""}));
        qobject_cast<QPushButton*>(window.Control(kIdStop))->click();
        std::filesystem::remove_all(dir);
    }
}

}  // namespace
}  // namespace qzx

#include "MonitorDialogTest.moc"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
