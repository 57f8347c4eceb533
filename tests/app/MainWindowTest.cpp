// The window's rules against a view without a display, so that every front end inherits them.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "app/IgnoreListEdit.h"
#include "app/MainWindow.h"
#include "app/Texts.h"
#include "app/WindowLayout.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/FakeSource.h"
#include "tests/support/FakeWindowParts.h"
#include "tests/support/FakeWindowView.h"
#include "tests/support/LaidOutControls.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WindowDeps.h"
#include "watch/EventRow.h"

namespace qzx {
namespace {

using test::NativePath;

// Files in memory; a write can be held at a gate so that a test sees the export under way.
class GateFiles final : public FileSystem {
  public:
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    bool failWrites = false;

    void Hold() {
        std::lock_guard<std::mutex> lock(mutex);
        held = true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
        released.notify_all();
    }
    std::string Content(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex);
        return files[path];
    }

    bool PathExistsAs(const std::string& path, bool asFolder) const override {
        std::lock_guard<std::mutex> lock(mutex);
        return asFolder ? folders.count(path) > 0 : files.count(path) > 0;
    }
    bool PathExists(const std::string& path) const override { return PathExistsAs(path, false); }
    bool IsWritableFolder(const std::string&) const override { return true; }
    int MakeFolders(const std::string&) override { return 1; }
    int AppendToFile(const std::string&, std::string_view) override { return 0; }
    int ReplaceFile(const std::string& path, std::string_view bytes) override {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [this] { return !held; });
        if (failWrites) return 0;
        files[path] = std::string(bytes);
        return 1;
    }

  private:
    mutable std::mutex mutex;
    std::condition_variable released;
    bool held = false;
};

void CopyUtf8(std::string_view utf8, std::string& out) { out.append(utf8); }

// Named after the unit, as every suite is; the presenter itself is qzx::MainWindow here.
struct MainWindow : ::testing::Test, test::FakeWindowParts {
    GateFiles files;
    // The settings folder, where the ignore list is kept.
    test::FakeFileSystem settings;
    const IgnoreFilePlace ignoreFile{NativePath("/home/u/.config/qzxfile/ignore"), "\n"};
    const std::string kCatchUpFile = NativePath("/home/u/.config/qzxfile/catch-up");
    test::FakeWindowView view;
    qzx::MainWindow window{Deps()
                               .Exports(files, CopyUtf8)
                               .IgnoreFile(settings, ignoreFile)
                               .CatchUpItem(nullptr, kCatchUpFile)
                               .LogFolder("/var/log/q/")
                               .Build(),
                           view};

    void SetUp() override {
        settings.folders.insert(test::RootFolder());
        window.OnInit(636, 455);
    }
    void StartOn(const std::string& path) {
        view.texts[kIdFolderPath] = path;
        ASSERT_TRUE(window.OnCommand(kIdStart));
    }
    // Polls until the condition holds, for work that finishes on another thread.
    template <class Condition>
    bool PollUntil(Condition done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            window.Poll();
            if (done()) return true;
            std::this_thread::yield();
        }
        return false;
    }
};

TEST_F(MainWindow, FreshWindowShowsTheDefaults) {
    EXPECT_EQ(view.title, "翠鸮文件之哨 Ver1.2 - http://maker.example/");
    for (int id : {kIdOptAdded, kIdOptModified, kIdOptDeleted, kIdOptRenamed, kIdOptAutoClear})
        EXPECT_TRUE(view.IsChecked(id)) << id;
    for (int id : {kIdOptOther, kIdOptRecordLog}) EXPECT_FALSE(view.IsChecked(id)) << id;
    EXPECT_EQ(recorder.Options().optAutoClear, 1) << "the boxes reach the recorder at once";
    EXPECT_TRUE(view.Enabled(kIdStart));
    EXPECT_FALSE(view.Enabled(kIdStop));
    EXPECT_EQ(view.Text(kIdStatus), "监控状态");
    EXPECT_EQ(view.Text(kIdTicker), "http://maker.example/");
    ASSERT_EQ(view.columnTitles.size(), std::size(kEventColumns));
    ASSERT_EQ(view.columnWidths.size(), std::size(kEventColumns));
    for (std::size_t i = 0; i < std::size(kEventColumns); ++i) {
        EXPECT_EQ(view.columnTitles[i], kEventColumns[i].title) << i;
        EXPECT_EQ(view.columnWidths[i], kEventColumns[i].width) << i;
    }
    for (int id : {kIdFolderPath, kIdTicker}) {
        EXPECT_EQ(view.fonts[id].faces.at(0), "Verdana") << id;
        EXPECT_EQ(view.fonts[id].tenthsOfPoint, 92) << id;
    }
    EXPECT_EQ(qzx::MainWindow::DialogFont().tenthsOfPoint, 90);
    EXPECT_EQ(view.cursors.size(), 2u);
    EXPECT_EQ(view.cursors[kIdTicker], CursorShape::Hand);
    EXPECT_EQ(view.cursors[kIdBanner], CursorShape::Hand);
    EXPECT_EQ(view.focus, kIdFolderPath);
    EXPECT_EQ(view.timers[WindowTimer::Ticker].periodMs, 5000);
    EXPECT_EQ(view.timers[WindowTimer::Update].periodMs, 2000);
    EXPECT_EQ(view.timers[WindowTimer::Poll].periodMs, 50);
}

