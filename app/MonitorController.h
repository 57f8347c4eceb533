// The monitoring controls: Browse, Start, Stop and the option boxes, with their states and what
// the watcher met, independent of any window toolkit and of any wording.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CatchUp.h"
#include "app/Prompts.h"
#include "base/Clock.h"
#include "records/FileSystem.h"
#include "watch/ChangeQueue.h"
#include "watch/ChangeSource.h"
#include "watch/EventRecorder.h"

namespace qzx {

/// How often a front end calls MonitorController::Poll while the watcher may have news. Rows
/// reach the list in batches at this pace: fast enough to feel immediate, slow enough that a
/// burst of changes never repaints once per row.
inline constexpr int kPollPeriodMs = 50;

/// Arming: watching began but the folders that already existed are still being set up;
/// Monitoring: every one of them is watched, so no change from now on is missed.
enum class MonitorState { Idle, Arming, Monitoring, Stopped };

/// Which monitoring controls the window enables.
struct ControlStates {
    bool startEnabled = true;
    bool stopEnabled = false;
    bool browseEnabled = true;
    bool pathEnabled = true;
};

/// A kind of trouble a run can meet, in the order the status lists them.
enum class TroubleKind {
    LostChanges,       ///< changes came faster than they could be kept; counted in times
    UnreadableFolder,  ///< a subfolder could not be read; counted in places
    WatchLimit,        ///< the system's limit of watches was reached; counted in times
    LogLines,          ///< daily log lines could not be written; counted in lines
};

/// One kind of trouble of the current run: how often, when last, and where.
struct Trouble {
    TroubleKind kind = TroubleKind::LostChanges;
    int count = 0;
    LocalTime lastSeen;
    /// The last place it concerned, the watched folder included (UTF-8); empty for the kinds
    /// that concern no place.
    std::string path;
};

/// What the controller knows of the current run, as data: each front end words it its own way.
struct MonitorStatus {
    MonitorState state = MonitorState::Idle;
    /// Folders watched so far, while Arming.
    std::size_t armedFolders = 0;
    /// Stopped because the watched folder went away or could no longer be read.
    bool endedByItself = false;
    /// Log lines of this run failed and the last one did too, while logging is on.
    bool logFailing = false;
    /// Changes the ignore patterns left out since Start; after a stop, those of the run that
    /// ended.
    std::size_t ignoredChanges = 0;
    /// Which engine the last successful Start runs, and whether its rows carry the process;
    /// kept after a stop, so that rows of that run still show what was known.
    EngineStatus engine;
    /// The troubles met since Start, each kind once, in TroubleKind order; empty unless Running.
    std::vector<Trouble> troubles;
    /// What the snapshot found and did for the current or last run; inactive while catch-up is
    /// off.
    CatchUpStatus catchUp;
};

/// The one word of the status line: the state, or while monitoring its worst news.
enum class StatusHeadline { Idle, Arming, Monitoring, LogFailing, Lost, Partial, Stopped };

/// The headline of a status. Arming stays Arming whatever else went wrong, so that "monitoring"
/// never shows before it is true; while monitoring, failing log lines come first, then lost
/// changes, then unwatched parts.
StatusHeadline Headline(const MonitorStatus& status);

/// Runs monitoring for one window. GUI thread only, except where a function says otherwise.
class MonitorController {
  public:
    using SourceFactory = std::function<std::unique_ptr<ChangeSource>()>;

    MonitorController(EventRecorder& recorder, SourceFactory factory, Prompts& prompts);
    /// Stops a running watcher (joins it); nothing is killed.
    ~MonitorController();
    MonitorController(const MonitorController&) = delete;
    MonitorController& operator=(const MonitorController&) = delete;

