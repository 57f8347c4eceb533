// The window's rules in one place, so that every front end behaves alike and the rules are
// tested without a display.
#include "app/MainWindow.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "app/DialogTemplate.h"
#include "app/ExportJob.h"
#include "app/ExportPrompts.h"
#include "app/IgnoreListEdit.h"
#include "app/RowMenu.h"
#include "app/StatusTexts.h"
#include "app/Texts.h"
#include "app/WindowLayout.h"
#include "online/WebAddress.h"
#include "watch/EventRow.h"

namespace qzx {

// The column that the layout widens is the list's details column.
static_assert(std::string_view(kEventColumns[kDetailsColumn].title) == "详细");

MainWindow::MainWindow(MainWindowDeps d, MainWindowView& v)
    : deps(std::move(d)),
      view(v),
      wakeup(std::make_shared<Wakeup>()),
      shownGeneration(deps.list.Generation()) {
    // Nothing polls while nothing happens: the watcher and the fetches wake the window.
    wakeup->SetNotify([this] { view.Wake(); });
    const auto raise = [w = wakeup] { w->Raise(); };
    deps.controller.SetOnChange(raise);
    deps.notices.SetFetchDone(raise);
}

MainWindow::~MainWindow() {
    wakeup->SetNotify(nullptr);
    deps.controller.SetOnChange(nullptr);
}

std::string MainWindow::Title(const std::string& makerAddress) {
    return MainWindowTemplate().caption + makerAddress;
}

const FontSpec& MainWindow::DialogFont() {
    // The template's face first; the others are CJK faces that Linux desktops carry instead.
    static const FontSpec font{{"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"}, 90};
    return font;
}

const FontSpec& MainWindow::DisplayFont() {
    static const FontSpec font{{"Verdana", "DejaVu Sans"}, 92};
    return font;
}

void MainWindow::OnInit(int clientWidth, int clientHeight) {
    view.SetTitle(Title(deps.notices.MakerAddress()));
    view.SetFont(kIdFolderPath, DisplayFont());
    view.SetFont(kIdTicker, DisplayFont());
    std::vector<std::string> titles;
    std::vector<int> widths;
    for (const EventColumn& c : kEventColumns) {
        titles.emplace_back(c.title);
        widths.push_back(c.width);
    }
    view.SetListColumns(titles, widths);
    detailsWidth = kEventColumns[kDetailsColumn].width;
    ShowOptions(DefaultOptions());
    deps.controller.SetOptions(OptionsOnScreen());
    ShowStates();
    view.SetText(kIdTicker, deps.notices.MakerAddress());
    view.SetCursor(kIdTicker, CursorShape::Hand);
    view.SetCursor(kIdBanner, CursorShape::Hand);
    view.SetFocus(kIdFolderPath);
    LoadIgnoreList();
    LoadCatchUpSetting();
    arrangedWidth = clientWidth;
    arrangedHeight = clientHeight;
    initialised = true;
    view.StartTimer(WindowTimer::Ticker, kTickerPeriodMs);
    view.StartTimer(WindowTimer::Update, kUpdateDelayMs);
    StartPolling();
}

MonitorOptions MainWindow::OptionsOnScreen() const {
    MonitorOptions o;
    for (const OptionBox& box : kOptionBoxes) o.*box.option = view.IsChecked(box.id) ? 1 : 0;
    return o;
}

void MainWindow::ShowOptions(const MonitorOptions& o) {
    for (const OptionBox& box : kOptionBoxes) view.SetChecked(box.id, o.*box.option != 0);
}

void MainWindow::ShowStates() {
    const ControlStates s = deps.controller.States();
    view.SetEnabled(kIdStart, s.startEnabled);
    view.SetEnabled(kIdStop, s.stopEnabled);
    view.SetEnabled(kIdBrowse, s.browseEnabled);
    view.SetEnabled(kIdFolderPath, s.pathEnabled);
    const StatusTexts status = WindowStatusTexts(deps.controller.Status());
    view.SetText(kIdStatus, status.line);
    view.SetToolTip(kIdStatus, status.toolTip);
}

void MainWindow::OnBrowse() {
    std::string path;
    if (deps.controller.Browse(path)) view.SetText(kIdFolderPath, path);
}

void MainWindow::OnStart() {
    deps.controller.SetOptions(OptionsOnScreen());
    if (deps.controller.StartMonitor(view.Text(kIdFolderPath))) {
        ShowProcessColumn(deps.controller.Status().engine.knowsProcess);
    }
    ShowStates();
}

void MainWindow::ShowProcessColumn(bool shown) {
    if (shown == processColumnShown) return;
    processColumnShown = shown;
    // Narrowed first, so that the list never needs a horizontal scroll bar on the way.
    if (shown) view.SetListColumnWidth(kDetailsColumn, DetailsColumnWidth());
    view.ShowProcessColumn(shown, kProcessEventColumn.title, kProcessEventColumn.width);
    if (!shown) view.SetListColumnWidth(kDetailsColumn, DetailsColumnWidth());
}

int MainWindow::DetailsColumnWidth() const {
    if (!processColumnShown) return detailsWidth;
    return std::max(0, detailsWidth - kProcessEventColumn.width);
}

void MainWindow::OnStop() {
    deps.controller.StopMonitor();
    SyncList();
    ShowStates();
}

void MainWindow::OnOptionChanged() { deps.controller.SetOptions(OptionsOnScreen()); }

void MainWindow::OnClear() {
    deps.controller.ClearEvents();
    SyncList();
}

void MainWindow::OnExport() {
    if (exportJob) return;
    const std::optional<std::string> path = ChooseExportPath(deps.prompts, deps.files);
    // A timer may have run inside the dialogs and started nothing, but a second click inside
    // them could have: one export at a time.
    if (!path || exportJob) return;
    exportJob = StartExportJob(deps.list, deps.files, *path, deps.clock.Now(), deps.encode);
    if (!exportJob) {
        ReportExportResult(deps.prompts, *path, 0);
        return;
    }
    view.SetEnabled(kIdExport, false);
    StartPolling();
}

void MainWindow::TakeFinishedExport() {
    if (!exportJob || !exportJob->Done()) return;
    const std::string path = exportJob->Path();
    const int result = exportJob->Result();
    // Let go of the job before the message: its box runs timers, and Poll must not report twice.
    exportJob.reset();
    view.SetEnabled(kIdExport, true);
    ReportExportResult(deps.prompts, path, result);
}

bool MainWindow::ExportRunning() const { return exportJob != nullptr; }

void MainWindow::OnTimer(WindowTimer timer) {
    switch (timer) {
        case WindowTimer::Ticker: {
            const TickerView ticker = deps.notices.AdvanceTicker();
            // The colour first, so that the new text is drawn in it at once.
            view.SetTextColor(kIdTicker, ticker.color);
            view.SetText(kIdTicker, ticker.title);
            // Every tick ends the duplicate window, whatever the ticker did.
            deps.recorder.EndDuplicateWindow();
            return;
        }
        case WindowTimer::Update:
            // Stopped before the check, which may ask a question inside a box of its own.
            view.StopTimer(WindowTimer::Update);
            deps.notices.StartUpdateCheck();
            return;
        case WindowTimer::Poll:
            Poll();
            return;
    }
}

void MainWindow::Poll() {
    // Taken before looking: whatever is left from here on wakes the window again.
    wakeup->Take();
    bool active = SyncList(true);
    if (deps.controller.Poll()) {
        ShowStates();
        active = true;
    }
    TakeFinishedExport();
    // Polls go on while rows come in and while an export runs (it raises no wake-up); after a
    // quiet poll the timer stops until the next wake-up.
    if (!active && !exportJob) StopPolling();
    if (const std::optional<UpdateOffer> offer = deps.notices.Poll()) {
        if (deps.prompts.AskYesNo(offer->question))
            OpenUrlOr(offer->target, deps.notices.SiteUrl());
    }
    // Said over the window rather than before it shows; taken first, as the box runs timers.
    if (!ignoreFileNews.empty()) {
        const std::string news = std::move(ignoreFileNews);
        ignoreFileNews.clear();
        deps.prompts.ShowMessage(news, MessageIcon::Exclamation);
    }
}

void MainWindow::OnWake() {
    if (initialised) StartPolling();
}

void MainWindow::StartPolling() {
    if (polling) return;
    polling = true;
    view.StartTimer(WindowTimer::Poll, kPollPeriodMs);
}

void MainWindow::StopPolling() {
    if (!polling) return;
    polling = false;
    view.StopTimer(WindowTimer::Poll);
}

bool MainWindow::SyncList(bool paced) {
    // A minimised or hidden window takes the rows in when it shows again, in one go: nothing
    // is laid out or painted for rows that nobody sees.
    if (!initialised || minimized || hidden) return false;
    const std::uint64_t generation = deps.list.Generation();
    const int count =
        static_cast<int>(std::min<std::size_t>(deps.list.Size(), std::numeric_limits<int>::max()));
    bool arriving = false;
    bool burst = false;
    if (paced) {
        arriving = count != seenCount;
        burst = arriving && arrivedLastPoll;
        arrivedLastPoll = arriving;
        seenCount = count;
        if (pollsSinceInsert < kBusyListPolls) ++pollsSinceInsert;
    }
    if (generation != shownGeneration) {
        shownGeneration = generation;
        shownCount = count;
        view.SyncList({count, true, 0});
        return true;
    }
    if (count <= shownCount) return arriving;
    if (burst && pollsSinceInsert < kBusyListPolls) return true;
    const int inserted = count - shownCount;
    shownCount = count;
    pollsSinceInsert = 0;
    view.SyncList({count, false, inserted});
    return true;
}

bool MainWindow::RowAtView(int viewRow, EventRow& out) const {
    if (viewRow < 0 || viewRow >= shownCount) return false;
    // The list keeps the oldest row first; the view shows the newest on top.
    return deps.list.RowAt(shownGeneration, static_cast<std::size_t>(shownCount - 1 - viewRow),
                           out);
}

std::string MainWindow::CellText(int viewRow, int column) const {
    EventRow row;
    if (!RowAtView(viewRow, row)) return {};
    return ColumnText(row, column);
}

void MainWindow::OnRowActivated(int viewRow) {
    EventRow row;
    // The row is read under the list's lock; the desktop is asked outside it, so a slow file
    // manager never holds the watcher up.
    if (!RowAtView(viewRow, row)) return;
    deps.opener.OpenFolder(FolderOfRow(row));
}

void MainWindow::LoadIgnoreList() {
    const std::string& path = deps.ignoreFile.path;
    if (deps.ignoreFiles == nullptr || path.empty()) return;
    PatternFileText file = ReadPatternFile(*deps.ignoreFiles, path);
    if (file.result != ReadResult::kRead) {
        ignoreFileUnread = file.result != ReadResult::kMissing;
        ignoreFileNews = IgnoreFileReadText(path, file.result);
        return;
    }
    ignoreLines = std::move(file.lines);
    followTreeFiles = TakeFollowTreeFilesLine(ignoreLines);
    deps.controller.SetTreeIgnoreFiles(followTreeFiles ? &deps.files : nullptr);
    auto rules = std::make_shared<IgnoreRules>();
    const std::vector<PatternError> errors = rules->AddLines(ignoreLines);
    if (!errors.empty()) ignoreFileNews = IgnoreFileBadLinesText(path, errors);
    deps.controller.SetIgnoreRules(rules->Empty() ? nullptr : std::move(rules));
}

void MainWindow::ChangeIgnoreList(std::vector<std::string> lines) {
    ignoreLines = std::move(lines);
    auto rules = std::make_shared<IgnoreRules>();
    rules->AddLines(ignoreLines);
    deps.controller.SetIgnoreRules(rules->Empty() ? nullptr : std::move(rules));
    // Where there is no file to write, the list still holds for this run, and the message
    // says so.
    std::vector<std::string> written = ignoreLines;
    if (followTreeFiles) written.insert(written.begin(), kFollowTreeFilesLine);
    const bool saved = deps.ignoreFiles != nullptr && !ignoreFileUnread &&
                       WritePatternFile(*deps.ignoreFiles, deps.ignoreFile, written) == 1;
    if (!saved) {
        const std::string path = deps.ignoreFiles != nullptr ? deps.ignoreFile.path : std::string();
        deps.prompts.ShowMessage(IgnoreFileWriteText(path), MessageIcon::Exclamation);
    }
}

void MainWindow::OnRowMenu(int viewRow, ScreenPoint at) {
    // The row is copied before the menu shows: rows arriving meanwhile move it down the view,
    // and the choice is about the row that was clicked.
    EventRow row;
    const bool onRow = RowAtView(viewRow, row);
    RowMenuContext context;
    std::string current;
    if (onRow) {
        context.row = &row;
        current = PathToCopy(row);
        context.kind = deps.files.PathExistsAs(current, true)    ? PathKind::kFolder
                       : deps.files.PathExistsAs(current, false) ? PathKind::kFile
                                                                 : PathKind::kUnknown;
    }
    const std::string watched = deps.controller.FolderPath();
    context.watchedFolder = watched;
    const std::vector<RowMenuItem> items = RowMenuItems(context);
    const int chosen = view.ShowMenu(items, at);
    if (chosen < 0 || chosen >= static_cast<int>(items.size())) return;
    const RowMenuItem& item = items[static_cast<std::size_t>(chosen)];
    switch (item.command) {
        case RowMenuCommand::kOpenFolder:
            if (onRow) deps.opener.OpenFolder(FolderOfRow(row));
            return;
        case RowMenuCommand::kCopyPath:
            if (onRow) view.CopyToClipboard(current);
            return;
        case RowMenuCommand::kIgnoreType:
        case RowMenuCommand::kIgnoreFolder:
            ChangeIgnoreList(WithIgnorePattern(ignoreLines, item.pattern));
            return;
        case RowMenuCommand::kIgnoreList:
            OnEditIgnoreList();
            return;
        case RowMenuCommand::kSeparator:
            return;
    }
}

void MainWindow::OnEditIgnoreList() {
    std::string text = IgnoreListText(ignoreLines);
    bool follow = followTreeFiles;
    for (;;) {
        std::optional<std::string> edited = view.EditText(texts::kIgnoreDialogTitle, text, follow);
        if (!edited) return;
        IgnoreListCheck check = CheckIgnoreListText(*edited);
        if (check.ok) {
            followTreeFiles = follow;
            // The box's own line is the program's to write, not a pattern of the user's.
            TakeFollowTreeFilesLine(check.lines);
            deps.controller.SetTreeIgnoreFiles(follow ? &deps.files : nullptr);
            ChangeIgnoreList(std::move(check.lines));
            return;
        }
        deps.prompts.ShowMessage(check.message, MessageIcon::Exclamation);
        text = std::move(*edited);
    }
}

void MainWindow::OpenUrlOr(const std::string& url, const std::string& fallback) {
    if (IsWebAddress(url) && deps.opener.OpenUrl(EscapeWebAddress(url))) return;
    if (fallback == url || !IsWebAddress(fallback)) return;
    deps.opener.OpenUrl(EscapeWebAddress(fallback));
}

void MainWindow::OnTickerClicked() {
    OpenUrlOr(deps.notices.TickerClickTarget(), deps.notices.LinkUrlDefault());
}

void MainWindow::OnSiteClicked() { OpenUrlOr(deps.notices.SiteUrl(), std::string()); }

void MainWindow::OnAbout() { view.ShowAboutBox(deps.logFolder); }

bool MainWindow::OnCommand(int id) {
    switch (id) {
        case kIdBrowse:
            OnBrowse();
            return true;
        case kIdStart:
            OnStart();
            return true;
        case kIdStop:
            OnStop();
            return true;
        case kIdClear:
            OnClear();
            return true;
        case kIdExport:
            OnExport();
            return true;
        case kIdAbout:
        case kIdBanner:
            OnSiteClicked();
            return true;
        case kIdTicker:
            OnTickerClicked();
            return true;
        default:
            break;
    }
    for (const OptionBox& box : kOptionBoxes) {
        if (box.id != id) continue;
        OnOptionChanged();
        return true;
    }
    return false;
}

void MainWindow::LoadCatchUpSetting() {
    std::string text;
    // Recovery after an overflow is for every run; the setting only adds the compare at Start.
    if (deps.ignoreFiles != nullptr && !deps.catchUpSettingFile.empty() &&
        deps.ignoreFiles->ReadWholeFile(deps.catchUpSettingFile, 16, text) == ReadResult::kRead) {
        catchUpOn = !text.empty() && text[0] == '1';
    }
    deps.controller.SetCatchUp(deps.catchUp, catchUpOn);
}

bool MainWindow::OnSystemCommand(int item) {
    if (item == kCommandCatchUp) {
        catchUpOn = !catchUpOn;
        deps.controller.SetCatchUp(deps.catchUp, catchUpOn);
        const std::string& path = deps.catchUpSettingFile;
        if (deps.ignoreFiles != nullptr && !path.empty()) {
            const std::size_t cut = path.rfind(kPathSeparator);
            if (cut != std::string::npos) deps.ignoreFiles->MakeFolders(path.substr(0, cut));
            deps.ignoreFiles->ReplaceFile(path, catchUpOn ? "1\n" : "0\n");
        }
        return true;
    }
    if (item != kCommandAbout) return false;
    OnAbout();
    return true;
}

void MainWindow::OnSize(int kind, int cx, int cy) {
    if (kind == kSizeMinimized) {
        minimized = true;
        return;
    }
    const bool restored = minimized;
    minimized = false;
    if (!initialised) return;
    // The template's places hold until the size first changes, as a fresh window's column
    // widths say (kEventColumns' width for "详细", not cx - 245).
    if (cx != arrangedWidth || cy != arrangedHeight) {
        std::vector<ControlRect> before;
        for (const TemplateControl& c : MainWindowTemplate().controls) {
            Rect r;
            if (c.id != kIdStatic && view.ControlRect(c.id, r)) before.push_back({c.id, r});
        }
        std::vector<ControlRect> after = before;
        const LayoutResult result = ArrangeControls(kind, cx, cy, after);
        if (result.applied) {
            arrangedWidth = cx;
            arrangedHeight = cy;
            for (std::size_t i = 0; i < after.size(); ++i) {
                if (after[i].rect != before[i].rect) view.MoveControl(after[i].id, after[i].rect);
            }
            detailsWidth = result.detailsColumnWidth;
            view.SetListColumnWidth(kDetailsColumn, DetailsColumnWidth());
        }
    }
    if (restored) SyncList();
}

void MainWindow::OnVisibilityChanged(bool visible) {
    hidden = !visible;
    if (visible) SyncList();
}

}  // namespace qzx