// Every clickable control reaches its handler; the exit button is left to the shell.
TEST_F(MainWindow, CommandsReachTheirHandlers) {
    EXPECT_FALSE(window.OnCommand(kIdExit));
    EXPECT_FALSE(window.OnCommand(kIdEventList));
    EXPECT_FALSE(window.OnCommand(12345));

    prompts.folders.push_back("/picked");
    EXPECT_TRUE(window.OnCommand(kIdBrowse));
    EXPECT_EQ(prompts.lastFolderTitle, "请选择文件夹:");
    EXPECT_EQ(view.Text(kIdFolderPath), "/picked");
    EXPECT_TRUE(window.OnCommand(kIdBrowse)) << "cancelled";
    EXPECT_EQ(view.Text(kIdFolderPath), "/picked");

    // Each box sets its own option, and only it.
    for (const OptionBox& box : kOptionBoxes) {
        SCOPED_TRACE(box.id);
        const MonitorOptions before = recorder.Options();
        view.checked[box.id] = !view.checked[box.id];
        EXPECT_TRUE(window.OnCommand(box.id));
        MonitorOptions expected = before;
        expected.*box.option = view.checked[box.id] ? 1 : 0;
        const MonitorOptions after = recorder.Options();
        for (const OptionBox& other : kOptionBoxes)
            EXPECT_EQ(after.*other.option, expected.*other.option) << other.id;
    }

    EXPECT_TRUE(window.OnCommand(kIdAbout));
    EXPECT_TRUE(window.OnCommand(kIdBanner));
    EXPECT_EQ(opener.urls,
              (std::vector<std::string>{"http://site.example/", "http://site.example/"}));
    EXPECT_TRUE(window.OnCommand(kIdTicker));
    EXPECT_EQ(opener.urls.back(), "http://link.example/") << "before the first tick";
}

TEST_F(MainWindow, StartStopClearAndRowsArrivingInOneInsertPerPoll) {
    view.texts[kIdFolderPath] = "";
    window.OnCommand(kIdStart);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "监控路径不正确，请选择正确的路径！");
    EXPECT_TRUE(view.Enabled(kIdStart));

    StartOn(NativePath("/data"));
    EXPECT_EQ(source.folder, NativePath("/data/"));
    EXPECT_FALSE(view.Enabled(kIdStart));
    EXPECT_FALSE(view.Enabled(kIdBrowse));
    EXPECT_FALSE(view.Enabled(kIdFolderPath));
    EXPECT_TRUE(view.Enabled(kIdStop));
    // "准备中.." until the source has every existing folder watched.
    EXPECT_EQ(view.Text(kIdStatus), "准备中..");
    ASSERT_TRUE(PollUntil([&] { return view.Text(kIdStatus) == "监控中.."; }));
    EXPECT_EQ(view.Text(kIdFolderPath), NativePath("/data")) << "the box keeps the path as typed";

    // A burst of three batches between two polls reaches the view as one insert.
    source.Deliver({{kActionAdded, "a.txt"}});
    source.Deliver({{kActionRenamedOld, "a.txt"}, {kActionRenamedNew, "b.txt"}});
    source.Deliver({{kActionRemoved, "c.txt"}});
    window.Poll();
    ASSERT_EQ(view.syncs.size(), 1u);
    EXPECT_EQ(view.syncs[0].rowCount, 3);
    EXPECT_EQ(view.syncs[0].inserted, 3);
    EXPECT_FALSE(view.syncs[0].reset);
    window.Poll();
    EXPECT_EQ(view.syncs.size(), 1u) << "nothing new, no call";
    EXPECT_EQ(window.CellText(0, 2), "删除");
    EXPECT_EQ(window.CellText(1, 0), "2");
    EXPECT_EQ(window.CellText(1, 1), "14:7:9");
    EXPECT_EQ(window.CellText(1, 3),
              NativePath("/data/a.txt") + " 命名为 " + NativePath("/data/b.txt"));
    EXPECT_EQ(window.CellText(2, 3), NativePath("/data/a.txt"));
    EXPECT_EQ(window.CellText(3, 0), "") << "no such row";

    // Unticking "文件新增" while monitoring acts from the next change on.
    view.checked[kIdOptAdded] = false;
    window.OnCommand(kIdOptAdded);
    source.Deliver({{kActionAdded, "d.txt"}});
    window.Poll();
    EXPECT_EQ(window.RowCount(), 3);

    window.OnCommand(kIdStop);
    EXPECT_TRUE(view.Enabled(kIdStart));
    EXPECT_EQ(view.Text(kIdStatus), "已停止..");

    window.OnCommand(kIdClear);
    ASSERT_EQ(view.syncs.size(), 2u);
    EXPECT_TRUE(view.syncs[1].reset);
    EXPECT_EQ(view.syncs[1].rowCount, 0);
    EXPECT_EQ(recorder.EventCount(), 0);
}

