// The main window's behaviour, whichever toolkit draws it: what each button, box, timer and
// click does, what the window shows and when. A front end builds the controls from the template,
// implements MainWindowView and forwards its events to the handlers here; nothing else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/DesktopOpener.h"
#include "app/MainWindowView.h"
#include "app/MonitorController.h"
#include "app/Prompts.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "base/Wakeup.h"
#include "online/OnlineNotices.h"
#include "records/FileSystem.h"
#include "records/IgnoreFile.h"
#include "watch/ChangeKind.h"
#include "watch/EventList.h"
#include "watch/EventRecorder.h"

namespace qzx {

class ExportJob;

/// Everything the window works with; owned by the caller and outliving the window.
struct MainWindowDeps {
    EventList& list;
    EventRecorder& recorder;
    MonitorController& controller;
    /// Message boxes, the update question and the file dialogs.
    Prompts& prompts;
    const Clock& clock;
    /// Where exports are written.
    FileSystem& files;
    /// The export file's charset (the program passes AppendGbk; null keeps UTF-8).
    EncodeAppend encode;
    /// Where the daily log goes (UTF-8), named in the About box.
    std::string logFolder;
    /// The ticker and the update check.
    OnlineNotices& notices;
    /// Opens web pages and folders.
    DesktopOpener& opener;
    /// The user's ignore list: read at start-up from ignoreFile through ignoreFiles, written
    /// back whenever the window changes it. Null files: a list for this run only.
    FileSystem* ignoreFiles = nullptr;
    IgnoreFilePlace ignoreFile;
    /// Where the runs keep the tree's snapshot while "记录停止期间的变化" is ticked; null: the item
    /// does nothing. Its state is remembered in catchUpSettingFile through ignoreFiles.
    CatchUp* catchUp = nullptr;
    std::string catchUpSettingFile;
};

/// Timer periods of the window. The ticker's tick also ends the recorder's duplicate window, so
/// the two share one period; the poll timer runs at the controller's kPollPeriodMs.
inline constexpr int kTickerPeriodMs = EventRecorder::kDuplicateWindowMs;
inline constexpr int kUpdateDelayMs = 2000;
// While rows keep arriving, the list takes them in on every fourth poll only (five times a
// second): a repaint of the list costs about the same for one new row as for a thousand, and
// twenty repaints a second of a list scrolling by faster than anyone reads were most of the
// window's work in a burst. The first rows after a quiet poll, and the rest of a burst once
// it ends, still show at the next poll.
inline constexpr int kBusyListPolls = 4;

/// The check box of each option, in the order of MonitorOptions' exchange.
struct OptionBox {
    int id;
    int MonitorOptions::*option;
};
inline constexpr OptionBox kOptionBoxes[7] = {{kIdOptAdded, OptionOf(ChangeKind::Added)},
                                              {kIdOptDeleted, OptionOf(ChangeKind::Deleted)},
                                              {kIdOptModified, OptionOf(ChangeKind::Modified)},
                                              {kIdOptRenamed, OptionOf(ChangeKind::Renamed)},
                                              {kIdOptOther, OptionOf(ChangeKind::Other)},
                                              {kIdOptAutoClear, &MonitorOptions::optAutoClear},
                                              {kIdOptRecordLog, &MonitorOptions::optRecordLog}};

/// The presenter of the main window. GUI thread only; every handler returns quickly (fetches and
/// the export run on threads of their own and are taken in by Poll).
class MainWindow {
  public:
    MainWindow(MainWindowDeps deps, MainWindowView& view);
    /// An export under way finishes its file first; nothing is killed.
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// The window's start-up, once its controls exist: title, fonts, list columns, default
    /// options, control states, the ticker's first text, hand cursors, the three timers.
    /// clientWidth and clientHeight are the client size the controls were placed for; layout
    /// runs only once the size differs from it.
    void OnInit(int clientWidth, int clientHeight);

    /// Button "浏览...": the folder dialog; a chosen folder replaces the path box's text.
    void OnBrowse();
    /// Button "开始监控" (and Enter): reads the path box and the options, starts watching.
    void OnStart();
    /// Button "停止监控".
    void OnStop();
    /// Any of the seven option boxes was clicked: the options act from the next batch on.
    void OnOptionChanged();
    /// Button "清空记录": empties the list and restarts the IDs, without a question.
    void OnClear();
    /// Button "导出记录": the save dialog, the overwrite question, then the file is written on a
    /// worker; Poll reports the result. Ignored while an export is under way.
    void OnExport();
    /// A timer's tick.
    void OnTimer(WindowTimer timer);
    /// The poll timer's work, also callable at once (tests, a wake-up from a fetch thread): new
    /// rows into the view, the watcher's reports, a finished export, an update offer.
    void Poll();
    /// Something was left for Poll by another thread (rows, a report of the watcher, a
    /// finished fetch): polling resumes. The view calls it on the GUI thread after Wake.
    void OnWake();
    /// A double-click (or Enter) on view row viewRow (0 is the newest; -1 for no row): opens the
    /// folder of the row's file.
    void OnRowActivated(int viewRow);
    /// A click on the ticker line: opens its link, or the default link when it cannot be opened.
    void OnTickerClicked();
    /// "关于我们" or the banner: opens the maker's page.
    void OnSiteClicked();
    /// The About item (system menu, Alt+A, context menu): shows the About box.
    void OnAbout();
    /// The list's context menu on view row viewRow (-1 below the rows), asked for at a point:
    /// shows RowMenu's items for that row and does what the chosen one says.
    void OnRowMenu(int viewRow, ScreenPoint at);
    /// "忽略列表...": the dialog on the list's text until OK with lines that can all be used (a
    /// wrong one is said, and the dialog comes back on the user's text) or Cancel; OK saves the
    /// list and applies it.
    void OnEditIgnoreList();
    /// The ignore list's lines as the window keeps them, comments included.
    const std::vector<std::string>& IgnoreLines() const { return ignoreLines; }

