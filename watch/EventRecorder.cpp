#include "watch/EventRecorder.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace qzx {
namespace {

int GateOf(const MonitorOptions& o, int action) {
    switch (action) {
        case kActionAdded:
            return o.optAdded;
        case kActionRemoved:
            return o.optDeleted;
        case kActionModified:
            return o.optModified;
        case kActionRenamedOld:
        case kActionRenamedNew:
            return o.optRenamed;
        default:
            return o.optOther;
    }
}

int NormalAction(int action) {
    return action >= kActionAdded && action <= kActionRenamedNew ? action : kActionOther;
}

}  // namespace

MonitorOptions DefaultOptions() {
    MonitorOptions o;
    o.optAdded = 1;
    o.optModified = 1;
    o.optDeleted = 1;
    o.optRenamed = 1;
    o.optAutoClear = 1;
    return o;
}

EventRecorder::EventRecorder(EventList& l, const Clock& c) : list(l), clock(c) {}

void EventRecorder::SetOptions(const MonitorOptions& o) {
    std::lock_guard<std::mutex> lock(mutex);
    options = o;
}

MonitorOptions EventRecorder::Options() const {
    std::lock_guard<std::mutex> lock(mutex);
    return options;
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
    duplicateWindow = on;
}

int EventRecorder::BeginRun(const std::string& folder) {
    std::lock_guard<std::mutex> lock(mutex);
    folderPath = folder;
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

std::size_t EventRecorder::RecordBatch(int run, const ChangeBatch& batch) {
    std::vector<EventRow> rows;
    std::vector<std::string> logTexts;
    LogWriter writer;
    RowHandler handler;
    LocalTime now;
    {
        std::unique_lock<std::mutex> lock(mutex);
        // Dropping the batch while a list-wide operation runs would lose the change; wait.
        ++batchesWaiting;
        resumed.wait(lock, [&] { return g_paused == 0 || run != currentRun; });
        --batchesWaiting;
        if (run != currentRun || run == 0) return 0;

        const MonitorOptions o = options;
        now = clock.Now();
        std::size_t listed = list.Size();
        std::size_t made = 0;
        rows.reserve(batch.size());
        if (o.optRecordLog) logTexts.reserve(batch.size());

        for (std::size_t i = 0; i < batch.size(); ++i) {
            const int action = NormalAction(batch[i].action);
            const std::string& firstName = batch[i].name;
            static const std::string kNoName;
            const std::string* secondName = &kNoName;
            // The two halves of a rename make one row; the new name follows the old directly.
            if (action == kActionRenamedOld && i + 1 < batch.size() &&
                batch[i + 1].action == kActionRenamedNew) {
                secondName = &batch[++i].name;
            }
            if (!GateOf(o, action)) continue;
            if (duplicateWindow && (action == kActionAdded || action == kActionModified) &&
                firstName == g_lastName) {
                continue;
            }

            EventRow row;
            // IDs that run on for ever (no list to clear) start again at 1 rather than overflow.
            g_eventCount = g_eventCount == INT_MAX ? 1 : g_eventCount + 1;
            row.id = g_eventCount;
            SetRecordedAt(row, now);
            row.action = static_cast<std::uint8_t>(action);
            row.details.reserve(folderPath.size() * 2 + firstName.size() + secondName->size() + 12);
            row.details = folderPath;
            row.details += firstName;
            if (action == kActionRenamedOld || action == kActionRenamedNew) {
                row.details += kRenameMarker;
                row.details += folderPath;
                row.details += *secondName;
                g_lastName = *secondName;
            } else if (action == kActionRemoved) {
                // The name coming back right after must show, or the file would seem gone.
                g_lastName.clear();
            } else if (action != kActionOther) {
                g_lastName = firstName;
            }
            if (o.optRecordLog) logTexts.push_back(LogText(row));
            rows.push_back(std::move(row));
            ++made;

            if (o.optAutoClear && listed + rows.size() > kAutoClearLimit) {
                // The row that went past the limit goes with the others; the next one is ID 1.
                rows.clear();
                list.Clear();
                listed = 0;
                g_eventCount = 0;
            }
        }
        handler = rowHandler;
        if (!handler) list.Append(std::move(rows));
        writer = logWriter;
        if (!writer) logTexts.clear();
        if (logTexts.empty() && (!handler || rows.empty())) return made;
        lock.unlock();
        if (handler && !rows.empty()) handler(std::move(rows), now);
        if (logTexts.empty()) return made;
        // Disk writes happen outside the lock so that a click on "清空记录" never waits for
        // them; only this thread records, so the lines keep their order.
        const std::size_t written = writer(logTexts, now);
        const int failed = static_cast<int>(logTexts.size() - std::min(written, logTexts.size()));
        CountLogLines(static_cast<int>(logTexts.size()) - failed, failed);
        return made;
    }
}

void EventRecorder::ClearEvents() {
    std::lock_guard<std::mutex> lock(mutex);
    list.Clear();
    g_eventCount = 0;
}

void EventRecorder::EndDuplicateWindow() {
    std::lock_guard<std::mutex> lock(mutex);
    g_lastName.clear();
}

void EventRecorder::Pause() {
    std::lock_guard<std::mutex> lock(mutex);
    ++g_paused;
}

void EventRecorder::Resume() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (g_paused > 0) --g_paused;
    }
    resumed.notify_all();
}

int EventRecorder::EventCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return g_eventCount;
}

std::string EventRecorder::LastName() const {
    std::lock_guard<std::mutex> lock(mutex);
    return g_lastName;
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

void EventRecorder::CountLogLines(int written, int failed) {
    std::lock_guard<std::mutex> lock(mutex);
    logWritten += written;
    logFailures += failed;
    logFailing = failed > 0;
}

}  // namespace qzx