// A long burst reaches the list five times a second; once it stops, the next poll brings the
// rest, and a change after a quiet poll shows at the next one.
TEST_F(MainWindow, ABurstReachesTheListEveryFourthPoll) {
    StartOn(NativePath("/data"));
    ASSERT_TRUE(PollUntil([&] { return view.Text(kIdStatus) == "监控中.."; }));
    for (int i = 0; i < 10; ++i) {
        source.Deliver({{kActionAdded, "f" + std::to_string(i)}});
        window.Poll();
    }
    ASSERT_EQ(view.syncs.size(), 3u);
    EXPECT_EQ(view.syncs[0].inserted, 1) << "the first row of a burst is not held";
    EXPECT_EQ(view.syncs[1].inserted, 4);
    EXPECT_EQ(view.syncs[2].rowCount, 9);
    window.Poll();
    ASSERT_EQ(view.syncs.size(), 4u);
    EXPECT_EQ(view.syncs[3].rowCount, 10) << "nothing new came: the held row shows";

    window.Poll();
    window.OnCommand(kIdClear);
    source.Deliver({{kActionAdded, "g"}});
    window.Poll();
    ASSERT_EQ(view.syncs.size(), 6u);
    EXPECT_TRUE(view.syncs[4].reset);
    EXPECT_EQ(view.syncs[5].rowCount, 1) << "a change after a clear is not held";
    EXPECT_EQ(window.CellText(0, 3), NativePath("/data/g"));
}

// Nothing polls while nothing happens: after a quiet poll the timer stops, the next change
// wakes the window once however many follow, and polling goes on until it is quiet again.
TEST_F(MainWindow, PollingStopsWhenQuietAndChangesWakeIt) {
    StartOn(NativePath("/data"));
    ASSERT_TRUE(PollUntil([&] { return view.Text(kIdStatus) == "监控中.."; }));
    window.Poll();
    window.Poll();
    EXPECT_FALSE(view.timers[WindowTimer::Poll].running);
    const int before = view.wakes;
    source.Deliver({{kActionAdded, "a"}});
    source.Deliver({{kActionAdded, "b"}});
    EXPECT_EQ(view.wakes, before + 1);
    window.OnWake();
    EXPECT_TRUE(view.timers[WindowTimer::Poll].running);
    window.Poll();
    EXPECT_EQ(window.RowCount(), 2);
    source.Deliver({{kActionAdded, "c"}});
    EXPECT_EQ(view.wakes, before + 2) << "taken by the poll: the next change wakes again";
    window.Poll();
    window.Poll();
    EXPECT_EQ(window.RowCount(), 3);
    window.Poll();
    EXPECT_FALSE(view.timers[WindowTimer::Poll].running);

    // The watcher's own reports wake it too, and an export keeps it polling till it ends.
    window.OnCommand(kIdStop);
    files.Hold();
    prompts.saveFiles.push_back(NativePath("/out/r"));
    window.OnCommand(kIdExport);
    window.Poll();
    window.Poll();
    EXPECT_TRUE(view.timers[WindowTimer::Poll].running) << "the export is not done";
    files.Release();
    ASSERT_TRUE(PollUntil([&] { return !window.ExportRunning(); }));
    window.Poll();
    EXPECT_FALSE(view.timers[WindowTimer::Poll].running);
}