    /// A click on the control with this ID, dispatched to the handlers above; false when the ID
    /// is none of the window's commands (the exit button included, which the shell closes on).
    bool OnCommand(int id);
    /// A system-menu item (SystemMenuItem of the command): true (and the About box shown) for
    /// kCommandAbout; true for kCommandCatchUp, whose tick it turns over, remembers and applies
    /// from the next Start on; false for the shell's default handling.
    bool OnSystemCommand(int item);
    /// Whether the item kCommandCatchUp shows ticked.
    bool CatchUpChecked() const { return catchUpOn; }
    /// The client area's new size in pixels and its kind (kSizeMinimized and others of
    /// ControlIds.h): the controls anchored to the right and bottom move; nothing while
    /// minimised, and the list waits for the restore.
    void OnSize(int kind, int cx, int cy);
    /// The window was shown (true) or hidden (false); a hidden window's list is not updated.
    void OnVisibilityChanged(bool visible);

    /// Rows the view shows (as last given to SyncList).
    int RowCount() const { return shownCount; }
    /// The row at view row viewRow (0 is the newest); false when there is none.
    bool RowAtView(int viewRow, EventRow& out) const;
    /// Text of a cell of the list: column 0..4 of view row viewRow (ColumnText); empty when there
    /// is none.
    std::string CellText(int viewRow, int column) const;
    /// True while an export is being written.
    bool ExportRunning() const;

    /// "翠鸮文件之哨 Ver1.2 - " and the maker's address.
    static std::string Title(const std::string& makerAddress);
    /// The dialog font of every control: 9-point "宋体" (SimSun) and its stand-ins.
    static const FontSpec& DialogFont();
    /// The path box's and the ticker's font: 9.2-point Verdana and its stand-ins.
    static const FontSpec& DisplayFont();

  private:
    MonitorOptions OptionsOnScreen() const;
    void ShowOptions(const MonitorOptions& options);
    void ShowStates();
    /// Shows the process column while the engine of the run knows processes, narrowing the
    /// details column by its width so that the list still fits its box.
    void ShowProcessColumn(bool shown);
    int DetailsColumnWidth() const;
    /// Brings the view up to date with the list; a poll (paced) may hold rows back while they
    /// keep arriving, a restore or a clear never does. True while rows are arriving or held.
    bool SyncList(bool paced = false);
    void StartPolling();
    void StopPolling();
    void TakeFinishedExport();
    void OpenUrlOr(const std::string& url, const std::string& fallback);
    void LoadCatchUpSetting();
    void LoadIgnoreList();
    /// Makes lines the list: applied from the next batch, then saved.
    void ChangeIgnoreList(std::vector<std::string> lines);

    bool catchUpOn = false;
    MainWindowDeps deps;
    MainWindowView& view;
    // Shared with the watcher's and the fetches' callbacks, which may outlive the window.
    std::shared_ptr<Wakeup> wakeup;
    bool polling = false;
    bool initialised = false;
    bool minimized = false;
    bool hidden = false;
    int arrangedWidth = 0;
    int arrangedHeight = 0;
    bool processColumnShown = false;
    // The details column's width as the layout last set it, process column or not.
    int detailsWidth = 0;
    std::uint64_t shownGeneration = 0;
    int shownCount = 0;
    // The list's size at the previous poll, whether rows had arrived by then, and the polls
    // since the view last took rows in.
    int seenCount = 0;
    bool arrivedLastPoll = false;
    int pollsSinceInsert = kBusyListPolls;
    std::unique_ptr<ExportJob> exportJob;
    std::vector<std::string> ignoreLines;
    // The file was there but could not be read: saving over it would lose the user's list.
    bool ignoreFileUnread = false;
    // The dialog's box for the tree's own .gitignore files, kept in the list's file.
    bool followTreeFiles = false;
    // What start-up found wrong with the file, said once the window shows.
    std::string ignoreFileNews;
};

}  // namespace qzx
