// The recorder: runs the recording rules (MakeRows) on each batch under one lock, holds
// batches back while paused, and hands the rows to the list and the lines to the log.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "watch/ChangeRecord.h"
#include "watch/EventList.h"
#include "watch/IgnoreRules.h"
#include "watch/MakeRows.h"
#include "watch/MonitorOptions.h"

namespace qzx {

/// Turns batches of changes into rows of an EventList and lines for the daily log.
/// Thread-safe: the watcher records while the GUI thread clears, pauses and changes options.
class EventRecorder {
  public:
    /// Writes the log lines of one batch (UTF-8 texts of ID, type and details, oldest first),
    /// all stamped with the batch's time; returns how many of them were written.
    using LogWriter =
        std::function<std::size_t(const std::vector<std::string>& logTexts, const LocalTime& when)>;

    /// Takes the rows of one recorded batch, oldest first, stamped at when. Called on the
    /// recording thread, one batch at a time, in order, with no lock held.
    using RowHandler = std::function<void(std::vector<EventRow>&& rows, const LocalTime& when)>;

    /// How often a shell ends the duplicate window (EndDuplicateWindow).
    static constexpr int kDuplicateWindowMs = 5000;

    EventRecorder(EventList& list, const Clock& clock);

    /// Options take effect from the next batch on. Any thread.
    void SetOptions(const MonitorOptions& options);
    MonitorOptions Options() const;
    /// Where log lines go while optRecordLog is set. Call before monitoring starts.
    void SetLogWriter(LogWriter writer);
    /// Hands the rows of every recorded batch to handler instead of the list, so the list keeps
    /// none and memory does not grow with the rows made (a shell without a list). Log lines are
    /// written after the handler returns. Call before monitoring starts.
    void SetRowHandler(RowHandler handler);
    /// With the window off, no added or modified change is ever suppressed as a repeat of the
    /// last name. On by default. Any thread; takes effect from the next batch on.
    void SetDuplicateWindow(bool on);
    /// The ignore patterns; null leaves nothing out. Any thread; takes effect from the next
    /// batch on, and rows already made stay.
    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules);

    /// Opens a monitoring run on folderPath (ending with the separator); returns its token.
    int BeginRun(const std::string& folderPath);
    /// Ends the current run: after return no batch of it adds a row, and a batch waiting for the
    /// pause gives up. Log lines of a batch already recorded may still be under way on the
    /// watcher's thread; joining that thread finishes them.
    void EndRun();
    /// Records a batch of the run with the given token; returns the number of rows made. While
    /// the recorder is paused it waits (a list-wide operation is running) rather than dropping
    /// the batch. Watcher thread.
    std::size_t RecordBatch(int run, const ChangeBatch& batch);

    /// Empties the list and restarts the IDs. Waits for a batch being recorded. Any thread.
    void ClearEvents();
    /// Ends the duplicate window: the next added or modified change is recorded even when its
    /// name equals the last one. Called on every tick of the five-second timer.
    void EndDuplicateWindow();
    /// Holds the watcher still for a list-wide operation; batches wait until Resume.
    void Pause();
    void Resume();

    int EventCount() const;
    std::string LastName() const;
    /// Log lines that could not be written since start-up. Any thread.
    int LogFailures() const;
    /// Changes the ignore patterns left out since the current run began (the last one's after
    /// EndRun). Any thread.
    std::size_t IgnoredChanges() const;
    /// Log lines written since start-up. Any thread.
    int LogLinesWritten() const;
    /// True while log lines fail: the last batch that had lines to write lost one of them.
    /// Any thread.
    bool LogFailing() const;
    /// Batches held back at this moment by Pause. Any thread.
    int BatchesWaiting() const;
    /// The clock that stamps the rows. Any thread.
    const Clock& TimeSource() const { return clock; }

  private:
    EventList& list;
    const Clock& clock;
    LogWriter logWriter;
    RowHandler rowHandler;

    mutable std::mutex mutex;
    std::condition_variable resumed;
    RecordingSettings settings;
    RecordingState state;
    int currentRun = 0;
    int lastRun = 0;
    int paused = 0;
    int logFailures = 0;
    int logWritten = 0;
    bool logFailing = false;
    int batchesWaiting = 0;
    std::size_t ignoredChanges = 0;

    bool WaitWhilePaused(std::unique_lock<std::mutex>& lock, int run);
    void WriteLog(const LogWriter& writer, const std::vector<std::string>& logTexts,
                  const LocalTime& when);
};

/// Pauses a recorder for the lifetime of the scope.
class PauseScope {
  public:
    explicit PauseScope(EventRecorder& r) : recorder(r) { recorder.Pause(); }
    ~PauseScope() { recorder.Resume(); }
    PauseScope(const PauseScope&) = delete;
    PauseScope& operator=(const PauseScope&) = delete;

  private:
    EventRecorder& recorder;
};

}  // namespace qzx