// The five-second tick draws the colour before the text and ends the duplicate window, whatever
// the ticker does; the two-second timer stops itself and checks once.
TEST_F(MainWindow, TimersDoTheirWork) {
    StartOn(NativePath("/data"));
    source.Deliver({{kActionModified, "a"}, {kActionModified, "a"}});
    view.trace.clear();
    window.OnTimer(WindowTimer::Ticker);
    EXPECT_EQ(view.trace, (std::vector<std::string>{"colour:1019", "text:1019"}));
    EXPECT_EQ(view.Text(kIdTicker), "默认标题");
    EXPECT_TRUE(view.colors[kIdTicker] == (Rgb{0, 0, 0}));
    source.Deliver({{kActionModified, "a"}});
    window.Poll();
    EXPECT_EQ(window.RowCount(), 2);

    window.OnTimer(WindowTimer::Update);
    EXPECT_FALSE(view.timers[WindowTimer::Update].running);
    window.OnTimer(WindowTimer::Update);
    ASSERT_TRUE(PollUntil([&] {
        std::lock_guard<std::mutex> lock(web.mutex);
        return web.fetches >= 2;
    }));
    window.OnTimer(WindowTimer::Poll);
    std::lock_guard<std::mutex> lock(web.mutex);
    EXPECT_EQ(web.fetches, 2) << "one feed fetch, one update fetch";
}

// The question first, then the page; No opens nothing; a page the desktop refuses falls back to
// the maker's page.
TEST_F(MainWindow, UpdateQuestionThenThePage) {
    web.documents.push_back({"http://update.example/update.txt",
                             "<QZXVersion>1.3</QZXVersion><QZXUpdateUrl>http://dl.example/a b"
                             "</QZXUpdateUrl><QZXUpdateAbout>快</QZXUpdateAbout>"});
    prompts.answers.push_back(true);
    opener.refused.insert("http://dl.example/a%20b");
    window.OnTimer(WindowTimer::Update);
    ASSERT_TRUE(PollUntil([&] { return !prompts.questions.empty(); }));
    EXPECT_EQ(prompts.questions[0], "发现新版本:1.3\n\n 升级描述:\n 快\n\n是否查看新的版本？");
    EXPECT_EQ(opener.urls,
              (std::vector<std::string>{"http://dl.example/a%20b", "http://site.example/"}));
}

TEST_F(MainWindow, UpdateDeclinedOpensNothing) {
    web.documents.push_back({"http://update.example/update.txt", "<QZXVersion>1.3</QZXVersion>"});
    window.OnTimer(WindowTimer::Update);
    ASSERT_TRUE(PollUntil([&] { return !prompts.questions.empty(); }));
    EXPECT_TRUE(opener.urls.empty());
}

// Addresses with a blank, "{" or "|" reach the desktop in a form a strict parser takes; one the
// desktop still refuses gives way to the default link, and a script address never opens.
TEST_F(MainWindow, TickerClickOpensTolerantlyOrTheDefaultLink) {
    web.documents.push_back(
        {"http://feed.example/news.txt",
         "<qzxads><soft>*</soft><url>http://n.example/a b{c}|d</url><title>one</title>"
         "<color>1</color>##<soft>*</soft><url>http://n.example/refused</url><title>two</title>"
         "<color>2</color>##<soft>*</soft><url>file:///etc/passwd</url><title>three</title>"
         "<color>3</color></qzxads>"});
    window.OnTimer(WindowTimer::Ticker);
    ASSERT_TRUE(PollUntil([&] { return notices.Ticker().ItemCount() == 3; }));
    opener.refused.insert("http://n.example/refused");

    window.OnTimer(WindowTimer::Ticker);
    EXPECT_TRUE(view.colors[kIdTicker] == (Rgb{255, 0, 0}));
    window.OnTickerClicked();
    EXPECT_EQ(opener.urls.back(), "http://n.example/a%20b%7Bc%7D%7Cd");

    window.OnTimer(WindowTimer::Ticker);
    opener.urls.clear();
    window.OnTickerClicked();
    EXPECT_EQ(opener.urls,
              (std::vector<std::string>{"http://n.example/refused", "http://link.example/"}));

    window.OnTimer(WindowTimer::Ticker);
    opener.urls.clear();
    window.OnTickerClicked();
    EXPECT_EQ(opener.urls, (std::vector<std::string>{"http://link.example/"}));
}

