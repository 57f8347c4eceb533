// How the recorder works, since three threads meet here:
//
// - The recording thread (the ChangeQueue's) calls RecordBatch, one batch at a time. Under the
//   one mutex it waits while paused, runs MakeRows on the batch with the settings and the state,
//   keeps the new state and, without a row handler, appends the rows to the list. It then lets
//   go of the lock and, outside it, hands the rows to the row handler and writes the log lines;
//   only this thread records, so rows and lines keep their order.
// - The GUI thread (or qzxwatch's loop) changes options, clears, ends the duplicate window,
//   ends the run and pauses. Each of these takes the mutex briefly: a clear waits for a batch
//   being decided, never for a disk write.
// - Any thread reads the counts.
// A paused recorder holds batches in RecordBatch (never drops them): Resume and EndRun wake
// them through `resumed`; after EndRun a waiting batch returns without a row.
#include "watch/EventRecorder.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace qzx {

EventRecorder::EventRecorder(EventList& l, const Clock& c) : list(l), clock(c) {}

void EventRecorder::SetOptions(const MonitorOptions& o) {
    std::lock_guard<std::mutex> lock(mutex);
    settings.options = o;
}

MonitorOptions EventRecorder::Options() const {
    std::lock_guard<std::mutex> lock(mutex);
    return settings.options;
}

void EventRecorder::SetLogWriter(LogWriter writer) {
    std::lock_guard<std::mutex> lock(mutex);
    logWriter = std::move(writer);
}

void EventRecorder::SetRowHandler(RowHandler handler) {
    std::lock_guard<std::mutex> lock(mutex);
    rowHandler = std::move(handler);
}

void EventRecorder::SetDuplicateWindow(bool on) {
    std::lock_guard<std::mutex> lock(mutex);
    settings.duplicateWindow = on;
}

void EventRecorder::SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) {
    std::lock_guard<std::mutex> lock(mutex);
    settings.ignoreRules = std::move(rules);
}

int EventRecorder::BeginRun(const std::string& folder) {
    std::lock_guard<std::mutex> lock(mutex);
    settings.folderPath = folder;
    ignoredChanges = 0;
    currentRun = ++lastRun;
    return currentRun;
}

void EventRecorder::EndRun() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        currentRun = 0;
    }
    resumed.notify_all();
}

bool EventRecorder::WaitWhilePaused(std::unique_lock<std::mutex>& lock, int run) {
    // Dropping the batch while a list-wide operation runs would lose the change; wait.
    ++batchesWaiting;
    resumed.wait(lock, [&] { return paused == 0 || run != currentRun; });
    --batchesWaiting;
    return run == currentRun && run != 0;
}

std::size_t EventRecorder::RecordBatch(int run, const ChangeBatch& batch) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!WaitWhilePaused(lock, run)) return 0;

    const LocalTime now = clock.Now();
    state.listed = list.Size();
    MadeRows made = MakeRows(batch, settings, std::move(state), now);
    state = std::move(made.next);
    ignoredChanges += made.ignored;
    if (made.listCleared) list.Clear();
    const RowHandler handler = rowHandler;
    if (!handler) list.Append(std::move(made.rows));
    const LogWriter writer = logWriter;
    lock.unlock();

    if (handler && !made.rows.empty()) handler(std::move(made.rows), now);
    if (writer && !made.logTexts.empty()) WriteLog(writer, made.logTexts, now);
    return made.made;
}

void EventRecorder::ClearEvents() {
    std::lock_guard<std::mutex> lock(mutex);
    list.Clear();
    state.eventCount = 0;
}

void EventRecorder::EndDuplicateWindow() {
    std::lock_guard<std::mutex> lock(mutex);
    state.lastName.clear();
}

void EventRecorder::Pause() {
    std::lock_guard<std::mutex> lock(mutex);
    ++paused;
}

void EventRecorder::Resume() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (paused > 0) --paused;
    }
    resumed.notify_all();
}

int EventRecorder::EventCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return state.eventCount;
}

std::string EventRecorder::LastName() const {
    std::lock_guard<std::mutex> lock(mutex);
    return state.lastName;
}

std::size_t EventRecorder::IgnoredChanges() const {
    std::lock_guard<std::mutex> lock(mutex);
    return ignoredChanges;
}

int EventRecorder::LogFailures() const {
    std::lock_guard<std::mutex> lock(mutex);
    return logFailures;
}

int EventRecorder::LogLinesWritten() const {
    std::lock_guard<std::mutex> lock(mutex);
    return logWritten;
}

bool EventRecorder::LogFailing() const {
    std::lock_guard<std::mutex> lock(mutex);
    return logFailing;
}

int EventRecorder::BatchesWaiting() const {
    std::lock_guard<std::mutex> lock(mutex);
    return batchesWaiting;
}

void EventRecorder::WriteLog(const LogWriter& writer, const std::vector<std::string>& logTexts,
                             const LocalTime& when) {
    // Disk writes happen outside the lock so that a click on "清空记录" never waits for them.
    const std::size_t written = std::min(writer(logTexts, when), logTexts.size());
    const int failed = static_cast<int>(logTexts.size() - written);
    std::lock_guard<std::mutex> lock(mutex);
    logWritten += static_cast<int>(written);
    logFailures += failed;
    logFailing = failed > 0;
}

}  // namespace qzx