    /// Folder dialog; true with the chosen folder in pathText, false (pathText untouched) else.
    bool Browse(std::string& pathText);
    /// Starts watching pathText (as typed) and enters Arming. Refuses, with the message and no
    /// change of state, a path shorter than 2 bytes, a relative path and a folder that cannot
    /// be watched.
    bool StartMonitor(const std::string& pathText);
    /// Stops watching. After return no row and no log line of the run appears. Discard (the
    /// window's Stop) drops the changes read but not yet recorded, so it never waits for them;
    /// Finish records every one of them first, which may take a while (not on a GUI thread).
    void StopMonitor(Backlog backlog = Backlog::Discard);
    /// The option boxes as they stand; they act from the next batch on.
    void SetOptions(const MonitorOptions& options);
    /// The ignore patterns (null: none), for the recorder and the change source, this run's and
    /// the next ones'; they act from the next batch on, rows already made stay.
    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules);
    /// With files, the tree's own .gitignore files and .git/info/exclude count too, below the
    /// user's patterns (LoadTreeRules), from the next Start: read on a thread of the run's own,
    /// and again after each batch that changes one of them, so that they act from the next
    /// change on. firstReadHere reads them in Start itself, so that the set-up walk already
    /// leaves out what they ignore (not on a GUI thread). Null: only the user's patterns.
    /// During a run it acts at once, the files read on the run's reader.
    void SetTreeIgnoreFiles(const FileSystem* files, bool firstReadHere = false);
    /// Empties the list and restarts the IDs, without a question.
    void ClearEvents();
    /// What keeps the runs' view of the tree from the next Start on, so that changes an overflow
    /// hid are recovered; with compareAtStart it also saves the tree's snapshot at Stop and
    /// compares it at the next Start. Null (the default) for none. Not owned; it must outlive
    /// the controller.
    void SetCatchUp(CatchUp* catchUp, bool compareAtStart = true);

    /// changed runs on the watcher's threads after each batch recorded and each report, so
    /// that Poll need not be called while nothing happens; it may only wake the GUI thread.
    /// Any thread; null for none. When it returns, the callback it replaced is not running.
    void SetOnChange(std::function<void()> changed);
    /// Applies what the watcher reported since the last call (set-up progress and its end,
    /// ended by itself, lost changes, unwatched parts, failing log lines). Call every
    /// kPollPeriodMs while it may have news, or after changed; true when States() or Status()
    /// changed.
    bool Poll();

    MonitorState State() const { return state; }
    /// True while Arming or Monitoring.
    bool Running() const {
        return state == MonitorState::Arming || state == MonitorState::Monitoring;
    }
    ControlStates States() const;
    /// The state and the troubles of the current run (Poll takes them in).
    MonitorStatus Status() const;
    /// The folder being watched, with its trailing separator; empty before the first Start.
    const std::string& FolderPath() const { return folderPath; }

  private:
    class Sink;
    class TreeReader;

    void ApplyRules(std::shared_ptr<const IgnoreRules> rules);
    void StartTreeReader(bool readNow);
    void StopTreeReader();

    void Seen(Trouble& trouble, int times, const std::string& path = {});
    bool PollCatchUp();
    void ForgetTroubles();

    EventRecorder& recorder;
    SourceFactory factory;
    Prompts& prompts;
    std::unique_ptr<Sink> sink;
    // Between the source and the recorder, so the source's thread only ever reads.
    std::unique_ptr<ChangeQueue> queue;
    std::unique_ptr<ChangeSource> source;
    MonitorState state = MonitorState::Idle;
    std::string folderPath;
    std::size_t armedFolders = 0;
    Trouble lost{TroubleKind::LostChanges, 0, {}, {}};
    Trouble unreadable{TroubleKind::UnreadableFolder, 0, {}, {}};
    Trouble watchLimit{TroubleKind::WatchLimit, 0, {}, {}};
    Trouble logLost{TroubleKind::LogLines, 0, {}, {}};
    bool logFailing = false;
    bool endedByItself = false;
    int knownLogFailures = 0;
    std::size_t ignoredChanges = 0;
    EngineStatus engine;
    std::shared_ptr<const IgnoreRules> ignoreRules;
    CatchUp* catchUp = nullptr;
    bool catchUpCompares = true;
    CatchUp* runCatchUp = nullptr;  // the current run's
    CatchUpStatus catchUpStatus;
    const FileSystem* treeFiles = nullptr;
    bool treeFirstReadHere = false;
    // Lives within the run's source, so that it may hand the source new rules.
    std::unique_ptr<TreeReader> treeReader;
};

}  // namespace qzx