TEST_F(MainWindow, RowActivatedOpensTheFolderOfItsFile) {
    StartOn(NativePath("/data"));
    source.Deliver({{kActionAdded, NativePath("sub/a.txt")},
                    {kActionRenamedOld, NativePath("old/x")},
                    {kActionRenamedNew, NativePath("new/y")}});
    window.Poll();
    window.OnRowActivated(0);
    window.OnRowActivated(1);
    window.OnRowActivated(-1);
    window.OnRowActivated(2);
    EXPECT_EQ(opener.folders,
              (std::vector<std::string>{NativePath("/data/old"), NativePath("/data/sub")}));
}

// The menu is RowMenu's for the row clicked, told by the disk whether the path is a folder; a
// choice acts on the row clicked even when rows arrived while the menu was open.
TEST_F(MainWindow, RowMenuActsOnTheRowClicked) {
    StartOn(NativePath("/data"));
    files.folders.insert(NativePath("/data/sub/gen"));
    source.Deliver({{kActionAdded, NativePath("sub/a.txt")},
                    {kActionAdded, NativePath("sub/gen")},
                    {kActionRenamedOld, NativePath("old/x.tmp")},
                    {kActionRenamedNew, NativePath("new/y.log")}});
    window.Poll();
    const auto captions = [this] {
        std::vector<std::string> texts;
        for (const RowMenuItem& item : view.menus.back()) texts.push_back(item.text);
        return texts;
    };
    struct Case {
        int viewRow;
        std::vector<std::string> captions;
    };
    const Case cases[] = {
        {2,
         {"打开所在文件夹", "复制路径", "", "忽略此类文件 (*.txt)", "忽略此文件夹", "忽略列表..."}},
        {1, {"打开所在文件夹", "复制路径", "", "忽略此文件夹", "忽略列表..."}},
        {0,
         {"打开所在文件夹", "复制路径", "", "忽略此类文件 (*.log)", "忽略此类文件 (*.tmp)",
          "忽略此文件夹", "忽略列表..."}},
        {-1, {"忽略列表..."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.viewRow);
        window.OnRowMenu(c.viewRow, {10, 20});
        EXPECT_EQ(captions(), c.captions);
    }
    EXPECT_TRUE(view.editTexts.empty() && view.clipboard.empty() && opener.folders.empty());

    // A row arrives while the menu of the rename is open and pushes it down the view.
    int late = 0;
    view.duringMenu = [this, &late] {
        source.Deliver({{kActionAdded, NativePath("late" + std::to_string(++late))}});
        window.Poll();
        window.Poll();
    };
    view.menuChoices = {1, 0};
    window.OnRowMenu(0, {});
    window.OnRowMenu(3, {});
    ASSERT_EQ(window.RowCount(), 5) << "both late rows reached the view";
    EXPECT_EQ(view.clipboard, (std::vector<std::string>{NativePath("/data/new/y.log")}));
    EXPECT_EQ(opener.folders, (std::vector<std::string>{NativePath("/data/sub")}));
    view.duringMenu = nullptr;
}

// An ignore item adds its pattern once, saves the list and applies it from the next batch;
// "忽略列表..." shows the list, says a wrong line and opens again on what the user typed.
TEST_F(MainWindow, IgnoreItemsAndTheDialogSaveAndApplyTheList) {
    StartOn(NativePath("/data"));
    files.folders.insert(NativePath("/data/sub/gen"));
    source.Deliver(
        {{kActionAdded, NativePath("sub/a.txt")}, {kActionAdded, NativePath("sub/gen")}});
    window.Poll();
    view.menuChoices = {3, 3, 3};
    window.OnRowMenu(1, {});
    window.OnRowMenu(1, {});
    window.OnRowMenu(0, {});
    const std::string saved = "*.txt\n/sub/gen/\n";
    EXPECT_EQ(settings.files[ignoreFile.path], saved);
    source.Deliver({{kActionAdded, NativePath("b.txt")},
                    {kActionAdded, NativePath("sub/gen/c.c")},
                    {kActionAdded, NativePath("d.c")}});
    window.Poll();
    EXPECT_EQ(list.Size(), 3u) << "only d.c is new";
    EXPECT_EQ(controller.Status().ignoredChanges, 2u);
    EXPECT_NE(source.ignoreRules, nullptr) << "the running source is told too";

    view.editAnswers = {std::string("# mine\r\n*.c\r\n*.[ch\r\n"), std::nullopt,
                        std::string("# mine\n*.c\n\n")};
    window.OnEditIgnoreList();
    EXPECT_EQ(settings.files[ignoreFile.path], saved) << "Cancel keeps the list";
    window.OnEditIgnoreList();
    ASSERT_EQ(view.editTexts.size(), 3u);
    EXPECT_EQ(view.editTexts[0], "*.txt\n/sub/gen/");
    EXPECT_EQ(view.editTexts[1], "# mine\r\n*.c\r\n*.[ch\r\n") << "the user's text comes back";
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "第 3 行“*.[ch”无法使用：“[” 没有对应的 “]”。");
    EXPECT_EQ(view.editTexts[2], "*.txt\n/sub/gen/");
    EXPECT_EQ(settings.files[ignoreFile.path], "# mine\n*.c\n");
    source.Deliver({{kActionAdded, NativePath("e.c")}, {kActionAdded, NativePath("f.txt")}});
    window.Poll();
    EXPECT_EQ(list.Size(), 4u) << "f.txt is kept again";
    EXPECT_EQ(controller.Status().ignoredChanges, 3u);

    // The box for the tree's .gitignore files is kept in the file as a comment, shown as the
    // box and never as a line of the list, and a window started later opens with it ticked.
    view.editAnswers = {std::string("# mine\n*.c")};
    view.checkAnswers = {true};
    window.OnEditIgnoreList();
    EXPECT_EQ(view.editChecks.back(), false);
    EXPECT_EQ(settings.files[ignoreFile.path],
              std::string(kFollowTreeFilesLine) + "\n# mine\n*.c\n");
    test::FakeWindowView later;
    qzx::MainWindow restarted{
        Deps().Exports(files, CopyUtf8).IgnoreFile(settings, ignoreFile).Build(), later};
    restarted.OnInit(636, 455);
    EXPECT_EQ(restarted.IgnoreLines(), (std::vector<std::string>{"# mine", "*.c"}));
    restarted.OnEditIgnoreList();
    EXPECT_EQ(later.editTexts, std::vector<std::string>{"# mine\n*.c"});
    EXPECT_EQ(later.editChecks, std::vector<bool>{true});
}

// The list's file at start-up: its usable lines apply and its faults are said once the window
// shows; a file that cannot be read or written is said with its path, and the window goes on
// with the list of this run, never writing over a file it could not read.
TEST_F(MainWindow, IgnoreFileFaultsAreSaidAndTheWindowGoesOn) {
    struct Case {
        const char* name;
        const char* content;  // null: no file
        bool failReads;
        bool readOnly;
        std::vector<std::string> startMessages;  // their first lines
        bool savedAfterAdd;
    };
    const std::string path = ignoreFile.path;
    const Case cases[] = {
        {"missing", nullptr, false, false, {}, true},
        {"bad line", "*.c\n*.[ch\n", false, false, {texts::kIgnoreFileBadLines}, true},
        {"unreadable", "*.c\n", true, false, {texts::kIgnoreFileUnreadable}, false},
        {"read-only folder", "*.c\n", false, true, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeFileSystem disk;
        disk.folders.insert(test::RootFolder());
        if (c.content != nullptr) {
            ASSERT_EQ(disk.MakeFolders(NativePath("/home/u/.config/qzxfile")), 1);
            disk.files[path] = c.content;
        }
        disk.failReads = c.failReads;
        if (c.readOnly) disk.readOnly.insert(NativePath("/home/u/.config/qzxfile"));
        prompts.messages.clear();
        test::FakeWindowView shown;
        qzx::MainWindow started{
            Deps().Exports(files, CopyUtf8).IgnoreFile(disk, ignoreFile).Build(), shown};
        started.OnInit(636, 455);
        EXPECT_TRUE(prompts.messages.empty()) << "nothing before the window shows";
        started.Poll();
        started.Poll();
        ASSERT_EQ(prompts.messages.size(), c.startMessages.size());
        for (std::size_t i = 0; i < c.startMessages.size(); ++i) {
            EXPECT_EQ(prompts.messages[i].text.rfind(c.startMessages[i], 0), 0u);
            EXPECT_NE(prompts.messages[i].text.find(path), std::string::npos);
        }
        if (c.content != nullptr && !c.failReads) {
            EXPECT_EQ(started.IgnoreLines().front(), "*.c") << "usable lines apply";
        }

        prompts.messages.clear();
        shown.editAnswers = {std::string("*.o")};
        started.OnEditIgnoreList();
        if (c.savedAfterAdd) {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_EQ(disk.files[path], "*.o\n");
        } else {
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].text,
                      std::string(texts::kIgnoreFileUnwritable) + "\n" + path);
            if (c.content != nullptr) {
                EXPECT_EQ(disk.files[path], c.content);
            }
        }
        EXPECT_EQ(started.IgnoreLines(), (std::vector<std::string>{"*.o"})) << "kept for this run";
    }
}

// The export runs while the window goes on; its button is off until the result is shown.
TEST_F(MainWindow, ExportRunsAsAJobAndReportsItsResult) {
    const std::string saved = NativePath("/out/r.log");
    StartOn(NativePath("/data"));
    source.Deliver({{kActionAdded, "a.txt"}});
    window.Poll();

    window.OnExport();
    EXPECT_TRUE(prompts.messages.empty()) << "cancelled: nothing";
    EXPECT_EQ(prompts.lastFilters.size(), 2u);

    files.Hold();
    prompts.saveFiles.push_back(NativePath("/out/r"));
    window.OnCommand(kIdExport);
    EXPECT_TRUE(window.ExportRunning());
    EXPECT_FALSE(view.Enabled(kIdExport));
    window.OnCommand(kIdExport);  // ignored while one runs
    EXPECT_EQ(prompts.saveFiles.size(), 0u);
    source.Deliver({{kActionAdded, "b.txt"}});
    EXPECT_TRUE(PollUntil([&] { return window.RowCount() == 2; }))
        << "rows go on arriving meanwhile";
    files.Release();
    ASSERT_TRUE(PollUntil([&] { return !window.ExportRunning(); }));
    EXPECT_TRUE(view.Enabled(kIdExport));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "保存成功！位置[" + saved + "]。");
    EXPECT_NE(files.Content(saved).find(NativePath("/data/a.txt")), std::string::npos);

    // An existing file: No ends it quietly; Yes writes, and a failure is reported as such.
    prompts.saveFiles.push_back(saved);
    window.OnExport();
    EXPECT_EQ(prompts.questions.back(), "文件[" + saved + "]已经存在，是否覆盖？");
    EXPECT_FALSE(window.ExportRunning());
    files.failWrites = true;
    prompts.answers.push_back(true);
    prompts.saveFiles.push_back(saved);
    window.OnExport();
    ASSERT_TRUE(PollUntil([&] { return !window.ExportRunning(); }));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "保存失败！位置[" + saved + "]。");
    EXPECT_EQ(prompts.messages[1].icon, MessageIcon::Exclamation);
}

// While minimised or hidden nothing reaches the list; on return the rows come in one go.
TEST_F(MainWindow, NoListWorkWhileMinimisedOrHidden) {
    StartOn(NativePath("/data"));
    window.OnSize(kSizeMinimized, 0, 0);
    for (int i = 0; i < 50; ++i) {
        source.Deliver({{kActionAdded, "f" + std::to_string(i)}});
        window.Poll();
    }
    EXPECT_TRUE(view.syncs.empty());
    EXPECT_TRUE(view.moved.empty()) << "minimising moves nothing";
    window.OnSize(kSizeRestored, 636, 455);
    ASSERT_EQ(view.syncs.size(), 1u);
    EXPECT_EQ(view.syncs[0].inserted, 50);
    EXPECT_TRUE(view.moved.empty()) << "same size as before: nothing moves";

    window.OnVisibilityChanged(false);
    window.OnCommand(kIdClear);
    source.Deliver({{kActionAdded, "g"}});
    window.Poll();
    EXPECT_EQ(view.syncs.size(), 1u);
    window.OnVisibilityChanged(true);
    ASSERT_EQ(view.syncs.size(), 2u);
    EXPECT_TRUE(view.syncs[1].reset);
    EXPECT_EQ(view.syncs[1].rowCount, 1);
    EXPECT_EQ(window.CellText(0, 3), NativePath("/data/g"));
}

// Every control goes where the layout puts it, and the details column takes the layout's width.
TEST_F(MainWindow, ResizePlacesControlsWhereTheLayoutSays) {
    window.OnSize(kSizeMaximized, 1000, 700);
    LayoutResult layout;
    for (const ControlRect& c : test::LaidOutControls(1000, 700, &layout)) {
        EXPECT_EQ(view.rects[c.id], c.rect) << c.id;
    }
    EXPECT_EQ(view.columnWidths[3], layout.detailsColumnWidth);
}

// Column 4 "进程" is there only from a Start whose engine knows processes, and stays after its
// Stop for the rows it made; the details column gives up its width meanwhile, through resizes.
TEST_F(MainWindow, TheProcessColumnFollowsTheEngineOfEachStart) {
    const auto expectColumns = [&](std::size_t count, int details) {
        ASSERT_EQ(view.columnTitles.size(), count);
        ASSERT_EQ(view.columnWidths.size(), count);
        EXPECT_EQ(view.columnWidths[kDetailsColumn], details);
        if (count > std::size(kEventColumns)) {
            EXPECT_EQ(view.columnTitles[kProcessColumn], "进程");
            EXPECT_EQ(view.columnWidths[kProcessColumn], kProcessEventColumn.width);
        }
    };
    const EngineStatus fanotify{ChangeEngine::Fanotify, true, "fan", ""};
    const EngineStatus inotify{ChangeEngine::Inotify, false, "ino", "why"};
    const int fresh = kEventColumns[kDetailsColumn].width;
    const int narrowed = fresh - kProcessEventColumn.width;
    LayoutResult layout;
    test::LaidOutControls(1000, 700, &layout);
    const int wide = layout.detailsColumnWidth;

    source.engine = inotify;
    StartOn(NativePath("/data"));
    window.OnCommand(kIdStop);
    expectColumns(4, fresh);
    EXPECT_EQ(view.processColumnCalls, 0) << "an inotify window is the window of old";

    source.engine = fanotify;
    StartOn(NativePath("/data"));
    expectColumns(5, narrowed);
    ASSERT_TRUE(PollUntil([&] { return view.Text(kIdStatus) == "监控中.."; }));
    ChangeRecord made(kActionAdded, "a.txt");
    made.process = std::make_shared<const ProcessInfo>(ProcessInfo{42, "qzxtouch", ""});
    source.Deliver({made, {kActionAdded, "b.txt"}});
    window.Poll();
    EXPECT_EQ(window.CellText(1, kProcessColumn), "qzxtouch(42)");
    EXPECT_EQ(window.CellText(0, kProcessColumn), "") << "nothing made up for a row without";
    window.OnSize(kSizeMaximized, 1000, 700);
    expectColumns(5, wide - kProcessEventColumn.width);
    window.OnCommand(kIdStop);
    StartOn(NativePath("/data"));
    window.OnCommand(kIdStop);
    expectColumns(5, wide - kProcessEventColumn.width);

    source.refuse = true;
    source.engine = inotify;
    window.OnCommand(kIdStart);
    expectColumns(5, wide - kProcessEventColumn.width);
    source.refuse = false;
    StartOn(NativePath("/data"));
    expectColumns(4, wide);
    EXPECT_EQ(view.processColumnCalls, 2) << "the view hears only of changes";
}

TEST_F(MainWindow, AboutFromTheSystemMenuNamesTheLogFolder) {
    EXPECT_TRUE(window.OnSystemCommand(SystemMenuItem(0x0013)));
    EXPECT_FALSE(window.OnSystemCommand(SystemMenuItem(0xF060)));  // close: the shell's default
    EXPECT_EQ(view.aboutBoxes, (std::vector<std::string>{"/var/log/q/"}));
}

// The catch-up item is off in a fresh window, turns over on each choice, and a new window
// finds it as it was left.
TEST_F(MainWindow, CatchUpItemIsRemembered) {
    EXPECT_FALSE(window.CatchUpChecked());
    for (const bool on : {true, false, true}) {
        EXPECT_TRUE(window.OnSystemCommand(SystemMenuItem(kCommandCatchUp)));
        EXPECT_EQ(window.CatchUpChecked(), on);
    }
    qzx::MainWindow next{
        Deps().IgnoreFile(settings, ignoreFile).CatchUpItem(nullptr, kCatchUpFile).Build(), view};
    next.OnInit(636, 455);
    EXPECT_TRUE(next.CatchUpChecked());
}

}  // namespace
}  // namespace qzx
